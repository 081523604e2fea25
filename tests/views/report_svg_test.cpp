// The SVG timeline of a profile report, read back with a strict XML reader.
#include <tarn_package/report_views.hpp>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "views/report_fixtures.hpp"
#include "views/xml_check.hpp"

namespace tarn_package {
namespace {

using testing::tile_profile;
using testing::XmlDocument;
using testing::XmlElement;

/// Geometry of the picture that the tests rely on: the plot spans these x coordinates.
constexpr double plot_left = 96;
constexpr double plot_right = 1176;

XmlDocument svg_of(const ProfileReport& report) {
    XmlDocument doc = testing::parse_xml(render_report_svg(report));
    EXPECT_EQ(doc.error, "");
    return doc;
}

/// The elements named `name` inside a group of class `css_class`.
std::vector<const XmlElement*> within(const XmlDocument& doc, std::string_view name,
                                      std::string_view css_class) {
    std::vector<const XmlElement*> found;
    for (std::size_t i = 0; i < doc.elements.size(); ++i) {
        if (doc.elements[i].name == name && doc.inside(i, "g", css_class)) {
            found.push_back(&doc.elements[i]);
        }
    }
    return found;
}

double number(const XmlElement& element, const std::string& attribute) {
    return std::stod(element.attributes.at(attribute));
}

std::vector<std::string> texts(const std::vector<const XmlElement*>& elements) {
    std::vector<std::string> found;
    for (const XmlElement* element : elements) {
        found.push_back(element->text);
    }
    return found;
}

TEST(ReportSvg, DrawsOneRectPerSampleInItsTileRow) {
    for (const auto& [name, report, cycles] : testing::report_cases()) {
        SCOPED_TRACE(name);
        const XmlDocument doc = svg_of(report);
        ASSERT_FALSE(doc.elements.empty());
        EXPECT_EQ(doc.elements.front().name, "svg");
        EXPECT_EQ(doc.elements.front().attributes.at("width"), "1200");
        EXPECT_EQ(texts(within(doc, "text", "legend")),
                  (std::vector<std::string>{"Exchange", "Compute", "Synchronization", "Idle"}));
        EXPECT_EQ(within(doc, "rect", "legend").size(), 4u);
        const auto rects = within(doc, "rect", "steps");
        std::size_t samples = 0;
        for (const auto& tile : cycles) {
            samples += tile.size();
        }
        ASSERT_EQ(rects.size(), samples);
        if (samples == 0) {
            EXPECT_NE(render_report_svg(report).find(">no samples</text>"), std::string::npos);
            continue;
        }
        const auto row_labels = texts(within(doc, "text", "labels"));
        EXPECT_EQ(row_labels.size(), report.tiles.size());
        double last_end = plot_left;
        for (const XmlElement* rect : rects) {
            const double x = number(*rect, "x");
            const double width = number(*rect, "width");
            EXPECT_GE(x, plot_left);
            EXPECT_LE(x + width, plot_right + 0.51); // zero-length steps still get half a pixel
            last_end = std::max(last_end, x + width);
        }
        // The latest step ends at the right edge of the plot.
        EXPECT_NEAR(last_end, plot_right, 0.01);
    }
}

TEST(ReportSvg, PlacesStepsOnTheUnwrappedTimeline) {
    // Two tiles; tile 2 wraps in its second step, which is as long as its first.
    const ProfileReport report = testing::report_cases()[2].report;
    const XmlDocument doc = svg_of(report);
    // Rects are grouped by kind; find each sample's rect by the first line of its hover text.
    std::map<std::string, const XmlElement*> by_step;
    for (std::size_t i = 0; i < doc.elements.size(); ++i) {
        if (doc.elements[i].name == "title" && doc.inside(i, "g", "steps")) {
            by_step[doc.elements[i].text.substr(0, doc.elements[i].text.find('\n'))] =
                &doc.elements[doc.elements[i].parent];
        }
    }
    ASSERT_EQ(by_step.size(), 5u);
    const XmlElement& before = *by_step.at("tile 2, step 0: Compute");
    const XmlElement& across = *by_step.at("tile 2, step 1: Exchange");
    const XmlElement& after = *by_step.at("tile 2, step 2: Synchronization");
    // 600 cycles over 1080 pixels: 360 pixels per 200-cycle step, one after the other.
    EXPECT_DOUBLE_EQ(number(before, "x"), plot_left);
    for (const XmlElement* step : {&before, &across, &after}) {
        EXPECT_DOUBLE_EQ(number(*step, "width"), 360);
    }
    EXPECT_DOUBLE_EQ(number(across, "x"), plot_left + 360);
    EXPECT_DOUBLE_EQ(number(after, "x"), plot_left + 720);
    // Tile 4 starts 295 cycles after tile 2, in the row below.
    const XmlElement& edge = *by_step.at("tile 4, step 0: Idle");
    EXPECT_DOUBLE_EQ(number(edge, "x"), plot_left + 531);
    EXPECT_GT(number(edge, "y"), number(before, "y"));
}

TEST(ReportSvg, LabelsTheAxisInTheReportsUnit) {
    struct Case {
        const char* name;
        std::uint64_t clock_hz;
        const char* caption;
        std::vector<std::string> ticks;
    };
    // One tile of 4500 cycles: at 1.5 GHz that is 3 us.
    const std::vector<Case> cases{
        {"cycles",
         0,
         "time since the first reading (cycles)",
         {"0", "500", "1000", "1500", "2000", "2500", "3000", "3500", "4000", "4500"}},
        {"microseconds",
         1500000000,
         "time since the first reading (\u00b5s)",
         {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5", "3.0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProfileReport report = testing::report_cases()[3].report;
        report.clock_hz = c.clock_hz;
        const XmlDocument doc = svg_of(report);
        const std::string svg = render_report_svg(report);
        EXPECT_NE(svg.find(c.caption), std::string::npos);
        // Each tick is labelled above and below the rows.
        std::vector<std::string> ticks;
        const auto labels = texts(within(doc, "text", "ticks"));
        for (std::size_t i = 0; i < labels.size(); i += 2) {
            ticks.push_back(labels[i]);
        }
        EXPECT_EQ(ticks, c.ticks);
    }
}

TEST(ReportSvg, EscapesEveryText) {
    ProfileReport report{.clock_hz = 0, .tiles = {tile_profile(0, 0, {{ProfileStepKind::Compute, "", 10}})}};
    ProfileStep& step = report.tiles[0].samples[0].step;
    step.operation = "a<b> & \"c\" 'd' ]]> \x01\x1f\x7f end";
    step.kernel = "bad \xff\xc3 utf-8";
    const XmlDocument doc = svg_of(report);
    const auto rects = within(doc, "rect", "steps");
    ASSERT_EQ(rects.size(), 1u);
    std::string title;
    for (std::size_t i = 0; i < doc.elements.size(); ++i) {
        if (doc.elements[i].name == "title" && doc.inside(i, "g", "steps")) {
            title = doc.elements[i].text;
        }
    }
    EXPECT_NE(title.find("operation: a<b> & \"c\" 'd' ]]> \xef\xbf\xbd\xef\xbf\xbd\x7f end"),
              std::string::npos)
        << title;
    EXPECT_NE(title.find("kernel: bad \xef\xbf\xbd\xef\xbf\xbd utf-8"), std::string::npos) << title;
}

TEST(ReportSvg, ShowsStepKindsOutsideTheEnumerationAsOther) {
    ProfileReport report{.clock_hz = 0,
                         .tiles = {tile_profile(0, 0, {{static_cast<ProfileStepKind>(9), "odd", 10}})}};
    const XmlDocument doc = svg_of(report);
    EXPECT_EQ(texts(within(doc, "text", "legend")),
              (std::vector<std::string>{"Exchange", "Compute", "Synchronization", "Idle", "Other"}));
    EXPECT_EQ(within(doc, "rect", "steps").size(), 1u);
}

TEST(ReportSvg, StaysSmallAndQuickForFifteenHundredTiles) {
    const ProfileReport report = testing::generated_report(1500, 8, 1500000000);
    const auto begin = std::chrono::steady_clock::now();
    const std::string svg = render_report_svg(report);
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_LT(svg.size(), 2'000'000u);
    const XmlDocument doc = testing::parse_xml(svg);
    ASSERT_EQ(doc.error, "");
    const auto rects = within(doc, "rect", "steps");
    EXPECT_EQ(rects.size(), 1500u * 8);
    // Too many steps for hover texts; rows at their minimum height, labels thinned.
    EXPECT_EQ(svg.find("<title>", svg.find("<title>") + 1), std::string::npos);
    EXPECT_EQ(rects.front()->attributes.at("height"), "2");
    const auto labels = texts(within(doc, "text", "labels"));
    ASSERT_EQ(labels.size(), 150u);
    EXPECT_EQ(labels[1], "tile 10");
    EXPECT_LT(number(doc.elements.front(), "height"), 3200);
}

TEST(ReportSvg, GivesFewTilesFullRowsWithEveryLabel) {
    const ProfileReport report = testing::generated_report(64, 4, 0);
    const XmlDocument doc = svg_of(report);
    const auto labels = texts(within(doc, "text", "labels"));
    ASSERT_EQ(labels.size(), 64u);
    EXPECT_EQ(labels[63], "tile 63");
    const auto rects = within(doc, "rect", "steps");
    ASSERT_EQ(rects.size(), 256u);
    EXPECT_GE(number(*rects.front(), "height"), 10);
}

} // namespace
} // namespace tarn_package
