// Profile reports shared by the tests of the report views.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <tarn_package/records.hpp>

namespace tarn_package::testing {

/// One step of a hand-made tile: its kind, operation and the counter reading at its end.
struct StepEntry {
    ProfileStepKind kind = ProfileStepKind::Compute;
    std::string operation;
    std::uint32_t end_cycle = 0;
};

/// A tile whose first step starts at `first_cycle` and whose every step starts where the one
/// before it ended, as in a decoded report; local indices count from 0.
inline TileProfile tile_profile(std::uint32_t physical_tile, std::uint32_t first_cycle,
                                std::initializer_list<StepEntry> steps) {
    TileProfile tile{.physical_tile = physical_tile, .samples = {}};
    std::uint32_t start = first_cycle;
    for (const StepEntry& entry : steps) {
        ProfileStep step;
        step.local_index = static_cast<std::uint32_t>(tile.samples.size());
        step.kind = entry.kind;
        step.operation = entry.operation;
        step.kernel = "kernel." + entry.operation;
        tile.samples.push_back(CycleSample{.step = step, .start_cycle = start, .end_cycle = entry.end_cycle});
        start = entry.end_cycle;
    }
    return tile;
}

/// A report of `tiles` tiles (numbered 0, 1, ...) with `steps` steps each, of kinds and lengths
/// that vary with tile and step, and texts that need escaping in every output format.
inline ProfileReport generated_report(std::uint32_t tiles, std::uint32_t steps, std::uint64_t clock_hz) {
    ProfileReport report{.clock_hz = clock_hz, .tiles = {}};
    for (std::uint32_t t = 0; t < tiles; ++t) {
        TileProfile tile{.physical_tile = t, .samples = {}};
        std::uint32_t cycle = 1000 + 37 * t;
        for (std::uint32_t s = 0; s < steps; ++s) {
            ProfileStep step;
            step.local_index = s;
            step.phase = s / 2;
            step.kind = static_cast<ProfileStepKind>((s + t) % 4);
            step.operation = "op<" + std::to_string(s) + "> & \"layer\"";
            step.kernel = "kernel'" + std::to_string(s % 3);
            step.metadata = {ProfileMetadata{.name = "reason", .value = "OperatorKernel"}};
            if (step.kind == ProfileStepKind::Exchange) {
                step.exchange_activities = {
                    ProfileExchangeActivity{
                        .kind = ProfileExchangeActivityKind::Send, .start_cycle = 2, .end_cycle = 40},
                    ProfileExchangeActivity{
                        .kind = ProfileExchangeActivityKind::Receive, .start_cycle = 10, .end_cycle = 90}};
            }
            const std::uint32_t length = 200 + ((t * 131 + s * 977) % 1800);
            tile.samples.push_back(
                CycleSample{.step = step, .start_cycle = cycle, .end_cycle = cycle + length});
            cycle += length;
        }
        report.tiles.push_back(std::move(tile));
    }
    return report;
}

/// A small report and the length in cycles of each of its steps, per tile, once the counter is
/// unwrapped.
struct ReportCase {
    std::string name;
    ProfileReport report;
    std::vector<std::vector<std::uint64_t>> cycles;
};

/// The reports that every view is checked on.
inline std::vector<ReportCase> report_cases() {
    using enum ProfileStepKind;
    std::vector<ReportCase> cases;
    cases.push_back(
        {"one tile",
         {0, {tile_profile(5, 100, {{Exchange, "a", 400}, {Compute, "b", 1000}, {Idle, "c", 1100}})}},
         {{300, 600, 100}}});
    cases.push_back({"several tiles",
                     {0,
                      {tile_profile(0, 0, {{Compute, "x", 50}, {Synchronization, "sync", 60}}),
                       tile_profile(3, 20, {{Exchange, "y", 70}, {Idle, "z", 90}}), tile_profile(9, 0, {})}},
                     {{50, 10}, {50, 20}, {}}});
    // Tile 2 wraps inside its second step; tile 4 reads the counter's last value, then 0.
    cases.push_back(
        {"wrapped counter",
         {0,
          {tile_profile(
               2, 4294967000,
               {{Compute, "before", 4294967200}, {Exchange, "across", 104}, {Synchronization, "after", 304}}),
           tile_profile(4, 4294967295, {{Idle, "edge", 0}, {Compute, "small", 5}})}},
         {{200, 200, 200}, {1, 5}}});
    cases.push_back({"one tile at 1.5 GHz",
                     {1500000000, {tile_profile(1, 3000, {{Compute, "c", 4500}, {Exchange, "e", 7500}})}},
                     {{1500, 3000}}});
    cases.push_back({"empty report", {1500000000, {}}, {}});
    return cases;
}

} // namespace tarn_package::testing
