// Internal header of the report views, not for clients: the report laid out on one unwrapped
// cycle timeline per tile, and what the views share about step kinds and time units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tarn_package/fields.hpp>
#include <tarn_package/records.hpp>

namespace tarn_package::detail {

/// One sample placed on its tile's timeline; `end` >= `start`, both in unwrapped cycles.
struct TimelineStep {
    const CycleSample* sample = nullptr;
    std::uint64_t start = 0;
    std::uint64_t end = 0;

    [[nodiscard]] std::uint64_t cycles() const noexcept { return end - start; }
};

/// The samples of one entry of the report, in sample order; starts never go backwards.
struct TileTimeline {
    std::uint32_t physical_tile = 0;
    std::vector<TimelineStep> steps;
};

/// The whole report on unwrapped timelines. `origin` is the earliest start over all tiles and
/// `finish` the latest end (both 0 without samples). Refers into the report it was built from,
/// which must outlive it.
struct Timeline {
    std::uint64_t clock_hz = 0;
    std::vector<TileTimeline> tiles;
    std::uint64_t origin = 0;
    std::uint64_t finish = 0;
    std::size_t sample_count = 0;
};

[[nodiscard]] Timeline build_timeline(const ProfileReport& report);

/// The step kinds in their enumeration order, plus one slot for a number outside it.
inline constexpr std::size_t kind_count = EnumerantTable<ProfileStepKind>::enumerants.size();
inline constexpr std::size_t kind_slots = kind_count + 1;

/// Index of a kind in [0, kind_count), or kind_count for a number that is no enumerant.
[[nodiscard]] std::size_t kind_index(ProfileStepKind kind) noexcept;

/// Name of the kind at `index` ("Exchange", ..., "Other" for the extra slot).
[[nodiscard]] std::string_view kind_name(std::size_t index) noexcept;

/// Fill colour of the kind at `index` as "#rrggbb".
[[nodiscard]] std::string_view kind_colour(std::size_t index) noexcept;

/// `cycles` at `clock_hz` in microseconds; `clock_hz` must not be 0.
[[nodiscard]] double cycles_to_us(std::uint64_t cycles, std::uint64_t clock_hz) noexcept;

/// A frequency for people: "1.5 GHz", "800 MHz", "32.768 kHz", "12 Hz" (at most three decimals).
[[nodiscard]] std::string frequency(std::uint64_t hz);

/// `value` with `decimals` digits after the point ("12.500"); trailing zeros kept.
[[nodiscard]] std::string fixed(double value, int decimals);

/// `value` with at most `max_decimals` digits after the point and no trailing zeros ("12.5").
[[nodiscard]] std::string compact(double value, int max_decimals);

} // namespace tarn_package::detail
