#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "analysis/cycle_slice.hpp"
#include "fixtures.hpp"

namespace tarn_package {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint32_t>;

constexpr std::uint64_t max_u64 = std::numeric_limits<std::uint64_t>::max();

/// A step whose every field depends on its tile and position, so a sample paired with the
/// wrong step, or copied in part, shows.
ProfileStep step(std::uint32_t tile, std::uint32_t index) {
    const std::string tag = std::to_string(tile) + "." + std::to_string(index);
    return ProfileStep{
        .local_index = index,
        .phase = tile * 100 + index,
        .epoch = index / 2,
        .operation = "operation." + tag,
        .kind = static_cast<ProfileStepKind>(index % 4),
        .kernel = "kernel." + tag,
        .metadata = {ProfileMetadata{.name = "reason", .value = tag}},
        .exchange_activities = {ProfileExchangeActivity{
            .kind = static_cast<ProfileExchangeActivityKind>(index % 3),
            .start_cycle = index,
            .end_cycle = index + tile}},
        .exchange_event_cycles = index * 3 + tile,
    };
}

TileProfilePlan plan(std::uint32_t tile, std::uint32_t step_count) {
    TileProfilePlan result{.physical_tile = tile, .steps = {}};
    for (std::uint32_t i = 0; i < step_count; ++i) {
        result.steps.push_back(step(tile, i));
    }
    return result;
}

RegionSlice slice(std::uint32_t tile, std::uint64_t file_offset, std::uint64_t size) {
    return RegionSlice{.tile = tile, .tile_address = 0x4c100, .file_offset = file_offset, .size = size};
}

Binding binding(std::string name, std::vector<RegionSlice> slices) {
    return Binding{.name = std::move(name), .dtype = "u32", .shape = {}, .slices = std::move(slices)};
}

void append_le32(Bytes& out, std::uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(word >> shift));
    }
}

/// The tile that `plan` yields from its readings `words` (one more than it has steps).
TileProfile expected_tile(const TileProfilePlan& plan, const Words& words) {
    TileProfile tile{.physical_tile = plan.physical_tile, .samples = {}};
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        tile.samples.push_back(
            CycleSample{.step = plan.steps[i], .start_cycle = words.at(i), .end_cycle = words.at(i + 1)});
    }
    return tile;
}

struct ProfileRun {
    Application app;
    Bytes output;
};

// Tile 0's readings: 16, 0x01020304, 0xfffffff0; tile 1's: 7, 8, 0x80000000, 9.
const Bytes tile_0_bytes = {0x10, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0xf0, 0xff, 0xff, 0xff};
const Bytes tile_1_bytes = {7, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x80, 9, 0, 0, 0};
const Words tile_0_words = {16, 0x01020304, 0xfffffff0};
const Words tile_1_words = {7, 8, 0x80000000, 9};

/// Two outputs: "prefix" (8 bytes) and "profile.cycles" with tile 0 (2 steps) at file offset 0
/// and tile 1 (3 steps) at 12. The package has no tile images: decoding needs none.
ProfileRun worked_example() {
    ProfileRun run;
    Binding prefix =
        binding("prefix", {RegionSlice{.tile = 0, .tile_address = 0x4c000, .file_offset = 0, .size = 8}});
    prefix.dtype = "u8";
    prefix.shape = {8};
    Binding cycles = binding("profile.cycles", {slice(0, 0, 12), slice(1, 12, 16)});
    cycles.shape = {7};
    run.app.outputs = {prefix, cycles};
    run.app.profile_tiles = {plan(0, 2), plan(1, 3)};
    run.output.assign(8, 0xa5);
    run.output.insert(run.output.end(), tile_0_bytes.begin(), tile_0_bytes.end());
    run.output.insert(run.output.end(), tile_1_bytes.begin(), tile_1_bytes.end());
    return run;
}

std::string message_of(const PackageError& error) {
    EXPECT_EQ(error.kind(), PackageError::Kind::Invalid);
    const auto* invalid = std::get_if<PackageError::Invalid>(&error.value);
    return invalid ? invalid->message : error.what();
}

