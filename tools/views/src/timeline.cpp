#include "timeline.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include <tarn_package/render.hpp>

namespace tarn_package::detail {

namespace {

constexpr std::uint64_t counter_period = std::uint64_t{1} << 32;

/// The smallest 64-bit value >= `previous` whose low 32 bits are `reading`: a reading below the
/// low bits of `previous` means the counter wrapped once in between.
std::uint64_t unwrap_after(std::uint64_t previous, std::uint32_t reading) noexcept {
    const std::uint64_t value = (previous & ~(counter_period - 1)) | reading;
    return value < previous ? value + counter_period : value;
}

// Each start is unwrapped against the previous step's start and each end against its own start.
// In a decoded report a step ends exactly where the next starts, so this is the same as unwrapping
// the tile's reading sequence; in a hand-made report whose step ends after the next one starts,
// the overlap stays an overlap instead of turning into a wrap of 2^32 cycles.
TileTimeline tile_timeline(const TileProfile& tile) {
    TileTimeline timeline{.physical_tile = tile.physical_tile, .steps = {}};
    timeline.steps.reserve(tile.samples.size());
    std::uint64_t previous_start = tile.samples.empty() ? 0 : tile.samples.front().start_cycle;
    for (const CycleSample& sample : tile.samples) {
        const std::uint64_t start = unwrap_after(previous_start, sample.start_cycle);
        const std::uint64_t end = unwrap_after(start, sample.end_cycle);
        timeline.steps.push_back(TimelineStep{.sample = &sample, .start = start, .end = end});
        previous_start = start;
    }
    return timeline;
}

} // namespace

Timeline build_timeline(const ProfileReport& report) {
    Timeline timeline{.clock_hz = report.clock_hz, .tiles = {}, .origin = 0, .finish = 0, .sample_count = 0};
    timeline.tiles.reserve(report.tiles.size());
    bool any = false;
    for (const TileProfile& tile : report.tiles) {
        TileTimeline& placed = timeline.tiles.emplace_back(tile_timeline(tile));
        if (placed.steps.empty()) {
            continue;
        }
        const std::uint64_t first = placed.steps.front().start;
        std::uint64_t last = 0;
        for (const TimelineStep& step : placed.steps) {
            last = std::max(last, step.end);
        }
        timeline.origin = any ? std::min(timeline.origin, first) : first;
        timeline.finish = any ? std::max(timeline.finish, last) : last;
        timeline.sample_count += placed.steps.size();
        any = true;
    }
    return timeline;
}

std::size_t kind_index(ProfileStepKind kind) noexcept {
    const auto number = static_cast<std::size_t>(kind);
    return number < kind_count ? number : kind_count;
}

std::string_view kind_name(std::size_t index) noexcept {
    return index < kind_count ? EnumerantTable<ProfileStepKind>::enumerants[index].name : "Other";
}

std::string_view kind_colour(std::size_t index) noexcept {
    // Distinct for the usual forms of colour blindness; idle is the quiet grey.
    static constexpr std::array<std::string_view, kind_slots> colours{"#4e79a7", "#59a14f", "#f28e2b",
                                                                      "#bab0ac", "#e15759"};
    return colours[std::min(index, kind_count)];
}

double cycles_to_us(std::uint64_t cycles, std::uint64_t clock_hz) noexcept {
    return static_cast<double>(cycles) * 1e6 / static_cast<double>(clock_hz);
}

std::string frequency(std::uint64_t hz) {
    static constexpr std::array<std::pair<double, std::string_view>, 3> units{
        {{1e9, " GHz"}, {1e6, " MHz"}, {1e3, " kHz"}}};
    for (const auto& [scale, unit] : units) {
        if (static_cast<double>(hz) >= scale) {
            return compact(static_cast<double>(hz) / scale, 3) + std::string(unit);
        }
    }
    return std::to_string(hz) + " Hz";
}

std::string fixed(double value, int decimals) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return std::string(text, static_cast<std::size_t>(std::clamp(length, 0, int{sizeof text} - 1)));
}

std::string compact(double value, int max_decimals) {
    std::string text = fixed(value, max_decimals);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text == "-0" ? "0" : text;
}

} // namespace tarn_package::detail
