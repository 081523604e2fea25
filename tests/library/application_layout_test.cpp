// The stored layout of a package, checked without the schema: messages of the library's writer
// are taken apart by position, and messages made by hand with structs of other sizes are read.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <capnp/any.h>
#include <capnp/serialize.h>

#include "fixtures.hpp"
#include "message_tools.hpp"

namespace tarn_package {
namespace {

using capnp::AnyStruct;

/// A message of the writer, read without the schema.
class RawMessage {
  public:
    explicit RawMessage(const std::vector<std::uint8_t>& bytes)
        : words_(testing::aligned_words(bytes)), reader_(words_) {}

    AnyStruct::Reader root() { return reader_.getRoot<capnp::AnyPointer>().getAs<AnyStruct>(); }

  private:
    kj::Array<capnp::word> words_;
    capnp::FlatArrayMessageReader reader_;
};

AnyStruct::Reader child(AnyStruct::Reader parent, unsigned pointer) {
    return parent.getPointerSection()[pointer].getAs<AnyStruct>();
}

AnyStruct::Reader element(AnyStruct::Reader parent, unsigned pointer, unsigned index) {
    return parent.getPointerSection()[pointer].getAs<capnp::AnyList>().as<capnp::List<AnyStruct>>()[index];
}

capnp::AnyList::Reader list(AnyStruct::Reader parent, unsigned pointer) {
    return parent.getPointerSection()[pointer].getAs<capnp::AnyList>();
}

/// The little-endian number of `width` bytes (at most 8) at `offset`.
std::uint64_t load(kj::ArrayPtr<const kj::byte> data, std::size_t offset, std::size_t width) {
    EXPECT_LE(width, 8u);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= std::uint64_t{data[offset + i]} << (8 * i);
    }
    return value;
}

/// A data field as stored: its first byte, its width in bytes and its stored bits.
struct StoredField {
    std::size_t offset;
    std::size_t width;
    std::uint64_t stored;
};

struct StructCase {
    std::string name;
    std::function<AnyStruct::Reader(AnyStruct::Reader)> reach;
    std::size_t data_words;
    std::size_t pointers;
    std::vector<StoredField> fields;
    std::vector<std::pair<std::size_t, std::size_t>> unused; // [first, last) bytes written as zero
};

// Distinct values wherever the layout could be confused.
Application layout_application() {
    Application app = testing::every_record_application();
    app.host_exchange.startup_mark = 0x71;
    app.host_exchange.command_page = 1;
    app.host_exchange.command_offset = 0x72;
    app.profile_tiles.front().physical_tile = 9;
    app.profile_tiles.front().steps.front().epoch = 0x73;
    return app;
}

TEST(ApplicationLayout, EveryStructHasItsSizesAndFieldPositions) {
    const std::vector<StructCase> cases = {
        {"Application",
         [](auto root) { return root; },
         2,
         12,
         {{0, 4, 5}, {4, 4, 0x4c000}, {8, 4, 0x9c000}},
         {{12, 16}}},
        {"TileImage",
         [](auto root) { return element(root, 2, 1); },
         2,
         1,
         {{0, 4, 9}, {4, 4, 0x4d000}, {8, 4, 0x4d100}, {12, 4, 0x4d200}},
         {}},
        {"Segment",
         [](auto root) { return element(element(root, 2, 1), 0, 0); },
         2,
         1,
         {{0, 4, 0x4d000}, {4, 4, 0x100}, {8, 4, 1}},
         {{12, 16}}},
        {"Binding", [](auto root) { return element(root, 3, 0); }, 0, 4, {}, {}},
        {"RegionSlice",
         [](auto root) { return element(element(root, 3, 0), 3, 1); },
         3,
         0,
         {{0, 4, 9}, {4, 4, 0x4d010}, {8, 8, 0x21}, {16, 8, 0x22}},
         {}},
        {"HostExchange",
         [](auto root) { return child(root, 6); },
         2,
         3,
         {{0, 4, 0x71}, {4, 4, 1}, {8, 8, 0x72}},
         {}},
        {"HostPage",
         [](auto root) { return element(child(root, 6), 0, 1); },
         2,
         0,
         {{0, 4, 1}, {8, 8, 0x2000}},
         {{4, 8}}},
        {"HostCall",
         [](auto root) { return element(child(root, 6), 2, 0); },
         2,
         5,
         {{0, 4, 2}, {4, 4, 4}, {8, 4, 3 ^ 1}},
         {{12, 16}}},
        {"HostSlice",
         [](auto root) { return element(element(child(root, 6), 2, 0), 1, 1); },
         4,
         0,
         {{0, 4, 1}, {8, 8, 0x1000}, {16, 8, 0x10}, {24, 8, 0x10}},
         {{4, 8}}},
        {"EntryPoint", [](auto root) { return element(root, 7, 0); }, 1, 1, {{0, 4, 0x31}, {4, 4, 0x32}}, {}},
        {"DeviceConfigWrite",
         [](auto root) { return element(root, 8, 0); },
         1,
         0,
         {{0, 4, 0x4018}, {4, 4, 0xc000000d}},
         {}},
        {"TileProfilePlan", [](auto root) { return element(root, 9, 0); }, 1, 1, {{0, 4, 9}}, {{4, 8}}},
        {"ProfileStepPlan",
         [](auto root) { return element(element(root, 9, 0), 0, 0); },
         3,
         4,
         {{0, 4, 0}, {4, 4, 7}, {8, 4, 0x73}, {12, 2, 1}, {16, 4, 13}},
         {{14, 16}, {20, 24}}},
        {"ProfileMetadata",
         [](auto root) { return element(element(element(root, 9, 0), 0, 0), 2, 0); },
         0,
         2,
         {},
         {}},
        {"ProfileExchangeActivity",
         [](auto root) { return element(element(element(root, 9, 0), 0, 0), 3, 0); },
         2,
         0,
         {{0, 2, 1}, {4, 4, 3}, {8, 4, 11}},
         {{2, 4}, {12, 16}}},
        {"DebugSymbol", [](auto root) { return element(root, 10, 1); }, 1, 1, {{0, 4, 0x4d000}}, {{4, 8}}},
        {"DebugRegion",
         [](auto root) { return element(root, 11, 0); },
         2,
         1,
         {{0, 4, 0xffffffff}, {4, 4, 0x4c000}, {8, 4, 8}},
         {{12, 16}}},
    };
    RawMessage message(testing::written(layout_application()));
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const AnyStruct::Reader instance = test.reach(message.root());
        const auto data = instance.getDataSection();
        ASSERT_EQ(data.size(), test.data_words * 8);
        EXPECT_EQ(instance.getPointerSection().size(), test.pointers);
        for (const auto& field : test.fields) {
            SCOPED_TRACE(field.offset);
            EXPECT_EQ(load(data, field.offset, field.width), field.stored);
        }
        for (const auto& [first, last] : test.unused) {
            EXPECT_EQ(load(data, first, last - first), 0u) << "bytes " << first << " to " << last;
        }
    }
}