TEST(ProfileReport, WorkedExample) {
    const ProfileRun run = worked_example();
    ASSERT_TRUE(run.app.tiles.empty());
    ASSERT_EQ(run.output.size(), 36u);
    const auto report = run.app.profile_report(run.output, 1500000000);
    ASSERT_TRUE(report) << report.error();
    EXPECT_EQ(report->clock_hz, 1500000000u);
    ASSERT_EQ(report->tiles.size(), 2u);
    const TileProfile& tile_0 = report->tiles[0];
    EXPECT_EQ(tile_0.physical_tile, 0u);
    ASSERT_EQ(tile_0.samples.size(), 2u);
    EXPECT_EQ(tile_0.samples[0],
              (CycleSample{.step = step(0, 0), .start_cycle = 16, .end_cycle = 0x01020304}));
    EXPECT_EQ(tile_0.samples[1],
              (CycleSample{.step = step(0, 1), .start_cycle = 0x01020304, .end_cycle = 0xfffffff0}));
    const TileProfile& tile_1 = report->tiles[1];
    EXPECT_EQ(tile_1.physical_tile, 1u);
    ASSERT_EQ(tile_1.samples.size(), 3u);
    EXPECT_EQ(tile_1.samples[0], (CycleSample{.step = step(1, 0), .start_cycle = 7, .end_cycle = 8}));
    EXPECT_EQ(tile_1.samples[1],
              (CycleSample{.step = step(1, 1), .start_cycle = 8, .end_cycle = 0x80000000}));
    EXPECT_EQ(tile_1.samples[2],
              (CycleSample{.step = step(1, 2), .start_cycle = 0x80000000, .end_cycle = 9}));
}

// Tile counts, step counts, counter origins and prefix sizes over their whole ranges; plans name
// scattered tiles and the slices are listed in the opposite order of their bytes.
TEST(ProfileReport, GeneratedLayouts) {
    std::mt19937 random(20261211);
    const auto draw = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    for (std::uint32_t tile_count = 1; tile_count <= 8; ++tile_count) {
        for (std::uint32_t prefix_size = 0; prefix_size <= 32; prefix_size += 4) {
            SCOPED_TRACE("tiles " + std::to_string(tile_count) + ", prefix " + std::to_string(prefix_size));
            Application app;
            Binding prefix = binding("prefix", {});
            if (prefix_size != 0) {
                prefix.slices.push_back(slice(0, 0, prefix_size));
            }
            Binding cycles = binding("profile.cycles", {});
            Bytes output(prefix_size, 0xa5);
            ProfileReport expected{.clock_hz = 1000, .tiles = {}};
            for (std::uint32_t t = 0; t < tile_count; ++t) {
                const std::uint32_t tile = 3 * t + 1;
                const TileProfilePlan tile_plan = plan(tile, draw(1, 16));
                Words words{t == 0 ? (prefix_size % 8 == 0 ? 0u : 2147483647u) : draw(0, 2147483647)};
                for (std::size_t i = 0; i < tile_plan.steps.size(); ++i) {
                    words.push_back(words.back() + draw(1, 10000));
                }
                const std::uint64_t offset = output.size() - prefix_size;
                cycles.slices.insert(cycles.slices.begin(), slice(tile, offset, 4 * words.size()));
                for (const std::uint32_t word : words) {
                    append_le32(output, word);
                }
                app.profile_tiles.push_back(tile_plan);
                expected.tiles.push_back(expected_tile(tile_plan, words));
            }
            app.outputs = {prefix, cycles};
            const auto report = app.profile_report(output, 1000);
            ASSERT_TRUE(report) << report.error();
            EXPECT_EQ(*report, expected);
        }
    }
}

