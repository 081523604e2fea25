#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures.hpp"

namespace tarn_package {
namespace {

using testing::populated_application;

TEST(Records, DefaultsAreEmptyAndZero) {
    const Application app;
    EXPECT_EQ(app.compiler_version, "0.1.0");
    EXPECT_TRUE(app.tiles.empty() && app.inputs.empty() && app.outputs.empty() && app.weights.empty());
    EXPECT_TRUE(app.entry_points.empty() && app.device_config_writes.empty() && app.profile_tiles.empty());
    EXPECT_TRUE(app.debug_symbols.empty() && app.debug_regions.empty());
    const HostExchange& host = app.host_exchange;
    EXPECT_EQ(host.startup_mark, 0u);
    EXPECT_EQ(host.command_page, 0u);
    EXPECT_EQ(host.command_offset, 0u);
    EXPECT_TRUE(host.pages.empty() && host.attach_order.empty() && host.calls.empty());
    EXPECT_EQ(app.validate().error().what(), "Invalid: application has no tiles");
}

TEST(Records, EnumerantNumbers) {
    EXPECT_EQ(static_cast<int>(ProfileStepKind::Exchange), 0);
    EXPECT_EQ(static_cast<int>(ProfileStepKind::Compute), 1);
    EXPECT_EQ(static_cast<int>(ProfileStepKind::Synchronization), 2);
    EXPECT_EQ(static_cast<int>(ProfileStepKind::Idle), 3);
    EXPECT_EQ(static_cast<int>(ProfileExchangeActivityKind::Send), 0);
    EXPECT_EQ(static_cast<int>(ProfileExchangeActivityKind::Receive), 1);
    EXPECT_EQ(static_cast<int>(ProfileExchangeActivityKind::PartnerBusy), 2);
}

TEST(Records, CopiesAreDeep) {
    const Application original = populated_application();
    Application copy = original;
    EXPECT_EQ(copy, original);
    copy.tiles[0].segments[0].data.push_back(9);
    copy.profile_tiles[0].steps[0].metadata[0].value = "changed";
    EXPECT_NE(copy, original);
    EXPECT_EQ(original, populated_application());
}

// Each mutation changes exactly one field somewhere in the tree; equality must notice it.
TEST(Records, EqualityLooksAtEveryKindOfField) {
    using Mutation = std::function<void(Application&)>;
    const std::vector<std::pair<const char*, Mutation>> mutations = {
        {"compiler version", [](Application& a) { a.compiler_version = "0.1.1"; }},
        {"segment flags", [](Application& a) { a.tiles[0].segments[0].flags = 6; }},
        {"segment data byte", [](Application& a) { a.tiles[0].segments[0].data[3] = 5; }},
        {"tile diagnostic address", [](Application& a) { a.tiles[0].diagnostic_address = 0; }},
        {"step exchange event cycles",
         [](Application& a) { a.profile_tiles[0].steps[0].exchange_event_cycles = 14; }},
        {"step kind", [](Application& a) { a.profile_tiles[0].steps[0].kind = ProfileStepKind::Idle; }},
        {"activity kind",
         [](Application& a) {
             a.profile_tiles[0].steps[0].exchange_activities[0].kind = ProfileExchangeActivityKind::Send;
         }},
        {"activities reordered",
         [](Application& a) {
             auto& activities = a.profile_tiles[0].steps[0].exchange_activities;
             std::swap(activities[0], activities[1]);
         }},
        {"metadata name case",
         [](Application& a) { a.profile_tiles[0].steps[0].metadata[0].name = "Reason"; }},
        {"debug symbols reordered",
         [](Application& a) {
             a.debug_symbols.push_back({"other", 1});
             std::swap(a.debug_symbols[0], a.debug_symbols[1]);
         }},
        {"startup mark", [](Application& a) { a.host_exchange.startup_mark = 2; }},
        {"attach order",
         [](Application& a) {
             a.host_exchange.attach_order = {1, 0};
         }},
        {"host slice file offset",
         [](Application& a) { a.host_exchange.calls[0].inputs[1].file_offset = 0x11; }},
        {"call command", [](Application& a) { a.host_exchange.calls[0].command = 3; }},
        {"batch ends",
         [](Application& a) {
             a.host_exchange.calls[0].input_batch_ends = {1, 2};
         }},
        {"entry point",
         [](Application& a) {
             a.entry_points.push_back({"main", 1, 0});
         }},
        {"config value", [](Application& a) { a.device_config_writes[0].value = 0; }},
        {"region name trailing space", [](Application& a) { a.debug_regions[0].name += ' '; }},
        {"binding dtype",
         [](Application& a) {
             a.weights.push_back({"w", "f32", {2}, {}});
         }},
    };
    const Application base = populated_application();
    for (const auto& [name, mutate] : mutations) {
        SCOPED_TRACE(name);
        Application changed = base;
        mutate(changed);
        EXPECT_NE(changed, base);
        EXPECT_FALSE(changed == base);
    }
}

TEST(Records, CycleSampleComparesItsWholeStep) {
    const CycleSample sample{.step = testing::populated_step(), .start_cycle = 1, .end_cycle = 2};
    CycleSample other = sample;
    EXPECT_EQ(other, sample);
    other.step.exchange_activities[1].end_cycle = 4;
    EXPECT_NE(other, sample);
    other = sample;
    other.end_cycle = 3;
    EXPECT_NE(other, sample);
}

TEST(Rendering, RecordsShowNamesAndFieldsInOrder) {
    const Segment segment{.address = 0x4c000, .memory_size = 8, .data = {1, 2, 0xab}, .flags = 5};
    EXPECT_EQ(to_string(segment),
              "Segment { address: 311296, memory_size: 8, data: <3 bytes: 01 02 ab>, flags: 5 }");
    EXPECT_EQ(to_string(ProfileExchangeActivity{ProfileExchangeActivityKind::PartnerBusy, 1, 3}),
              "ProfileExchangeActivity { kind: PartnerBusy, start_cycle: 1, end_cycle: 3 }");
    EXPECT_EQ(to_string(Binding{.name = "a\"b\n", .dtype = "", .shape = {2, 3}, .slices = {}}),
              "Binding { name: \"a\\\"b\\x0a\", dtype: \"\", shape: [2, 3], slices: [] }");
    EXPECT_EQ(to_string(ProfileStepKind::Synchronization), "Synchronization");

    std::ostringstream stream;
    stream << DebugSymbol{"kernel", 7};
    EXPECT_EQ(stream.str(), "DebugSymbol { name: \"kernel\", address: 7 }");
}

TEST(Rendering, LongByteStringsAreAbbreviated) {
    const Segment segment{
        .address = 0, .memory_size = 0, .data = std::vector<std::uint8_t>(1000, 0x7f), .flags = 0};
    const std::string text = to_string(segment);
    EXPECT_NE(text.find("<1000 bytes: 7f 7f"), std::string::npos);
    EXPECT_NE(text.find(" ...>"), std::string::npos);
    EXPECT_LT(text.size(), 200u);
}

TEST(Rendering, PackageRendersEveryFieldOnOneLine) {
    const std::string text = to_string(populated_application());
    EXPECT_EQ(text.find('\n'), std::string::npos);
    std::size_t position = 0;
    for (const char* field :
         {"compiler_version", "tiles", "inputs", "outputs", "weights", "host_exchange", "entry_points",
          "device_config_writes", "profile_tiles", "debug_symbols", "debug_regions"}) {
        SCOPED_TRACE(field);
        const auto found = text.find(std::string(field) + ": ", position);
        ASSERT_NE(found, std::string::npos);
        position = found;
    }
    EXPECT_NE(text.find("name: \"batched\""), std::string::npos);
    EXPECT_NE(text.find("TileProfilePlan { physical_tile: 0, steps: [ProfileStep { local_index: 0"),
              std::string::npos);
}

TEST(Rendering, ErrorsNameTheirVariant) {
    const std::vector<std::pair<PackageError, std::string>> cases = {
        {PackageError::invalid("application has no tiles"), "Invalid: application has no tiles"},
        {PackageError::Capnp{"FAILED", "message ends\nprematurely"},
         "Capnp: FAILED: message ends prematurely"},
        {PackageError::Utf8{12}, "Utf8: invalid UTF-8, valid up to byte 12"},
        {PackageError::SchemaEnum{4}, "SchemaEnum: enumerant number 4 is not in the schema"},
        {PackageError::Io{std::make_error_code(std::errc::no_such_file_or_directory), "open x"},
         "Io: open x: No such file or directory"},
    };
    for (const auto& [error, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(error.what(), expected);
        EXPECT_EQ(to_string(error), expected);
        std::ostringstream stream;
        stream << error;
        EXPECT_EQ(stream.str(), expected);
    }
    EXPECT_EQ(PackageError(PackageError::SchemaEnum{3}).kind(), PackageError::Kind::SchemaEnum);
    EXPECT_EQ(PackageError(PackageError::Utf8{0}).kind(), PackageError::Kind::Utf8);
}

} // namespace
} // namespace tarn_package
