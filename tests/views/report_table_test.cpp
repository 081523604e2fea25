// The fixed-width text summary of a profile report.
#include <tarn_package/report_views.hpp>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "views/report_fixtures.hpp"

namespace tarn_package {
namespace {

using Row = std::vector<std::string>;
using testing::tile_profile;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

Row words(const std::string& line) {
    Row found;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        found.push_back(word);
    }
    return found;
}

/// The rows, split into words, of the section whose title line is `title`: its column header
/// first, up to the next empty line.
std::vector<Row> section(const std::string& text, const std::string& title) {
    const auto lines = lines_of(text);
    std::vector<Row> rows;
    auto line = std::ranges::find(lines, title);
    if (line == lines.end()) {
        ADD_FAILURE() << "no section '" << title << "' in\n" << text;
        return rows;
    }
    for (++line; line != lines.end() && !line->empty(); ++line) {
        rows.push_back(words(*line));
    }
    return rows;
}

TEST(ReportTable, SumsCyclesAndSharesPerTileAndKind) {
    struct Case {
        const char* name;
        ProfileReport report;
        std::vector<Row> kinds; // without the header
        std::vector<Row> tiles; // without the header
    };
    using enum ProfileStepKind;
    const std::vector<Case> cases{
        {"one tile",
         testing::report_cases()[0].report,
         {{"Exchange", "1", "300", "30.0%"},
          {"Compute", "1", "600", "60.0%"},
          {"Synchronization", "0", "0", "0.0%"},
          {"Idle", "1", "100", "10.0%"},
          {"all", "3", "1000", "100.0%"}},
         {{"5", "3", "1000", "300", "30.0%", "600", "60.0%", "0", "0.0%", "100", "10.0%"}}},
        {"several tiles with an empty one",
         testing::report_cases()[1].report,
         {{"Exchange", "1", "50", "38.5%"},
          {"Compute", "1", "50", "38.5%"},
          {"Synchronization", "1", "10", "7.7%"},
          {"Idle", "1", "20", "15.4%"},
          {"all", "4", "130", "100.0%"}},
         {{"0", "2", "60", "0", "0.0%", "50", "83.3%", "10", "16.7%", "0", "0.0%"},
          {"3", "2", "70", "50", "71.4%", "0", "0.0%", "0", "0.0%", "20", "28.6%"},
          {"9", "0", "0", "0", "-", "0", "-", "0", "-", "0", "-"}}},
        {"wrapped counter",
         testing::report_cases()[2].report,
         {{"Exchange", "1", "200", "33.0%"},
          {"Compute", "2", "205", "33.8%"},
          {"Synchronization", "1", "200", "33.0%"},
          {"Idle", "1", "1", "0.2%"},
          {"all", "5", "606", "100.0%"}},
         {{"2", "3", "600", "200", "33.3%", "200", "33.3%", "200", "33.3%", "0", "0.0%"},
          {"4", "2", "6", "0", "0.0%", "5", "83.3%", "0", "0.0%", "1", "16.7%"}}},
        {"microseconds at 1.5 GHz",
         testing::report_cases()[3].report,
         {{"Exchange", "1", "3000", "66.7%", "2.000"},
          {"Compute", "1", "1500", "33.3%", "1.000"},
          {"Synchronization", "0", "0", "0.0%", "0.000"},
          {"Idle", "0", "0", "0.0%", "0.000"},
          {"all", "2", "4500", "100.0%", "3.000"}},
         {{"1", "2", "4500", "3.000", "3000", "66.7%", "1500", "33.3%", "0", "0.0%", "0", "0.0%"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = render_report_table(c.report);
        const bool timed = c.report.clock_hz != 0;
        auto kinds = section(text, "step kinds over all tiles");
        ASSERT_FALSE(kinds.empty());
        EXPECT_EQ(kinds.front(), timed ? Row({"kind", "steps", "cycles", "share", "time_us"})
                                       : Row({"kind", "steps", "cycles", "share"}));
        EXPECT_EQ(std::vector<Row>(kinds.begin() + 1, kinds.end()), c.kinds);
        auto tiles = section(text, "per tile: cycles and share of each step kind");
        ASSERT_FALSE(tiles.empty());
        EXPECT_EQ(tiles.front().size(), timed ? 12u : 11u);
        EXPECT_EQ(std::vector<Row>(tiles.begin() + 1, tiles.end()), c.tiles);
    }
}

TEST(ReportTable, HeadingNamesTheClock) {
    const auto lines = lines_of(render_report_table(testing::report_cases()[3].report));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "profile report: 1 tile, 2 steps, 4500 cycles from first start to last end (3.000 us)");
    EXPECT_EQ(lines[1], "clock: 1500000000 Hz (1.5 GHz)");
    const auto untimed = lines_of(render_report_table(testing::report_cases()[2].report));
    ASSERT_GE(untimed.size(), 2u);
    // Tile 2 starts first and, one wrap later, ends last.
    EXPECT_EQ(untimed[0], "profile report: 2 tiles, 5 steps, 600 cycles from first start to last end");
    EXPECT_EQ(untimed[1], "clock: unknown, times in cycles only");
}

TEST(ReportTable, ListsTheTenLongestStepsInReportOrderOnTies) {
    using enum ProfileStepKind;
    // Twelve steps on two tiles; lengths 10, 20, ..., with a tie of 70 between the tiles.
    ProfileReport report{.clock_hz = 0,
                         .tiles = {tile_profile(8, 0,
                                                {{Compute, "a0", 10},
                                                 {Idle, "a1", 30},
                                                 {Compute, "a2", 60},
                                                 {Exchange, "a3", 100},
                                                 {Compute, "a4", 150},
                                                 {Synchronization, "a5", 220}}),
                                   tile_profile(6, 0,
                                                {{Compute, "b0", 70},
                                                 {Idle, "b1", 150},
                                                 {Compute, "b2", 240},
                                                 {Compute, "b3", 340},
                                                 {Exchange, "b4", 450},
                                                 {Compute, "b5", 452}})}};
    const auto rows = section(render_report_table(report), "longest steps (10 of 12)");
    const std::vector<Row> expected{
        {"rank", "tile", "index", "kind", "cycles", "operation", "kernel"},
        {"1", "6", "4", "Exchange", "110", "b4", "kernel.b4"},
        {"2", "6", "3", "Compute", "100", "b3", "kernel.b3"},
        {"3", "6", "2", "Compute", "90", "b2", "kernel.b2"},
        {"4", "6", "1", "Idle", "80", "b1", "kernel.b1"},
        {"5", "8", "5", "Synchronization", "70", "a5", "kernel.a5"},
        {"6", "6", "0", "Compute", "70", "b0", "kernel.b0"},
        {"7", "8", "4", "Compute", "50", "a4", "kernel.a4"},
        {"8", "8", "3", "Exchange", "40", "a3", "kernel.a3"},
        {"9", "8", "2", "Compute", "30", "a2", "kernel.a2"},
        {"10", "8", "1", "Idle", "20", "a1", "kernel.a1"},
    };
    EXPECT_EQ(rows, expected);
}

std::string e_acute(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += "\xc3\xa9";
    }
    return text;
}

TEST(ReportTable, KeepsNamesOnOneLineAndColumnsAligned) {
    using enum ProfileStepKind;
    ProfileReport report{
        .clock_hz = 0,
        .tiles = {tile_profile(0, 0, {{Compute, e_acute(45), 10}, {Compute, std::string(60, 'o'), 30}})}};
    report.tiles[0].samples[0].step.kernel = "two\nlines\tand \xff";
    report.tiles[0].samples[1].step.kernel = "\xc3\xa9t\xc3\xa9"; // "été": three columns wide
    const std::string text = render_report_table(report);
    const auto lines = lines_of(text);
    const auto title = std::ranges::find(lines, "longest steps (2 of 2)");
    ASSERT_NE(title, lines.end());
    ASSERT_GE(lines.end() - title, 4);
    const std::string& header = title[1];
    const std::string& first = title[2];
    const std::string& second = title[3];
    // Long operation names are cut to 40 columns; control characters and bad UTF-8 are replaced.
    EXPECT_NE(first.find(std::string(37, 'o') + "...  \xc3\xa9t\xc3\xa9"), std::string::npos) << first;
    EXPECT_NE(second.find("two?lines?and \xef\xbf\xbd"), std::string::npos) << second;
    EXPECT_EQ(header.find("kernel"), first.find("\xc3\xa9t\xc3\xa9"));
    // Widths count characters, not bytes: the cut operation of the second line is 40 characters
    // wide but 37 bytes longer.
    EXPECT_NE(second.find(e_acute(37) + "...  two?"), std::string::npos) << second;
    EXPECT_EQ(header.find("kernel") + 37, second.find("two?"));
}

TEST(ReportTable, SaysWhenThereIsNothingToShow) {
    const auto lines = lines_of(render_report_table(ProfileReport{.clock_hz = 1500000000, .tiles = {}}));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "profile report: 0 tiles, 0 steps, 0 cycles from first start to last end (0.000 us)",
                         "clock: 1500000000 Hz (1.5 GHz)", "", "no samples"}));
}

} // namespace
} // namespace tarn_package