TEST(ProfileReport, Decodes) {
    const ProfileRun example = worked_example();
    const ProfileReport example_report = *example.app.profile_report(example.output, 0);
    struct Case {
        const char* name;
        ProfileRun run;
        ProfileReport expected;
    };
    std::vector<Case> cases;
    {
        ProfileRun run = worked_example();
        run.output.insert(run.output.end(), {1, 2, 3, 4, 5});
        cases.push_back({"output longer than needed", run, example_report});
    }
    {
        ProfileRun run = worked_example();
        run.app.outputs.push_back(binding("after", {slice(0, max_u64, 1)}));
        run.app.outputs.push_back(binding("after.too", {slice(0, 0, max_u64)}));
        cases.push_back({"outputs after the profile binding do not move it", run, example_report});
    }
    {
        ProfileRun run = worked_example();
        run.app.outputs.push_back(binding("profile.cycles", {slice(0, 0, 4), slice(1, 0, 4)}));
        cases.push_back({"the first profile binding is used", run, example_report});
    }
    {
        ProfileRun run = worked_example();
        run.app.outputs.front().slices = {slice(0, 0, 8), slice(0, 16, 4)};
        run.output.insert(run.output.begin() + 8, 12, 0xa5);
        cases.push_back({"a prefix moves it by its extent", run, example_report});
    }
    {
        ProfileRun run = worked_example();
        run.app.outputs.front().slices.clear();
        run.output.erase(run.output.begin(), run.output.begin() + 8);
        cases.push_back({"a prefix without slices moves nothing", run, example_report});
    }
    {
        ProfileRun run = worked_example();
        // A second slice for tile 0, 16 bytes after the first, with readings of its own.
        run.app.outputs.back().slices.push_back(slice(0, 28, 12));
        for (const std::uint32_t word : {5u, 6u, 7u}) {
            append_le32(run.output, word);
        }
        ProfileReport expected = example_report;
        expected.tiles[0] = expected_tile(plan(0, 2), {5, 6, 7});
        cases.push_back({"the later slice of a tile wins", run, expected});
    }
    {
        ProfileRun run = worked_example();
        run.app.profile_tiles = {plan(1, 3), plan(0, 2)};
        ProfileReport expected = example_report;
        std::swap(expected.tiles[0], expected.tiles[1]);
        cases.push_back({"plan order, not slice order", run, expected});
    }
    {
        ProfileRun run = worked_example();
        run.app.profile_tiles.clear();
        cases.push_back({"no plans", run, ProfileReport{.clock_hz = 0, .tiles = {}}});
    }
    {
        ProfileRun run = worked_example();
        run.app.profile_tiles.push_back(plan(2, 0));
        run.app.outputs.back().slices.push_back(slice(2, 28, 4));
        append_le32(run.output, 99);
        ProfileReport expected = example_report;
        expected.tiles.push_back(TileProfile{.physical_tile = 2, .samples = {}});
        cases.push_back({"a plan without steps", run, expected});
    }
    {
        ProfileRun run = worked_example();
        run.app.profile_tiles = {plan(1, 1)};
        run.app.outputs.back().slices = {slice(1, 0, 8)};
        run.output.resize(8);
        append_le32(run.output, 4294967280u);
        append_le32(run.output, 16);
        cases.push_back(
            {"a wrapped counter is stored raw", run,
             ProfileReport{.clock_hz = 0,
                           .tiles = {TileProfile{.physical_tile = 1,
                                                 .samples = {CycleSample{.step = step(1, 0),
                                                                         .start_cycle = 4294967280u,
                                                                         .end_cycle = 16}}}}}});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto report = c.run.app.profile_report(c.run.output, 0);
        ASSERT_TRUE(report) << report.error();
        EXPECT_EQ(*report, c.expected);
    }
}

TEST(ProfileReport, CopiesTheClock) {
    const ProfileRun run = worked_example();
    for (const std::uint64_t clock_hz : {std::uint64_t{0}, std::uint64_t{1500000000}, max_u64}) {
        SCOPED_TRACE(clock_hz);
        const auto report = run.app.profile_report(run.output, clock_hz);
        ASSERT_TRUE(report) << report.error();
        EXPECT_EQ(report->clock_hz, clock_hz);
    }
}