std::string text_bytes(capnp::AnyList::Reader list) {
    const auto bytes = list.getRawBytes();
    return std::string(bytes.begin(), bytes.end());
}

TEST(ApplicationLayout, PointersHoldTextsBytesAndNumberLists) {
    RawMessage message(testing::written(layout_application()));
    const auto root = message.root();
    const auto target = list(root, 1);
    EXPECT_EQ(target.getElementSize(), capnp::ElementSize::BYTE);
    EXPECT_EQ(target.size(), 7u);
    EXPECT_EQ(text_bytes(target), std::string("tarn21\0", 7));
    EXPECT_EQ(text_bytes(list(root, 0)), std::string("tarnc 2.4.1\0", 12));

    const auto data = list(element(element(root, 2, 1), 0, 0), 0);
    EXPECT_EQ(data.getElementSize(), capnp::ElementSize::BYTE);
    EXPECT_EQ(text_bytes(data), std::string("\x09\x08\x07", 3)) << "data has no terminator";

    const auto shape = list(element(root, 3, 0), 2);
    EXPECT_EQ(shape.getElementSize(), capnp::ElementSize::FOUR_BYTES);
    EXPECT_EQ(text_bytes(shape), std::string("\x01\0\0\0\x1c\0\0\0\x1c\0\0\0", 12));

    const auto call = element(child(root, 6), 2, 0);
    EXPECT_EQ(text_bytes(list(call, 0)), std::string("batched\0", 8));
    EXPECT_EQ(list(call, 1).size(), 2u) << "inputs";
    EXPECT_EQ(list(call, 2).size(), 1u) << "outputs";
    EXPECT_EQ(text_bytes(list(call, 3)), std::string("\x02\0\0\0", 4)) << "input batch ends";
    EXPECT_EQ(text_bytes(list(call, 4)), std::string("\x01\0\0\0", 4)) << "output batch ends";
    EXPECT_EQ(text_bytes(list(element(root, 11, 0), 0)), std::string("linked executable\0", 18));
}

