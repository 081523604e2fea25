// What a message can make the reader do: traversal bounded by the message's own size, segment
// tables that claim more than the input holds, alignment of the input, truncated and corrupted
// messages, and messages beyond the runtime's default size limit.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <capnp/any.h>
#include <tarn_package/reader_options.hpp>

#include "application.capnp.h"
#include "fixtures.hpp"
#include "message_tools.hpp"

// The replacements below pair malloc with free; the compiler cannot see that through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// The largest single allocation since the last reset, to show that the reader sizes nothing
// from a segment table's claims and parses aligned input in place.
namespace {
std::atomic<std::size_t> largest_allocation{0};
} // namespace

void* operator new(std::size_t size) {
    std::size_t seen = largest_allocation.load(std::memory_order_relaxed);
    while (size > seen && !largest_allocation.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace tarn_package {
namespace {

namespace wire = schema::application;
using capnp::AnyStruct;
using Clock = std::chrono::steady_clock;

constexpr std::size_t max_list_elements = (std::size_t{1} << 29) - 1;

/// The largest allocation made by `body`.
template <class Body>
std::size_t largest_allocation_of(Body&& body) {
    largest_allocation.store(0);
    body();
    return largest_allocation.load();
}

/// Seconds taken by `body`.
template <class Body>
double seconds_of(Body&& body) {
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <class T>
void expect_capnp_fault(const Result<T>& result) {
    ASSERT_FALSE(result) << "succeeded unexpectedly";
    EXPECT_EQ(result.error().kind(), PackageError::Kind::Capnp) << result.error();
}

/// A package with `tiles` tiles, each filled with `segment_bytes` bytes of one segment.
Application filled_application(std::uint32_t tiles, std::uint32_t segment_bytes) {
    Application app;
    for (std::uint32_t tile = 0; tile < tiles; ++tile) {
        std::vector<std::uint8_t> data(segment_bytes);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>(i * 31 + tile);
        }
        app.tiles.push_back(TileImage{
            .physical_tile = tile,
            .entry_point = 0x4c000,
            .command_address = 0,
            .diagnostic_address = 0,
            .segments = {Segment{
                .address = 0x4c000, .memory_size = segment_bytes, .data = std::move(data), .flags = tile}}});
    }
    return app;
}

std::uint32_t load_u32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

TEST(MessageLimits, TraversalLimitIsAMultipleOfTheMessagePlusAFloor) {
    const std::vector<std::pair<std::size_t, std::uint64_t>> cases = {
        {0, 1024},
        {1, 1026},
        {10'000'000, 20'001'024},
        {std::numeric_limits<std::size_t>::max(), std::numeric_limits<std::uint64_t>::max()},
    };
    for (const auto& [words, limit] : cases) {
        SCOPED_TRACE(words);
        const capnp::ReaderOptions options = capnp_reader_options(words);
        EXPECT_EQ(options.traversalLimitInWords, limit);
        EXPECT_EQ(options.nestingLimit, 64);
    }
}

/// The minimal package's message with its entry points replaced by `count` empty structs.
std::vector<std::uint8_t> with_empty_entry_points(std::size_t count) {
    testing::EditableMessage message(testing::written(testing::minimal_application()));
    message.raw_root().getPointerSection()[7].initAsListOfAnyStruct(0, 0, static_cast<unsigned>(count));
    return message.bytes();
}

TEST(MessageLimits, ListsOfEmptyStructsReadOnlyUpToTheLimit) {
    const auto small = Application::read(with_empty_entry_points(500));
    ASSERT_TRUE(small) << small.error();
    EXPECT_EQ(small->entry_points.size(), 500u);

    // Without a limit this message of a few hundred bytes would make the reader build half a
    // billion entry points.
    const auto amplified = with_empty_entry_points(max_list_elements);
    EXPECT_LT(amplified.size(), 1024u);
    double seconds = 0;
    EXPECT_LT(largest_allocation_of(
                  [&] { seconds = seconds_of([&] { expect_capnp_fault(Application::read(amplified)); }); }),
              64u << 10);
    EXPECT_LT(seconds, 1.0);
}

/// A valid header and one empty tile, then `count` entry points whose names all point to the one
/// text of `text_bytes` bytes held by the first.
std::vector<std::uint8_t> with_shared_entry_point_name(unsigned count, std::size_t text_bytes) {
    // One segment, so that every pointer can reach the text.
    capnp::MallocMessageBuilder builder(
        static_cast<unsigned>(text_bytes / sizeof(capnp::word) + 4 * count + 1024));
    auto root = builder.initRoot<wire::Application>();
    root.setSchemaVersion(5);
    root.setTarget("tarn21");
    root.setTileMemoryBase(0x4c000);
    root.setTileMemorySize(0x9c000);
    root.initTiles(1);
    auto entries = root.initEntryPoints(count);
    const std::string name(text_bytes, 'n');
    entries[0].setName(name);
    const auto* text = reinterpret_cast<const kj::byte*>(entries[0].getName().begin());
    for (unsigned i = 1; i < count; ++i) {
        // The name pointer follows the entry's one data word. A list pointer: offset in words
        // from the end of the pointer in bits 2 to 31, byte elements, the count with the NUL.
        kj::byte* pointer = AnyStruct::Builder(entries[i]).getDataSection().end();
        const auto offset = static_cast<std::int32_t>((text - (pointer + 8)) / 8);
        const std::uint64_t word = (std::uint64_t{text_bytes + 1} << 35) | (std::uint64_t{2} << 32) |
                                   static_cast<std::uint32_t>(offset * 4 + 1);
        std::memcpy(pointer, &word, sizeof word);
    }
    return testing::message_bytes(builder);
}

TEST(MessageLimits, PointersSharingOneTextReadOnlyUpToTheLimit) {
    const auto few = Application::read(with_shared_entry_point_name(2, 64));
    ASSERT_TRUE(few) << few.error();
    EXPECT_EQ(few->entry_points.at(1).name, std::string(64, 'n'));

    // Without a limit reading these 1 MiB would build 4 GiB of names.
    const auto amplified = with_shared_entry_point_name(4096, 1 << 20);
    EXPECT_LT(amplified.size(), std::size_t{2} << 20);
    const double seconds = seconds_of([&] { expect_capnp_fault(Application::read(amplified)); });
    EXPECT_LT(seconds, 1.0);
}

TEST(MessageLimits, SegmentTableClaimingMoreThanTheInputIsRefusedWithoutAllocatingIt) {
    const auto valid = testing::written(testing::minimal_application());
    std::vector<std::uint8_t> huge_segment = valid;
    huge_segment[4] = huge_segment[5] = huge_segment[6] = huge_segment[7] = 0xff;
    std::vector<std::uint8_t> too_many_segments = valid;
    too_many_segments[0] = too_many_segments[1] = too_many_segments[2] = too_many_segments[3] = 0xff;
    std::vector<std::uint8_t> most_segments(4096, 0);
    most_segments[0] = 0xff; // 256 segments of 0 words: a valid table, but no root
    most_segments[1] = 0x00;
    std::vector<std::uint8_t> huge_segments(4096, 0xff);
    huge_segments[0] = 0xff; // 256 segments of 2^32 - 1 words each
    huge_segments[1] = 0x00;
    huge_segments[2] = huge_segments[3] = 0x00;
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases = {
        {"one segment of 2^32 - 1 words", huge_segment},
        {"2^32 segments", too_many_segments},
        {"256 empty segments", most_segments},
        {"256 segments of 2^32 - 1 words", huge_segments},
    };
    for (const auto& [name, input] : cases) {
        SCOPED_TRACE(name);
        EXPECT_LT(largest_allocation_of([&] { expect_capnp_fault(Application::read(input)); }), 64u << 10);
        std::istringstream stream(std::string(input.begin(), input.end()));
        EXPECT_LT(largest_allocation_of([&] { expect_capnp_fault(Application::read(stream)); }), 256u << 10);
    }
}

TEST(MessageLimits, AlignedSpanIsReadInPlaceAndOtherInputsFromACopy) {
    const Application app = filled_application(6, 0x40000);
    const auto bytes = testing::written(app);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(bytes.data()) % 8, 0u);
    std::vector<std::uint8_t> shifted = {0};
    shifted.insert(shifted.end(), bytes.begin(), bytes.end());
    std::istringstream stream(std::string(bytes.begin(), bytes.end()));

    Result<Application> aligned = std::unexpected(PackageError::invalid("not read"));
    Result<Application> unaligned = aligned;
    Result<Application> streamed = aligned;
    // The largest record is one segment's bytes, a sixth of the message.
    EXPECT_LT(largest_allocation_of([&] { aligned = Application::read(bytes); }), bytes.size() / 2);
    EXPECT_GE(largest_allocation_of([&] { unaligned = Application::read(std::span(shifted).subspan(1)); }),
              bytes.size());
    EXPECT_GE(largest_allocation_of([&] { streamed = Application::read(stream); }), bytes.size());
    for (const auto* result : {&aligned, &unaligned, &streamed}) {
        ASSERT_TRUE(*result) << result->error();
        EXPECT_EQ(**result, app);
    }
}

TEST(MessageLimits, ReadPackageOwnsEverything) {
    const Application app = testing::every_record_application();
    auto bytes = testing::written(app);
    const auto read = Application::read(bytes);
    std::fill(bytes.begin(), bytes.end(), 0xee);
    bytes.clear();
    bytes.shrink_to_fit();
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, app);
}

TEST(MessageLimits, EveryTruncatedMessageIsARuntimeFault) {
    const auto bytes = testing::written(testing::populated_application());
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        expect_capnp_fault(Application::read(std::span(bytes).first(size)));
        std::istringstream stream(
            std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
        expect_capnp_fault(Application::read(stream));
    }
}

TEST(MessageLimits, EveryBitFlipEndsInAResultOrAnError) {
    const auto valid = testing::written(testing::populated_application());
    std::size_t accepted = 0;
    std::size_t refused = 0;
    const double seconds = seconds_of([&] {
        for (std::size_t bit = 0; bit < valid.size() * 8; ++bit) {
            auto bytes = valid;
            bytes[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            const auto app = Application::read(bytes);
            ++(app ? accepted : refused);
        }
    });
    EXPECT_EQ(accepted + refused, valid.size() * 8);
    EXPECT_GT(accepted, 0u) << "flips of numbers and text bytes may still give a valid package";
    EXPECT_GT(refused, 0u);
    EXPECT_LT(seconds, 10.0);
}

TEST(MessageLimits, MessageBeyondTheRuntimeDefaultLimitReads) {
    // 110 tiles of 0x9c000 bytes: about 67 MiB, more than 8 Mi words.
    const Application app = filled_application(110, 0x9c000);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(app.write(bytes));
    EXPECT_GT(bytes.size(), std::size_t{64} << 20);
    EXPECT_GT(load_u32(bytes, 0), 0u) << "a message of several segments";
    const auto read = Application::read(bytes);
    ASSERT_TRUE(read) << read.error();
    EXPECT_TRUE(*read == app);
}

} // namespace
} // namespace tarn_package