TEST(ProfileReport, Refuses) {
    struct Case {
        const char* name;
        ProfileRun run;
        std::string message;
    };
    std::vector<Case> cases;
    const auto add = [&](const char* name, auto mutate, std::string message) {
        ProfileRun run = worked_example();
        mutate(run);
        cases.push_back({name, std::move(run), std::move(message)});
    };
    const std::string no_binding = "application has no cycle profile binding";
    add(
        "no outputs", [](ProfileRun& r) { r.app.outputs.clear(); }, no_binding);
    add(
        "no outputs and no plans",
        [](ProfileRun& r) {
            r.app.outputs.clear();
            r.app.profile_tiles.clear();
        },
        no_binding);
    add(
        "profile binding only among inputs and weights",
        [](ProfileRun& r) {
            r.app.inputs = {r.app.outputs.back()};
            r.app.weights = {r.app.outputs.back()};
            r.app.outputs.pop_back();
        },
        no_binding);
    add(
        "name differing in case", [](ProfileRun& r) { r.app.outputs.back().name = "Profile.cycles"; },
        no_binding);
    add(
        "extents overflowing before a missing binding",
        [](ProfileRun& r) { r.app.outputs.back() = binding("big", {slice(0, max_u64 - 8, 8)}); },
        "output binding size overflow");
    add(
        "extents overflowing before the profile binding",
        [](ProfileRun& r) {
            r.app.outputs.insert(r.app.outputs.begin() + 1, binding("big", {slice(0, 0, max_u64 - 7)}));
        },
        "output binding size overflow");
    add(
        "plan tile without a slice", [](ProfileRun& r) { r.app.profile_tiles.push_back(plan(7, 1)); },
        "cycle profile has no slice for tile 7");
    add(
        "slice too short for the plan", [](ProfileRun& r) { r.app.profile_tiles[0] = plan(0, 3); },
        "cycle profile slice for tile 0 has size 12, expected 16");
    add(
        "slice too long for the plan", [](ProfileRun& r) { r.app.profile_tiles[1] = plan(1, 2); },
        "cycle profile slice for tile 1 has size 16, expected 12");
    add(
        "the later slice of a tile is checked",
        [](ProfileRun& r) { r.app.outputs.back().slices.push_back(slice(0, 0, 4)); },
        "cycle profile slice for tile 0 has size 4, expected 12");
    add(
        "the first failing plan is reported",
        [](ProfileRun& r) {
            r.app.profile_tiles = {plan(1, 1), plan(7, 1)};
        },
        "cycle profile slice for tile 1 has size 16, expected 8");
    add(
        "offset overflowing with the binding base",
        [](ProfileRun& r) { r.app.outputs.back().slices[0].file_offset = max_u64 - 7; },
        "profile output offset overflow");
    // On a host with a 64-bit word the start fits and the end overflows.
    add(
        "range overflowing",
        [](ProfileRun& r) {
            r.app.outputs.front().slices.clear();
            r.app.outputs.back().slices[0].file_offset = max_u64 - 3;
        },
        sizeof(std::size_t) >= 8 ? "profile output range overflow" : "profile output offset overflow");
    add(
        "output one byte short", [](ProfileRun& r) { r.output.pop_back(); },
        "profile binding exceeds runtime output");
    add(
        "slice far past the output",
        [](ProfileRun& r) { r.app.outputs.back().slices[1].file_offset = 1ull << 40; },
        "profile binding exceeds runtime output");
    add(
        "no output at all", [](ProfileRun& r) { r.output.clear(); },
        "profile binding exceeds runtime output");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto report = c.run.app.profile_report(c.run.output, 1);
        ASSERT_FALSE(report);
        EXPECT_EQ(message_of(report.error()), c.message);
    }
}

TEST(ProfileReport, CycleSliceSize) {
    for (const auto& [steps, bytes] : {std::pair<std::size_t, std::uint64_t>{0, 4}, {1, 8}, {3, 16}}) {
        SCOPED_TRACE(steps);
        const auto size = detail::cycle_slice_size(steps);
        ASSERT_TRUE(size) << size.error();
        EXPECT_EQ(*size, bytes);
    }
    const auto count = detail::cycle_slice_size(std::numeric_limits<std::size_t>::max());
    ASSERT_FALSE(count);
    EXPECT_EQ(message_of(count.error()), "profile sample count overflow");
    if constexpr (std::numeric_limits<std::size_t>::max() >= max_u64) {
        const auto size = detail::cycle_slice_size(std::numeric_limits<std::size_t>::max() / 4);
        ASSERT_FALSE(size);
        EXPECT_EQ(message_of(size.error()), "profile sample size overflow");
    }
}

TEST(BindingSize, IsTheLargestSliceEnd) {
    struct Case {
        const char* name;
        std::vector<RegionSlice> slices;
        std::uint64_t extent;
    };
    const std::vector<Case> cases = {
        {"no slices", {}, 0},
        {"gap between slices", {slice(0, 0, 8), slice(0, 16, 4)}, 20},
        {"gap, later slice first", {slice(0, 16, 4), slice(0, 0, 8)}, 20},
        {"a wide slice covering a later one", {slice(0, 0, 100), slice(1, 16, 4)}, 100},
        {"an empty slice counts by its offset", {slice(0, 10, 0)}, 10},
        {"saturating end", {slice(0, 0, 8), slice(0, max_u64 - 1, 5)}, max_u64},
        {"end exactly at the top", {slice(0, max_u64, 0)}, max_u64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(binding_size(binding("b", c.slices)), c.extent);
    }
}

} // namespace
} // namespace tarn_package
