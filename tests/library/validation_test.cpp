#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixtures.hpp"

namespace tarn_package {
namespace {

using testing::minimal_application;
using testing::populated_application;

using Mutation = std::function<void(Application&)>;

struct RuleCase {
    const char* name;
    Mutation mutate;
    const char* expected; // nullptr: the package stays valid
};

Segment segment(std::uint32_t address, std::uint32_t memory_size, std::vector<std::uint8_t> data = {}) {
    return Segment{.address = address, .memory_size = memory_size, .data = std::move(data), .flags = 0};
}

TileImage tile(std::uint32_t physical_tile, std::vector<Segment> segments = {}) {
    return TileImage{.physical_tile = physical_tile,
                     .entry_point = 0x4c000,
                     .command_address = 0,
                     .diagnostic_address = 0,
                     .segments = std::move(segments)};
}

Binding binding(std::string name, std::vector<RegionSlice> slices = {}) {
    return Binding{.name = std::move(name), .dtype = "u8", .shape = {1}, .slices = std::move(slices)};
}

RegionSlice slice(std::uint32_t tile_number, std::uint32_t tile_address, std::uint64_t size) {
    return RegionSlice{.tile = tile_number, .tile_address = tile_address, .file_offset = 0, .size = size};
}

HostCall& call(Application& app) {
    return app.host_exchange.calls.front();
}

void expect_outcome(const Application& app, const char* expected) {
    const auto result = app.validate();
    if (expected == nullptr) {
        EXPECT_TRUE(result.has_value()) << result.error();
        return;
    }
    ASSERT_FALSE(result.has_value()) << "expected: " << expected;
    ASSERT_EQ(result.error().kind(), PackageError::Kind::Invalid) << result.error();
    EXPECT_EQ(std::get<PackageError::Invalid>(result.error().value).message, expected);
}

void run_cases(const Application& base, const std::vector<RuleCase>& cases) {
    for (const auto& rule : cases) {
        SCOPED_TRACE(rule.name);
        Application app = base;
        rule.mutate(app);
        expect_outcome(app, rule.expected);
    }
}

TEST(Validation, FixturesAreValid) {
    expect_outcome(minimal_application(), nullptr);
    expect_outcome(populated_application(), nullptr);
}

TEST(Validation, TilesAndSegments) {
    run_cases(
        minimal_application(),
        {
            {"no tiles", [](Application& a) { a.tiles.clear(); }, "application has no tiles"},
            {"no tiles wins over every other fault",
             [](Application& a) {
                 a.tiles.clear();
                 a.device_config_writes = {{1, 0}};
                 a.debug_symbols = {{"", 0}};
             },
             "application has no tiles"},
            {"identical segment twice",
             [](Application& a) { a.tiles[0].segments.push_back(a.tiles[0].segments[0]); },
             "overlapping segments on tile 0: 0x4c000..0x4c008 and 0x4c000..0x4c008"},
            {"address below the window", [](Application& a) { a.tiles[0].segments = {segment(0x4bfff, 1)}; },
             "invalid segment on tile 0: address=0x4bfff end=0x4c000 memory_size=1 data_size=0"},
            {"end exactly at the window end",
             [](Application& a) { a.tiles[0].segments = {segment(0xe7ff0, 0x10)}; }, nullptr},
            {"end one past the window end",
             [](Application& a) { a.tiles[0].segments = {segment(0xe7ff1, 0x10)}; },
             "invalid segment on tile 0: address=0xe7ff1 end=0xe8001 memory_size=16 data_size=0"},
            {"data of exactly memory size", [](Application& a) { a.tiles[0].segments[0].data.resize(8); },
             nullptr},
            {"data one byte longer than memory size",
             [](Application& a) { a.tiles[0].segments[0].data.resize(9); },
             "invalid segment on tile 0: address=0x4c000 end=0x4c008 memory_size=8 data_size=9"},
            {"end beyond 32 bits", [](Application& a) { a.tiles[0].segments = {segment(0xfffffff0, 0x20)}; },
             "segment address overflow"},
            {"end exactly 2^32 does not fit",
             [](Application& a) { a.tiles[0].segments = {segment(0xfffffff0, 0x10)}; },
             "segment address overflow"},
            {"zero-size segment must still be in the window",
             [](Application& a) { a.tiles[0].segments.push_back(segment(0x1000, 0)); },
             "invalid segment on tile 0: address=0x1000 end=0x1000 memory_size=0 data_size=0"},
            {"zero-size segment may hold no data",
             [](Application& a) { a.tiles[0].segments.push_back(segment(0x4d000, 0, {1})); },
             "invalid segment on tile 0: address=0x4d000 end=0x4d000 memory_size=0 data_size=1"},
            {"two zero-size segments at one address overlap nothing",
             [](Application& a) {
                 a.tiles[0].segments.push_back(segment(0x4c004, 0));
                 a.tiles[0].segments.push_back(segment(0x4c004, 0));
             },
             nullptr},
            {"touching segments pass",
             [](Application& a) {
                 a.tiles[0].segments = {segment(0x4c010, 0x10), segment(0x4c000, 0x10)};
             },
             nullptr},
            {"overlap by one byte, reported lower pair first",
             [](Application& a) {
                 a.tiles[0].segments = {segment(0x4c010, 0x10), segment(0x4c000, 0x11)};
             },
             "overlapping segments on tile 0: 0x4c000..0x4c011 and 0x4c010..0x4c020"},
            {"segment wholly inside another",
             [](Application& a) {
                 a.tiles[0].segments = {segment(0x4c000, 0x100), segment(0x4c010, 0x10)};
             },
             "overlapping segments on tile 0: 0x4c000..0x4c100 and 0x4c010..0x4c020"},
            {"overlap found between non-adjacent list entries",
             [](Application& a) {
                 a.tiles[0].segments = {segment(0x4c000, 0x10), segment(0x4d000, 0x10),
                                        segment(0x4c008, 0x4)};
             },
             "overlapping segments on tile 0: 0x4c000..0x4c010 and 0x4c008..0x4c00c"},
            {"same ranges on two tiles pass",
             [](Application& a) { a.tiles.push_back(tile(1, {segment(0x4c000, 8)})); }, nullptr},
            {"duplicate physical tile",
             [](Application& a) { a.tiles.push_back(tile(0, {segment(0x4c000, 8)})); },
             "duplicate physical tile 0"},
            {"earlier tile's bad segment wins over a later duplicate",
             [](Application& a) {
                 a.tiles[0].segments = {segment(0x1000, 4)};
                 a.tiles.push_back(tile(0));
             },
             "invalid segment on tile 0: address=0x1000 end=0x1004 memory_size=4 data_size=0"},
            {"later tile's bad segment loses to the duplicate",
             [](Application& a) { a.tiles.push_back(tile(0, {segment(0x1000, 4)})); },
             "duplicate physical tile 0"},
            {"tile without segments passes", [](Application& a) { a.tiles.push_back(tile(9)); }, nullptr},
        });
}

TEST(Validation, DeviceConfigWrites) {
    run_cases(minimal_application(), {
                                         {"duplicate offset",
                                          [](Application& a) {
                                              a.device_config_writes = {{4, 1}, {4, 2}};
                                          },
                                          "unaligned or duplicate device configuration write"},
                                         {"distinct aligned offsets",
                                          [](Application& a) {
                                              a.device_config_writes = {{4, 1}, {8, 2}};
                                          },
                                          nullptr},
                                         {"aligned",
                                          [](Application& a) {
                                              a.device_config_writes = {{0x4018, 1}};
                                          },
                                          nullptr},
                                         {"low bit set",
                                          [](Application& a) {
                                              a.device_config_writes = {{0x4019, 1}};
                                          },
                                          "unaligned or duplicate device configuration write"},
                                         {"second bit set",
                                          [](Application& a) {
                                              a.device_config_writes = {{0x401a, 1}};
                                          },
                                          "unaligned or duplicate device configuration write"},
                                         {"both low bits set",
                                          [](Application& a) {
                                              a.device_config_writes = {{0x401b, 1}};
                                          },
                                          "unaligned or duplicate device configuration write"},
                                         {"checked before the segments",
                                          [](Application& a) {
                                              a.device_config_writes = {{1, 1}};
                                              a.tiles[0].segments = {segment(0, 1)};
                                          },
                                          "unaligned or duplicate device configuration write"},
                                     });
}

TEST(Validation, ProfilePlansAndDebugMap) {
    run_cases(
        populated_application(),
        {
            {"plan for a missing tile", [](Application& a) { a.profile_tiles[0].physical_tile = 3; },
             "invalid tile profile plan"},
            {"second plan for tile 0", [](Application& a) { a.profile_tiles.push_back(a.profile_tiles[0]); },
             "invalid tile profile plan"},
            {"step out of position", [](Application& a) { a.profile_tiles[0].steps[0].local_index = 1; },
             "invalid tile profile plan"},
            {"second step with index 0",
             [](Application& a) { a.profile_tiles[0].steps.push_back(a.profile_tiles[0].steps[0]); },
             "invalid tile profile plan"},
            {"plan without steps", [](Application& a) { a.profile_tiles[0].steps.clear(); }, nullptr},
            {"plan checked after the tiles",
             [](Application& a) {
                 a.profile_tiles[0].physical_tile = 3;
                 a.tiles.push_back(a.tiles[0]);
             },
             "duplicate physical tile 0"},
            {"unnamed symbol", [](Application& a) { a.debug_symbols[0].name.clear(); },
             "invalid package debug map"},
            {"unnamed region", [](Application& a) { a.debug_regions[0].name.clear(); },
             "invalid package debug map"},
            {"empty region", [](Application& a) { a.debug_regions[0].size = 0; },
             "invalid package debug map"},
            {"region on a missing tile", [](Application& a) { a.debug_regions[0].physical_tile = 7; },
             "invalid package debug map"},
            {"region on an existing tile", [](Application& a) { a.debug_regions[0].physical_tile = 0; },
             nullptr},
            {"region ending at 2^32 - 1",
             [](Application& a) {
                 a.debug_regions[0].address = 0xffffff00;
                 a.debug_regions[0].size = 0xff;
             },
             nullptr},
            {"region ending beyond 32 bits",
             [](Application& a) {
                 a.debug_regions[0].address = 0xffffff00;
                 a.debug_regions[0].size = 0x100;
             },
             "invalid package debug map"},
            {"debug addresses are not held to the window",
             [](Application& a) { a.debug_symbols[0].address = 0; }, nullptr},
            {"plans checked before the debug map",
             [](Application& a) {
                 a.debug_symbols[0].name.clear();
                 a.profile_tiles[0].steps[0].local_index = 5;
             },
             "invalid tile profile plan"},
        });
}

TEST(Validation, Bindings) {
    run_cases(
        minimal_application(),
        {
            {"same name in inputs and weights",
             [](Application& a) {
                 a.inputs = {binding("x")};
                 a.weights = {binding("x")};
             },
             "empty or duplicate binding x"},
            {"same name in outputs and inputs",
             [](Application& a) {
                 a.inputs = {binding("y")};
                 a.outputs = {binding("y")};
             },
             "empty or duplicate binding y"},
            {"empty name", [](Application& a) { a.outputs = {binding("")}; }, "empty or duplicate binding "},
            {"binding without slices", [](Application& a) { a.inputs = {binding("x")}; }, nullptr},
            {"slice size above 32 bits",
             [](Application& a) { a.inputs = {binding("x", {slice(0, 0x4c000, 0x100000000)})}; },
             "binding x slice is too large"},
            {"slice end beyond 32 bits",
             [](Application& a) { a.inputs = {binding("x", {slice(0, 0xffffff00, 0x100)})}; },
             "binding address overflow"},
            {"slice on a missing tile",
             [](Application& a) { a.inputs = {binding("x", {slice(4, 0x4c000, 4)})}; },
             "binding x references invalid tile memory"},
            {"slice below the window",
             [](Application& a) { a.inputs = {binding("x", {slice(0, 0x4bfff, 4)})}; },
             "binding x references invalid tile memory"},
            {"slice ending at the window end",
             [](Application& a) { a.inputs = {binding("x", {slice(0, 0xe7ff0, 0x10)})}; }, nullptr},
            {"slice ending past the window end",
             [](Application& a) { a.inputs = {binding("x", {slice(0, 0xe7ff0, 0x11)})}; },
             "binding x references invalid tile memory"},
            {"overlapping slices pass",
             [](Application& a) {
                 a.inputs = {binding("x", {slice(0, 0x4c000, 8), slice(0, 0x4c004, 8)})};
             },
             nullptr},
            {"slices of one binding before the next name",
             [](Application& a) {
                 a.inputs = {binding("x", {slice(4, 0x4c000, 4)}), binding("x")};
             },
             "binding x references invalid tile memory"},
            {"debug map checked before bindings",
             [](Application& a) {
                 a.inputs = {binding("")};
                 a.debug_symbols = {{"", 0}};
             },
             "invalid package debug map"},
        });
}

TEST(Validation, HostExchange) {
    run_cases(
        populated_application(),
        {
            {"two pages with one index", [](Application& a) { a.host_exchange.pages[1].index = 0; },
             "invalid host page table"},
            {"attach order names a missing page",
             [](Application& a) { a.host_exchange.attach_order.push_back(5); }, "invalid host page table"},
            {"attach order may repeat and omit pages",
             [](Application& a) {
                 a.host_exchange.attach_order = {1, 1};
             },
             nullptr},
            {"command word ends at the page end",
             [](Application& a) { a.host_exchange.command_offset = 0x1000 - 4; }, nullptr},
            {"command word one byte past the page",
             [](Application& a) { a.host_exchange.command_offset = 0x1000 - 3; },
             "invalid host startup protocol"},
            {"command offset overflowing 64 bits",
             [](Application& a) { a.host_exchange.command_offset = 0xfffffffffffffffe; },
             "invalid host startup protocol"},
            {"command page missing", [](Application& a) { a.host_exchange.command_page = 9; },
             "invalid host startup protocol"},
            {"startup protocol ignored without calls",
             [](Application& a) {
                 a.host_exchange.calls.clear();
                 a.host_exchange.command_page = 9;
                 a.host_exchange.command_offset = 0xffffffffffffffff;
             },
             nullptr},
            {"no invocations, before batches and slices",
             [](Application& a) {
                 call(a).invocations = 0;
                 call(a).input_batch_ends = {7};
                 call(a).inputs[0].page = 9;
             },
             "host call batched has no invocations"},
            {"invalid input boundary", [](Application& a) { call(a).input_batch_ends = {3}; },
             "host call batched has invalid input batch boundary 3"},
            {"output batches not covering", [](Application& a) { call(a).output_batch_ends = {}; },
             "host call batched output batches cover 0 of 1 slices"},
            {"input batches checked before output batches",
             [](Application& a) {
                 call(a).input_batch_ends = {1};
                 call(a).output_batch_ends = {};
             },
             "host call batched input batches cover 1 of 2 slices"},
            {"slice ending at the page end",
             [](Application& a) { call(a).inputs[1].page_offset = 0x2000 - 0x10; }, nullptr},
            {"slice one byte past the page end",
             [](Application& a) { call(a).inputs[1].page_offset = 0x2000 - 0xf; },
             "host call batched exceeds page bounds"},
            {"slice end overflowing 64 bits",
             [](Application& a) { call(a).outputs[0].page_offset = 0xfffffffffffffff8; },
             "host call batched exceeds page bounds"},
            {"slice on a missing page", [](Application& a) { call(a).outputs[0].page = 9; },
             "host call batched references missing page"},
            {"inputs checked before outputs",
             [](Application& a) {
                 call(a).outputs[0].page = 9;
                 call(a).inputs[0].size = 0x3000;
             },
             "host call batched exceeds page bounds"},
            {"second call checked after the first",
             [](Application& a) {
                 HostCall second = call(a);
                 second.name = "second";
                 second.invocations = 0;
                 a.host_exchange.calls.push_back(second);
             },
             "host call second has no invocations"},
            {"page sizes may be zero",
             [](Application& a) {
                 a.host_exchange.pages.push_back({2, 0});
                 a.host_exchange.attach_order.push_back(2);
             },
             nullptr},
            {"bindings checked before the page table",
             [](Application& a) {
                 a.host_exchange.pages[1].index = 0;
                 a.inputs = {binding("x", {slice(4, 0x4c000, 4)})};
             },
             "binding x references invalid tile memory"},
            {"page table checked before the startup protocol",
             [](Application& a) {
                 a.host_exchange.pages[1].index = 0;
                 a.host_exchange.command_page = 9;
             },
             "invalid host page table"},
        });
}

struct BatchCase {
    const char* name;
    std::vector<std::uint32_t> ends;
    std::size_t slice_count;
    const char* expected;
};

TEST(Validation, HostBatchEnds) {
    const std::vector<BatchCase> cases = {
        {"repeated boundary", {2, 2}, 3, "host call c has invalid input batch boundary 2"},
        {"zero first boundary", {0}, 3, "host call c has invalid input batch boundary 0"},
        {"boundary beyond the slices", {1, 4}, 3, "host call c has invalid input batch boundary 4"},
        {"falling boundary", {2, 1}, 3, "host call c has invalid input batch boundary 1"},
        {"not covering every slice", {1, 2}, 3, "host call c input batches cover 2 of 3 slices"},
        {"slices without boundaries", {}, 3, "host call c input batches cover 0 of 3 slices"},
        {"two batches", {1, 3}, 3, nullptr},
        {"one batch", {3}, 3, nullptr},
        {"one batch per slice", {1, 2, 3}, 3, nullptr},
        {"no slices and no boundaries", {}, 0, nullptr},
        {"boundaries without slices", {1}, 0, "host call c has invalid input batch boundary 1"},
    };
    const HostCall c{.name = "c", .invocations = 1};
    for (const auto& batch : cases) {
        SCOPED_TRACE(batch.name);
        const auto result = validate_host_batch_ends(c, "input", batch.ends, batch.slice_count);
        if (batch.expected == nullptr) {
            EXPECT_TRUE(result.has_value()) << result.error();
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error().what(), std::string("Invalid: ") + batch.expected);
        }
    }
}

TEST(Validation, HostBatchEndsNameTheCallAndDirection) {
    const HostCall call{.name = "explicit-batches", .invocations = 1};
    for (const char* direction : {"input", "output"}) {
        SCOPED_TRACE(direction);
        const auto result = validate_host_batch_ends(call, direction, {}, 1);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(std::get<PackageError::Invalid>(result.error().value).message,
                  std::string("host call explicit-batches ") + direction + " batches cover 0 of 1 slices");
    }
    EXPECT_TRUE(validate_host_batch_ends(call, "input", {}, 0).has_value());
}

TEST(Validation, LeavesThePackageUnchanged) {
    Application app = populated_application();
    app.host_exchange.calls[0].invocations = 0;
    const Application before = app;
    ASSERT_FALSE(app.validate().has_value());
    EXPECT_EQ(app, before);
}

} // namespace
} // namespace tarn_package