TEST(ApplicationLayout, ObjectsLieInTheMessageInWritingOrder) {
    RawMessage message(testing::written(layout_application()));
    const auto root = message.root();
    const auto host = child(root, 6);
    const auto call = element(host, 2, 0);
    const auto step = element(element(root, 9, 0), 0, 0);
    const auto at = [](capnp::AnyList::Reader list) { return list.getRawBytes().begin(); };
    const auto first = [](AnyStruct::Reader parent, unsigned pointer) {
        return element(parent, pointer, 0).getDataSection().begin();
    };
    const std::vector<std::pair<std::string, const kj::byte*>> objects = {
        {"compiler version", at(list(root, 0))},
        {"target", at(list(root, 1))},
        {"tiles", first(root, 2)},
        {"first tile's segments", first(element(root, 2, 0), 0)},
        {"first segment's data", at(list(element(element(root, 2, 0), 0, 0), 0))},
        {"second tile's segments", first(element(root, 2, 1), 0)},
        {"inputs", first(root, 3)},
        {"input name", at(list(element(root, 3, 0), 0))},
        {"input dtype", at(list(element(root, 3, 0), 1))},
        {"input shape", at(list(element(root, 3, 0), 2))},
        {"input slices", first(element(root, 3, 0), 3)},
        {"outputs", first(root, 4)},
        {"weights", first(root, 5)},
        {"host exchange", host.getDataSection().begin()},
        {"pages", first(host, 0)},
        {"attach order", at(list(host, 1))},
        {"calls", first(host, 2)},
        {"call name", at(list(call, 0))},
        {"input batch ends", at(list(call, 3))},
        {"output batch ends", at(list(call, 4))},
        {"call inputs", first(call, 1)},
        {"call outputs", first(call, 2)},
        {"entry points", first(root, 7)},
        {"device configuration writes", first(root, 8)},
        {"profile tiles", first(root, 9)},
        {"steps", first(element(root, 9, 0), 0)},
        {"operation", at(list(step, 0))},
        {"kernel", at(list(step, 1))},
        {"metadata", first(step, 2)},
        {"metadata value", at(list(element(step, 2, 0), 1))},
        {"exchange activities", first(step, 3)},
        {"debug symbols", first(root, 10)},
        {"debug regions", first(root, 11)},
        {"debug region name", at(list(element(root, 11, 0), 0))},
    };
    for (std::size_t i = 1; i < objects.size(); ++i) {
        EXPECT_LT(objects[i - 1].second, objects[i].second)
            << objects[i - 1].first << " before " << objects[i].first;
    }
}

TEST(ApplicationLayout, EmptyTextsAndListsAreWrittenAsSetPointers) {
    Application app = testing::minimal_application();
    app.compiler_version.clear();
    RawMessage message(testing::written(app));
    const auto root = message.root();
    const auto pointers = root.getPointerSection();
    for (unsigned i = 0; i < pointers.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(pointers[i].isNull());
    }
    EXPECT_EQ(list(root, 0).size(), 1u) << "an empty text is its NUL byte alone";
    for (const unsigned empty_list : {3u, 4u, 5u, 7u, 8u, 9u, 10u, 11u}) {
        SCOPED_TRACE(empty_list);
        EXPECT_EQ(list(root, empty_list).size(), 0u);
    }
    const auto host = child(root, 6);
    EXPECT_EQ(load(host.getDataSection(), 0, 8), 0u);
    EXPECT_EQ(load(host.getDataSection(), 8, 8), 0u);
    for (unsigned i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(host.getPointerSection()[i].isNull());
        EXPECT_EQ(list(host, i).size(), 0u);
    }
}

