#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "event_recorder.hpp"
#include "fixtures.hpp"

namespace tarn_package {
namespace {

using Bytes = std::vector<std::uint8_t>;

using testing::EventRecorder;
using testing::RecordedEvent;

Segment segment(std::uint32_t address, std::uint32_t memory_size, Bytes data = {}) {
    return Segment{.address = address, .memory_size = memory_size, .data = std::move(data), .flags = 0};
}

/// A package whose only tile, number 9, has `segments`.
Application tile_nine(std::vector<Segment> segments) {
    Application app = testing::minimal_application();
    app.tiles.front().physical_tile = 9;
    app.tiles.front().segments = std::move(segments);
    return app;
}

void expect_reconstruction_event(const std::vector<RecordedEvent>& events, std::uint64_t physical_tile,
                                 const std::string& load_base, std::uint64_t image_bytes) {
    ASSERT_EQ(events.size(), 1u);
    const RecordedEvent& event = events.front();
    EXPECT_EQ(event.level, EventLevel::Trace);
    EXPECT_EQ(event.target, "tarn_package");
    EXPECT_EQ(event.message, "reconstructing tile image");
    using Field = std::pair<std::string, std::variant<std::uint64_t, std::string>>;
    const std::vector<Field> expected{
        {"physical_tile", physical_tile}, {"load_base", load_base}, {"image_bytes", image_bytes}};
    EXPECT_EQ(event.fields, expected);
}

TEST(TileImage, MinimalPackage) {
    const Application app = testing::populated_application();
    EventRecorder recorder;
    const auto image = app.tile_image(0);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(*image, (Bytes{1, 2, 3, 4, 0, 0, 0, 0}));
    expect_reconstruction_event(recorder.events, 0, "0x4c000", 8);
}

TEST(TileImage, LaysOutSegments) {
    struct Case {
        const char* name;
        std::vector<Segment> segments;
        std::string load_base;
        std::size_t size;
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes; // every other byte is 0
    };
    const std::vector<Case> cases = {
        {"data shorter than the segment",
         {segment(0x4c000, 8, {1, 2, 3, 4})},
         "0x4c000",
         8,
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}}},
        {"data filling the segment", {segment(0x4c000, 2, {5, 6})}, "0x4c000", 2, {{0, 5}, {1, 6}}},
        {"gap between segments",
         {segment(0x4c000, 4, {0xaa}), segment(0x4c010, 2, {0xbb, 0xcc})},
         "0x4c000",
         0x12,
         {{0, 0xaa}, {0x10, 0xbb}, {0x11, 0xcc}}},
        {"gap, higher segment listed first",
         {segment(0x4c010, 2, {0xbb, 0xcc}), segment(0x4c000, 4, {0xaa})},
         "0x4c000",
         0x12,
         {{0, 0xaa}, {0x10, 0xbb}, {0x11, 0xcc}}},
        {"empty segment sets the base",
         {segment(0x4d000, 4, {0x11, 0x22, 0x33, 0x44}), segment(0x4c000, 0)},
         "0x4c000",
         0x1004,
         {{0x1000, 0x11}, {0x1001, 0x22}, {0x1002, 0x33}, {0x1003, 0x44}}},
        {"empty segment stretches the end",
         {segment(0x4c000, 4, {7}), segment(0x4c100, 0)},
         "0x4c000",
         0x100,
         {{0, 7}}},
        {"only empty segments", {segment(0x4c010, 0), segment(0x4c000, 0)}, "0x4c000", 0x10, {}},
        {"one empty segment", {segment(0x4c000, 0)}, "0x4c000", 0, {}},
        {"later data wins where segments overlap",
         {segment(0x4c000, 4, {1, 1, 1, 1}), segment(0x4c002, 4, {2, 2})},
         "0x4c000",
         6,
         {{0, 1}, {1, 1}, {2, 2}, {3, 2}}},
        {"outside the window", {segment(0x10, 2, {1}), segment(0, 1, {9})}, "0x0", 0x12, {{0, 9}, {0x10, 1}}},
        {"ending at the top of the address space",
         {segment(0xffffff00, 0xff, {0xee})},
         "0xffffff00",
         0xff,
         {{0, 0xee}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes expected(c.size, 0);
        for (const auto& [offset, value] : c.bytes) {
            expected[offset] = value;
        }
        const Application app = tile_nine(c.segments);
        EventRecorder recorder;
        const auto image = app.tile_image(9);
        ASSERT_TRUE(image) << image.error();
        EXPECT_EQ(*image, expected);
        expect_reconstruction_event(recorder.events, 9, c.load_base, c.size);
    }
}

TEST(TileImage, UsesTheFirstTileWithTheNumber) {
    Application app = tile_nine({segment(0x4c000, 2, {1, 2})});
    app.tiles.insert(app.tiles.begin(), TileImage{.physical_tile = 4,
                                                  .entry_point = 0,
                                                  .command_address = 0,
                                                  .diagnostic_address = 0,
                                                  .segments = {segment(0x50000, 1, {4})}});
    app.tiles.push_back(app.tiles.back());
    app.tiles.back().segments = {segment(0x60000, 1, {3})};
    const auto image = app.tile_image(9);
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(*image, (Bytes{1, 2}));
}

TEST(TileImage, RefusesWithoutEvent) {
    Application empty_first = tile_nine({});
    empty_first.tiles.push_back(tile_nine({segment(0x4c000, 1)}).tiles.front());
    struct Case {
        const char* name;
        Application app;
        std::uint32_t tile;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"unknown tile", testing::populated_application(), 5, "unknown tile 5"},
        {"unknown highest tile number", testing::populated_application(), 0xffffffff,
         "unknown tile 4294967295"},
        {"tile without segments", tile_nine({}), 9, "tile has no loadable segments"},
        {"first tile of the number without segments", empty_first, 9, "tile has no loadable segments"},
        {"segment end beyond 32 bits", tile_nine({segment(0x4c000, 4), segment(0xfffffff0, 0x10)}), 9,
         "malformed segment on tile 9: address=0xfffffff0 memory_size=16 data_size=0"},
        {"data reaching past the image", tile_nine({segment(0x4c000, 2, {1, 2, 3})}), 9,
         "malformed segment on tile 9: address=0x4c000 memory_size=2 data_size=3"},
        {"data longer than its segment, inside the image",
         tile_nine({segment(0x4c010, 4), segment(0x4c000, 2, {1, 2, 3})}), 9,
         "malformed segment on tile 9: address=0x4c000 memory_size=2 data_size=3"},
        {"data in a segment of size 0", tile_nine({segment(0x4c000, 0, {1})}), 9,
         "malformed segment on tile 9: address=0x4c000 memory_size=0 data_size=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventRecorder recorder;
        const auto image = c.app.tile_image(c.tile);
        ASSERT_FALSE(image);
        ASSERT_EQ(image.error().kind(), PackageError::Kind::Invalid);
        EXPECT_EQ(std::get<PackageError::Invalid>(image.error().value).message, c.message);
        EXPECT_TRUE(recorder.events.empty());
    }
}

} // namespace
} // namespace tarn_package
