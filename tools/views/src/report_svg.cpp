// The SVG timeline picture of a profile report.
#include <tarn_package/report_views.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "text.hpp"
#include "text_format.hpp"
#include "timeline.hpp"

namespace tarn_package {

namespace {

// Geometry in pixels. The width is fixed; the height grows with the tile count.
constexpr double image_width = 1200;
constexpr double plot_left = 96;
constexpr double plot_right = image_width - 24;
constexpr double plot_width = plot_right - plot_left;
constexpr double axis_top = 76;
constexpr double rows_top = axis_top + 4;
// Rows share this height until they reach their minimum; 1,500 tiles at the minimum still make
// a picture that a browser scrolls through.
constexpr double rows_budget = 900;
constexpr int max_row_height = 22;
constexpr int min_row_height = 2;
constexpr double label_pitch = 11;
constexpr std::size_t target_ticks = 8;
// Hover texts roughly double the size per step; beyond this many samples they are left out.
constexpr std::size_t max_titled_samples = 2000;

/// A coordinate with at most two decimals and no trailing zeros.
std::string num(double value) {
    return detail::compact(value, 2);
}

/// Where things go: rows, the time scale of the axis and of the steps.
struct Layout {
    double row_height = max_row_height;
    std::size_t label_every = 1;
    double rows_bottom = rows_top;
    double height = 0;
    std::uint64_t origin = 0;
    double units_per_cycle = 1; // axis units (us or cycles) per cycle
    double span_units = 1;      // length of the axis in axis units
    bool timed = false;