TEST(ApplicationLayout, InvocationsAreStoredExclusiveOrOne) {
    for (const auto& [invocations, stored] : std::vector<std::pair<std::uint32_t, std::uint64_t>>{
             {1, 0}, {2, 3}, {3, 2}, {0xffffffff, 0xfffffffe}}) {
        SCOPED_TRACE(invocations);
        Application app = testing::populated_application();
        app.host_exchange.calls.front().invocations = invocations;
        RawMessage message(testing::written(app));
        EXPECT_EQ(load(element(child(message.root(), 6), 2, 0).getDataSection(), 8, 4), stored);
    }
}

TEST(ApplicationLayout, StepKindAndEventCyclesSitInTheSecondAndThirdWord) {
    Application app = testing::populated_application();
    app.profile_tiles.front().steps.front().kind = ProfileStepKind::Idle;
    RawMessage message(testing::written(app));
    const auto data = element(element(message.root(), 9, 0), 0, 0).getDataSection();
    EXPECT_EQ(load(data, 12, 2), 3u);
    EXPECT_EQ(load(data, 16, 4), 13u);
}

/// The populated package's message with its host call replaced by one of `data_words` words and
/// `pointers` pointers holding `command` 7 and `phases` 9 where they fit, and a name.
std::vector<std::uint8_t> with_host_call_of_size(std::uint16_t data_words, std::uint16_t pointers,
                                                 std::uint32_t stored_invocations) {
    testing::EditableMessage message(testing::written(testing::populated_application()));
    auto host = message.raw_root().getPointerSection()[6].getAs<AnyStruct>();
    auto call = host.getPointerSection()[2].initAsListOfAnyStruct(data_words, pointers, 1)[0];
    auto data = call.getDataSection();
    const std::uint32_t values[] = {7, 9, stored_invocations, 0xdead, 0xbeef, 0xf00d};
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<kj::byte>(values[i / 4] >> (8 * (i % 4)));
    }
    if (pointers > 0) {
        call.getPointerSection()[0].setAs<capnp::Text>("short");
    }
    return message.bytes();
}

TEST(ApplicationLayout, HostCallsOfAnySizeRead) {
    struct Case {
        std::string name;
        std::uint16_t data_words;
        std::uint16_t pointers;
        std::uint32_t command;
        std::uint32_t phases;
        std::string call_name;
    };
    const std::vector<Case> cases = {
        {"no data section and no pointers", 0, 0, 0, 0, ""},
        {"one data word", 1, 5, 7, 9, "short"},
        {"longer than written", 3, 7, 7, 9, "short"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const auto app = Application::read(with_host_call_of_size(test.data_words, test.pointers, 0));
        ASSERT_TRUE(app) << app.error();
        ASSERT_EQ(app->host_exchange.calls.size(), 1u);
        const HostCall& call = app->host_exchange.calls.front();
        EXPECT_EQ(call.command, test.command);
        EXPECT_EQ(call.phases, test.phases);
        EXPECT_EQ(call.invocations, 1u);
        EXPECT_EQ(call.name, test.call_name);
        EXPECT_TRUE(call.inputs.empty());
        EXPECT_TRUE(call.input_batch_ends.empty());
    }
}

TEST(ApplicationLayout, StoredOneReadsAsNoInvocations) {
    const auto app = Application::read(with_host_call_of_size(2, 5, 1));
    ASSERT_FALSE(app);
    EXPECT_EQ(app.error().what(), "Invalid: host call short has no invocations");
}

TEST(ApplicationLayout, RootsWithoutHeaderFieldsReadAsZeroAndAreRefused) {
    for (const std::uint16_t data_words : {std::uint16_t{0}, std::uint16_t{1}}) {
        SCOPED_TRACE(data_words);
        capnp::MallocMessageBuilder builder;
        auto root = builder.getRoot<capnp::AnyPointer>().initAsAnyStruct(data_words, 2);
        auto data = root.getDataSection();
        if (data_words == 1) {
            // Version 5 and the right base; the size lies beyond the data section and reads 0.
            const std::uint8_t header[] = {5, 0, 0, 0, 0x00, 0xc0, 0x04, 0x00};
            std::copy(std::begin(header), std::end(header), data.begin());
            root.getPointerSection()[1].setAs<capnp::Text>("tarn21");
        }
        const auto app = Application::read(testing::message_bytes(builder));
        ASSERT_FALSE(app);
        EXPECT_EQ(app.error().what(), "Invalid: incompatible package header");
    }
}

} // namespace
} // namespace tarn_package
