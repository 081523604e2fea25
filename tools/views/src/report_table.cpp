// The fixed-width text summary of a profile report.
#include <tarn_package/report_views.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "text.hpp"
#include "text_format.hpp"
#include "text_table.hpp"
#include "timeline.hpp"

namespace tarn_package {

namespace {

using detail::fixed;
using detail::kind_slots;
using detail::TextTable;
using Align = TextTable::Align;

/// Longest texts of operation and kernel names before they are cut.
constexpr std::size_t name_width = 40;
constexpr std::size_t longest_step_count = 10;

/// Steps and cycles per kind slot.
struct KindTotals {
    std::array<std::uint64_t, kind_slots> steps{};
    std::array<std::uint64_t, kind_slots> cycles{};
    std::uint64_t all_steps = 0;
    std::uint64_t all_cycles = 0;

    void add(const detail::TimelineStep& step) {
        const std::size_t kind = detail::kind_index(step.sample->step.kind);
        ++steps[kind];
        cycles[kind] += step.cycles();
        ++all_steps;
        all_cycles += step.cycles();
    }
};

std::string share(std::uint64_t part, std::uint64_t whole) {
    return whole == 0 ? "-" : fixed(100.0 * static_cast<double>(part) / static_cast<double>(whole), 1) + "%";
}

std::string micros(std::uint64_t cycles, std::uint64_t clock_hz) {
    return fixed(detail::cycles_to_us(cycles, clock_hz), 3);
}

/// Kind slots to show: the four kinds always, the slot of unknown numbers only when used.
std::size_t shown_kinds(const KindTotals& totals) {
    return totals.steps[detail::kind_count] == 0 ? detail::kind_count : kind_slots;
}

void render_heading(std::string& out, const detail::Timeline& timeline, const KindTotals& totals) {
    out += "profile report: " + detail::counted(timeline.tiles.size(), "tile") + ", " +
           detail::counted(totals.all_steps, "step") + ", " +
           detail::counted(timeline.finish - timeline.origin, "cycle") + " from first start to last end";
    if (timeline.clock_hz != 0) {
        out += " (" + micros(timeline.finish - timeline.origin, timeline.clock_hz) + " us)";
    }
    out += timeline.clock_hz != 0 ? "\nclock: " + std::to_string(timeline.clock_hz) + " Hz (" +
                                        detail::frequency(timeline.clock_hz) + ")\n"
                                  : "\nclock: unknown, times in cycles only\n";
}

void render_kinds(std::string& out, const detail::Timeline& timeline, const KindTotals& totals) {
    const bool timed = timeline.clock_hz != 0;
    TextTable table;
    for (const char* header : {"kind", "steps", "cycles", "share"}) {
        table.column(header, header == std::string_view("kind") ? Align::Left : Align::Right);
    }
    if (timed) {
        table.column("time_us", Align::Right);
    }
    const auto add_row = [&](std::string name, std::uint64_t steps, std::uint64_t cycles) {
        std::vector<std::string> cells{std::move(name), std::to_string(steps), std::to_string(cycles),
                                       share(cycles, totals.all_cycles)};
        if (timed) {
            cells.push_back(micros(cycles, timeline.clock_hz));
        }
        table.row(std::move(cells));
    };
    for (std::size_t kind = 0; kind < shown_kinds(totals); ++kind) {
        add_row(std::string(detail::kind_name(kind)), totals.steps[kind], totals.cycles[kind]);
    }
    add_row("all", totals.all_steps, totals.all_cycles);
    out += "\nstep kinds over all tiles\n";
    table.render(out);
}

void render_tiles(std::string& out, const detail::Timeline& timeline, std::size_t kinds) {
    const bool timed = timeline.clock_hz != 0;
    TextTable table;
    table.column("tile", Align::Right);
    table.column("steps", Align::Right);
    table.column("cycles", Align::Right);
    if (timed) {
        table.column("time_us", Align::Right);
    }
    for (std::size_t kind = 0; kind < kinds; ++kind) {
        table.column(std::string(detail::kind_name(kind)), Align::Right);
        table.column("%", Align::Right);
    }
    for (const detail::TileTimeline& tile : timeline.tiles) {
        KindTotals totals;
        std::ranges::for_each(tile.steps, [&](const auto& step) { totals.add(step); });
        std::vector<std::string> cells{std::to_string(tile.physical_tile), std::to_string(totals.all_steps),
                                       std::to_string(totals.all_cycles)};
        if (timed) {
            cells.push_back(micros(totals.all_cycles, timeline.clock_hz));
        }
        for (std::size_t kind = 0; kind < kinds; ++kind) {
            cells.push_back(std::to_string(totals.cycles[kind]));
            cells.push_back(share(totals.cycles[kind], totals.all_cycles));
        }
        table.row(std::move(cells));
    }
    out += "\nper tile: cycles and share of each step kind\n";
    table.render(out);
}

void render_longest(std::string& out, const detail::Timeline& timeline) {
    // Each step with the position of its tile in the report, which breaks ties between equally
    // long steps in report order.
    std::vector<std::pair<std::size_t, const detail::TimelineStep*>> steps;
    steps.reserve(timeline.sample_count);
    for (std::size_t t = 0; t < timeline.tiles.size(); ++t) {
        for (const auto& step : timeline.tiles[t].steps) {
            steps.emplace_back(t, &step);
        }
    }
    const std::size_t shown = std::min(steps.size(), longest_step_count);
    std::partial_sort(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(shown), steps.end(),
                      [](const auto& a, const auto& b) {
                          if (a.second->cycles() != b.second->cycles()) {
                              return a.second->cycles() > b.second->cycles();
                          }
                          return a.first != b.first ? a.first < b.first : a.second < b.second;
                      });
    const bool timed = timeline.clock_hz != 0;
    TextTable table;
    for (const char* header : {"rank", "tile", "index"}) {
        table.column(header, Align::Right);
    }
    table.column("kind", Align::Left);
    table.column("cycles", Align::Right);
    if (timed) {
        table.column("time_us", Align::Right);
    }
    table.column("operation", Align::Left);
    table.column("kernel", Align::Left);
    for (std::size_t rank = 0; rank < shown; ++rank) {
        const auto& [tile, step] = steps[rank];
        const ProfileStep& planned = step->sample->step;
        std::vector<std::string> cells{
            std::to_string(rank + 1), std::to_string(timeline.tiles[tile].physical_tile),
            std::to_string(planned.local_index),
            std::string(detail::kind_name(detail::kind_index(planned.kind))), std::to_string(step->cycles())};
        if (timed) {
            cells.push_back(micros(step->cycles(), timeline.clock_hz));
        }
        cells.push_back(detail::fit(detail::plain_text(planned.operation), name_width));
        cells.push_back(detail::fit(detail::plain_text(planned.kernel), name_width));
        table.row(std::move(cells));
    }
    out += "\nlongest steps (" + std::to_string(shown) + " of " + std::to_string(steps.size()) + ")\n";
    table.render(out);
}

} // namespace

std::string render_report_table(const ProfileReport& report) {
    const detail::Timeline timeline = detail::build_timeline(report);
    KindTotals totals;
    for (const auto& tile : timeline.tiles) {
        std::ranges::for_each(tile.steps, [&](const auto& step) { totals.add(step); });
    }
    std::string out;
    render_heading(out, timeline, totals);
    if (totals.all_steps == 0) {
        out += "\nno samples\n";
        return out;
    }
    render_kinds(out, timeline, totals);
    render_tiles(out, timeline, shown_kinds(totals));
    render_longest(out, timeline);
    return out;
}

} // namespace tarn_package