    [[nodiscard]] double x_of_units(double units) const {
        return plot_left + units / span_units * plot_width;
    }
    [[nodiscard]] double x_of(std::uint64_t cycle) const {
        return x_of_units(static_cast<double>(cycle - origin) * units_per_cycle);
    }
    [[nodiscard]] double row_y(std::size_t row) const {
        return rows_top + static_cast<double>(row) * row_height;
    }
};

/// Rows between two tile labels: enough for labels not to overlap, rounded up to 1, 2 or 5 times
/// a power of ten so that tiles numbered from 0 get round labels.
std::size_t label_stride(double row_height) {
    const auto needed = static_cast<std::size_t>(std::ceil(label_pitch / row_height));
    std::size_t stride = 1;
    for (std::size_t magnitude = 1;; magnitude *= 10) {
        for (const std::size_t factor : {1UL, 2UL, 5UL}) {
            stride = factor * magnitude;
            if (stride >= needed) {
                return stride;
            }
        }
    }
}

Layout make_layout(const detail::Timeline& timeline) {
    Layout layout;
    const auto rows = static_cast<double>(std::max<std::size_t>(timeline.tiles.size(), 1));
    layout.row_height = std::clamp<double>(std::floor(rows_budget / rows), min_row_height, max_row_height);
    layout.label_every = label_stride(layout.row_height);
    layout.rows_bottom = rows_top + rows * layout.row_height;
    layout.height = layout.rows_bottom + 46;
    layout.origin = timeline.origin;
    layout.timed = timeline.clock_hz != 0;
    layout.units_per_cycle = layout.timed ? detail::cycles_to_us(1, timeline.clock_hz) : 1.0;
    const double span = static_cast<double>(timeline.finish - timeline.origin) * layout.units_per_cycle;
    layout.span_units = span > 0 ? span : 1.0;
    return layout;
}

/// A tick distance of 1, 2 or 5 times a power of ten giving about `target_ticks` ticks (from 6
/// to 12 or so).
double tick_step(double span) {
    const double raw = span / target_ticks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double residual = raw / magnitude;
    return magnitude * (residual < 1.5 ? 1 : residual < 3 ? 2 : residual < 7 ? 5 : 10);
}

std::string tick_label(double value, double step) {
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return detail::fixed(value, decimals);
}

void render_axis(std::string& out, const Layout& layout) {
    const double step = tick_step(layout.span_units);
    const double bottom = layout.rows_bottom;
    std::string grid = "<g class=\"grid\" stroke=\"#d8d8d8\" stroke-width=\"1\">\n";
    std::string labels = "<g class=\"ticks\" font-size=\"10\" text-anchor=\"middle\" fill=\"#333\">\n";
    for (std::size_t i = 0; static_cast<double>(i) * step <= layout.span_units * (1 + 1e-9); ++i) {
        const double value = static_cast<double>(i) * step;
        const std::string x = num(layout.x_of_units(value));
        const std::string label = tick_label(value, step);
        grid += "<line x1=\"" + x + "\" y1=\"" + num(axis_top - 4) + "\" x2=\"" + x + "\" y2=\"" +
                num(bottom + 4) + "\"/>\n";
        labels += "<text x=\"" + x + "\" y=\"" + num(axis_top - 7) + "\">" + label + "</text>\n";
        labels += "<text x=\"" + x + "\" y=\"" + num(bottom + 16) + "\">" + label + "</text>\n";
    }
    out += grid + "</g>\n" + labels + "</g>\n";
    const std::string axes = "<g stroke=\"#333\" stroke-width=\"1\">\n<line x1=\"" + num(plot_left) +
                             "\" y1=\"" + num(axis_top) + "\" x2=\"" + num(plot_right) + "\" y2=\"" +
                             num(axis_top) + "\"/>\n<line x1=\"" + num(plot_left) + "\" y1=\"" + num(bottom) +
                             "\" x2=\"" + num(plot_right) + "\" y2=\"" + num(bottom) + "\"/>\n</g>\n";
    out += axes;
    out += "<text x=\"" + num((plot_left + plot_right) / 2) + "\" y=\"" + num(bottom + 34) +
           "\" font-size=\"11\" text-anchor=\"middle\">time since the first reading (" +
           (layout.timed ? "\u00b5s" : "cycles") + ")</text>\n";
}

void render_heading(std::string& out, const detail::Timeline& timeline, std::size_t kinds) {
    std::string heading = "profile report: " + detail::counted(timeline.tiles.size(), "tile") + ", " +
                          detail::counted(timeline.sample_count, "step") + ", ";
    heading += timeline.clock_hz != 0 ? "clock " + detail::frequency(timeline.clock_hz)
                                      : "clock unknown, times in cycles";
    out += "<title>" + heading + "</title>\n";
    out += "<text x=\"12\" y=\"22\" font-size=\"14\" font-weight=\"bold\">" + heading + "</text>\n";
    out += "<g class=\"legend\" font-size=\"11\">\n";
    double x = plot_left;
    for (std::size_t kind = 0; kind < kinds; ++kind) {
        out += "<rect x=\"" + num(x) + "\" y=\"34\" width=\"12\" height=\"12\" fill=\"" +
               std::string(detail::kind_colour(kind)) + "\"/>\n";
        out +=
            "<text x=\"" + num(x + 17) + "\" y=\"44\">" + std::string(detail::kind_name(kind)) + "</text>\n";
        x += 34 + 6.2 * static_cast<double>(detail::kind_name(kind).size());
    }
    out += "</g>\n";
}

void render_rows(std::string& out, const detail::Timeline& timeline, const Layout& layout) {
    std::string bands = "<g class=\"bands\" fill=\"#f2f2f2\">\n";
    const double font = layout.label_every == 1 ? std::min(11.0, layout.row_height - 1) : 10.0;
    std::string labels = "<g class=\"labels\" font-size=\"" + num(font) + "\" text-anchor=\"end\">\n";
    for (std::size_t row = 0; row < timeline.tiles.size(); ++row) {
        const double y = layout.row_y(row);
        if (layout.row_height >= 6 && row % 2 == 1) {
            bands += "<rect x=\"" + num(plot_left) + "\" y=\"" + num(y) + "\" width=\"" + num(plot_width) +
                     "\" height=\"" + num(layout.row_height) + "\"/>\n";
        }
        if (row % layout.label_every == 0) {
            const double baseline = y + layout.row_height / 2 + font * 0.35;
            labels += "<text x=\"" + num(plot_left - 7) + "\" y=\"" + num(baseline) + "\">tile " +
                      std::to_string(timeline.tiles[row].physical_tile) + "</text>\n";
            if (layout.label_every > 1) {
                // Thinned labels point at their row.
                const std::string middle = num(y + layout.row_height / 2);
                labels += "<line x1=\"" + num(plot_left - 5) + "\" y1=\"" + middle + "\" x2=\"" +
                          num(plot_left) + "\" y2=\"" + middle + "\" stroke=\"#333\"/>\n";
            }
        }
    }
    out += bands + "</g>\n" + labels + "</g>\n";
}

std::string hover_text(const detail::TimelineStep& step, std::uint32_t tile, std::uint64_t clock_hz) {
    const ProfileStep& planned = step.sample->step;
    std::string text = "tile " + std::to_string(tile) + ", step " + std::to_string(planned.local_index) +
                       ": " + std::string(detail::kind_name(detail::kind_index(planned.kind))) +
                       "\noperation: " + planned.operation + "\nkernel: " + planned.kernel + "\n" +
                       std::to_string(step.cycles()) + " cycles";
    if (clock_hz != 0) {
        text += " (" + detail::fixed(detail::cycles_to_us(step.cycles(), clock_hz), 3) + " \u00b5s)";
    }
    return detail::xml_escape(text);
}

/// One group per kind, so each step rect carries only its geometry.
void render_steps(std::string& out, const detail::Timeline& timeline, const Layout& layout,
                  std::size_t kinds) {
    const bool titled = timeline.sample_count <= max_titled_samples;
    const double gap = layout.row_height >= 5 ? 1 : 0;
    std::vector<std::string> groups(kinds);
    for (std::size_t row = 0; row < timeline.tiles.size(); ++row) {
        const detail::TileTimeline& tile = timeline.tiles[row];
        const std::string y = num(layout.row_y(row) + gap / 2);
        const std::string height = num(layout.row_height - gap);
        for (const detail::TimelineStep& step : tile.steps) {
            const double x = layout.x_of(step.start);
            // Keep steps far shorter than a pixel visible as a hairline.
            const double width = std::max(layout.x_of(step.end) - x, 0.5);
            std::string& group = groups[detail::kind_index(step.sample->step.kind)];
            group += "<rect x=\"" + num(x) + "\" y=\"" + y + "\" width=\"" + num(width) + "\" height=\"" +
                     height + "\"";
            group += titled ? "><title>" + hover_text(step, tile.physical_tile, timeline.clock_hz) +
                                  "</title></rect>\n"
                            : "/>\n";
        }
    }
    for (std::size_t kind = 0; kind < kinds; ++kind) {
        out += "<g class=\"steps\" fill=\"" + std::string(detail::kind_colour(kind)) + "\">\n" +
               groups[kind] + "</g>\n";
    }
}

/// The kind slots to show: the four kinds, and the slot of unknown numbers only when used.
std::size_t shown_kinds(const detail::Timeline& timeline) {
    for (const auto& tile : timeline.tiles) {
        for (const auto& step : tile.steps) {
            if (detail::kind_index(step.sample->step.kind) == detail::kind_count) {
                return detail::kind_slots;
            }
        }
    }
    return detail::kind_count;
}

} // namespace

std::string render_report_svg(const ProfileReport& report) {
    const detail::Timeline timeline = detail::build_timeline(report);
    const std::size_t kinds = shown_kinds(timeline);
    const Layout layout = make_layout(timeline);
    const double height = timeline.sample_count == 0 ? 90 : layout.height;
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        num(image_width) + "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(image_width) + " " +
        num(height) + "\" font-family=\"sans-serif\">\n";
    out += "<rect class=\"background\" width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    render_heading(out, timeline, kinds);
    if (timeline.sample_count == 0) {
        out += "<text x=\"" + num(plot_left) + "\" y=\"72\" font-size=\"12\">no samples</text>\n";
    } else {
        render_rows(out, timeline, layout);
        render_axis(out, layout);
        render_steps(out, timeline, layout, kinds);
    }
    out += "</svg>\n";
    return out;
}

} // namespace tarn_package
