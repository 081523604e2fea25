#include <gtest/gtest.h>

#include <tarn_package/json.hpp>

#include <limits>
#include <string>
#include <vector>

#include "fixtures.hpp"

namespace tarn_package {
namespace {

constexpr auto u64_max = std::numeric_limits<std::uint64_t>::max();
constexpr auto u32_max = std::numeric_limits<std::uint32_t>::max();

// The populated package with at least two elements of every list, every enumerant, and the
// extreme values of both number widths, so that a converter that drops, reorders, truncates or
// swaps anything shows.
Application every_record_application() {
    Application app = testing::populated_application();
    app.compiler_version = "toolchain 2.3 \xc3\xa9\"quoted\"";
    TileImage second = app.tiles.front();
    second.physical_tile = u32_max;
    second.segments.push_back(
        Segment{.address = 0x4d000, .memory_size = u32_max, .data = {}, .flags = u32_max});
    second.segments.front().data = {0x00, 0xff, 0x80, 0x7f, 0x3e};
    app.tiles.push_back(second);
    const RegionSlice big{.tile = 1, .tile_address = 0x4c100, .file_offset = u64_max, .size = u64_max - 1};
    app.inputs.push_back(Binding{.name = "in", .dtype = "f16", .shape = {2, u32_max}, .slices = {big, big}});
    app.outputs.push_back(Binding{.name = "out", .dtype = "u8", .shape = {}, .slices = {}});
    app.weights.push_back(Binding{.name = "w", .dtype = "bf16", .shape = {1}, .slices = {big}});
    app.host_exchange.command_offset = u64_max;
    app.host_exchange.pages.push_back(HostPage{.index = 7, .size = u64_max});
    app.host_exchange.attach_order = {1, 0, 1};
    app.host_exchange.calls.push_back(app.host_exchange.calls.front());
    app.host_exchange.calls.back().name = "";
    app.entry_points = {EntryPoint{.name = "main", .command = 1, .external_syncs = 2},
                        EntryPoint{.name = "", .command = u32_max, .external_syncs = 0}};
    app.device_config_writes.push_back(DeviceConfigWrite{.offset = 0, .value = 0});
    ProfileStep step = testing::populated_step();
    app.profile_tiles.front().steps.push_back(step);
    for (const auto kind :
         {ProfileStepKind::Exchange, ProfileStepKind::Synchronization, ProfileStepKind::Idle}) {
        step.kind = kind;
        step.exchange_activities.push_back(ProfileExchangeActivity{
            .kind = ProfileExchangeActivityKind::Send, .start_cycle = u32_max, .end_cycle = 0});
        app.profile_tiles.front().steps.push_back(step);
    }
    app.profile_tiles.push_back(TileProfilePlan{.physical_tile = 9, .steps = {}});
    app.debug_symbols.push_back(DebugSymbol{.name = "a", .address = u32_max});
    app.debug_regions.push_back(DebugRegion{.physical_tile = 1, .address = 1, .size = 2, .name = "r"});
    return app;
}

ProfileReport every_record_report() {
    const Application app = every_record_application();
    ProfileReport report{.clock_hz = u64_max, .tiles = {}};
    std::uint32_t cycle = u32_max - 2;
    for (const auto& plan : app.profile_tiles) {
        TileProfile tile{.physical_tile = plan.physical_tile, .samples = {}};
        for (const auto& step : plan.steps) {
            tile.samples.push_back(CycleSample{.step = step, .start_cycle = cycle, .end_cycle = cycle + 5});
            cycle += 5; // wraps past zero: end below start
        }
        report.tiles.push_back(tile);
    }
    return report;
}

// Through text and back, as `dump` and `pack` do it.
Result<Json> through_text(const Json& document) {
    const auto text = json_text(document);
    if (!text) {
        return std::unexpected(text.error());
    }
    return parse_json(*text);
}

std::vector<std::string> keys_of(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    return keys;
}

TEST(ApplicationJson, RoundTripsEveryRecordInBothDataForms) {
    const Application app = every_record_application();
    for (const auto data : {JsonData::Base64, JsonData::Hex}) {
        SCOPED_TRACE(static_cast<int>(data));
        const auto document = through_text(application_to_json(app, data));
        ASSERT_TRUE(document) << document.error().what();
        const auto back = application_from_json(*document, data);
        ASSERT_TRUE(back) << back.error().what();
        EXPECT_EQ(*back, app);
    }
}

TEST(ApplicationJson, KeepsFieldOrderNamesAndExactNumbers) {
    const Json document = application_to_json(every_record_application());
    EXPECT_EQ(keys_of(document),
              (std::vector<std::string>{"compiler_version", "tiles", "inputs", "outputs", "weights",
                                        "host_exchange", "entry_points", "device_config_writes",
                                        "profile_tiles", "debug_symbols", "debug_regions"}));
    EXPECT_EQ(keys_of(document["tiles"][0]["segments"][0]),
              (std::vector<std::string>{"address", "memory_size", "data", "flags"}));
    EXPECT_EQ(keys_of(document["host_exchange"]["calls"][0]),
              (std::vector<std::string>{"name", "command", "phases", "inputs", "outputs", "invocations",
                                        "input_batch_ends", "output_batch_ends"}));
    const Json& step = document["profile_tiles"][0]["steps"][0];
    EXPECT_EQ(step["kind"], "Compute");
    EXPECT_EQ(step["exchange_activities"][1]["kind"], "PartnerBusy");
    EXPECT_EQ(document["tiles"][1]["segments"][0]["data"], "AP+Afz4=");
    EXPECT_EQ(document["device_config_writes"][0]["value"], 0xc000000du);

    const auto text = json_text(document);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\"file_offset\": 18446744073709551615,"), std::string::npos);
    EXPECT_NE(text->find("\"size\": 18446744073709551614\n"), std::string::npos);
}

TEST(ApplicationJson, DataFormsAndOmission) {
    const Application app = testing::minimal_application();
    EXPECT_EQ(application_to_json(app, JsonData::Hex)["tiles"][0]["segments"][0]["data"], "01020304");
    const Json omitted = application_to_json(app, JsonData::Omit);
    EXPECT_EQ(keys_of(omitted["tiles"][0]["segments"][0]),
              (std::vector<std::string>{"address", "memory_size", "flags"}));
    const auto back = application_from_json(omitted);
    ASSERT_FALSE(back);
    EXPECT_EQ(back.error().what(), "Invalid: tiles[0].segments[0].data: missing key");
    const auto refused = application_from_json(application_to_json(app), JsonData::Omit);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().what(), "Invalid: tiles[0].segments[0].data: segment data cannot be omitted");
}

TEST(ApplicationJson, NumbersBuiltInCodeAsSignedIntegersAreAccepted) {
    Json document = application_to_json(testing::minimal_application());
    document["tiles"][0]["physical_tile"] = 3; // an int: stored as a signed number
    document["tiles"][0]["entry_point"] = std::int64_t{-3};
    auto back = application_from_json(document);
    ASSERT_FALSE(back);
    EXPECT_EQ(back.error().what(),
              "Invalid: tiles[0].entry_point: expected an unsigned 32-bit integer, got -3");
    document["tiles"][0]["entry_point"] = 0x4c000;
    back = application_from_json(document);
    ASSERT_TRUE(back) << back.error().what();
    EXPECT_EQ(back->tiles[0].physical_tile, 3u);
}

// One mutation of the minimal package's JSON text per case: the path and reason must show.
TEST(ApplicationJson, RefusesBrokenDocumentsNamingThePath) {
    const struct {
        std::string_view name;
        std::string_view pointer; // the value replaced, or removed when `value` is empty
        std::string_view value;   // JSON text
        std::string_view error;
    } cases[] = {
        {"unknown key at the root", "/bogus", "1", "bogus: unknown key"},
        {"misspelt segment key", "/tiles/0/segments/0/memory_sise", "8",
         "tiles[0].segments[0].memory_sise: unknown key"},
        {"missing flags", "/tiles/0/segments/0/flags", "", "tiles[0].segments[0].flags: missing key"},
        {"missing host exchange", "/host_exchange", "", "host_exchange: missing key"},
        {"text for a number", "/tiles/0/physical_tile", "\"0\"",
         "tiles[0].physical_tile: expected an unsigned 32-bit integer, got a string"},
        {"negative number", "/tiles/0/segments/0/memory_size", "-1",
         "tiles[0].segments[0].memory_size: expected an unsigned 32-bit integer, got -1"},
        {"fraction", "/tiles/0/segments/0/memory_size", "8.5",
         "tiles[0].segments[0].memory_size: expected an unsigned 32-bit integer, got 8.5"},
        {"whole number written as a float", "/tiles/0/entry_point", "1e3",
         "tiles[0].entry_point: expected an unsigned 32-bit integer, got 1000.0"},
        {"above 32 bits", "/tiles/0/segments/0/address", "4294967296",
         "tiles[0].segments[0].address: expected an unsigned 32-bit integer, got 4294967296"},
        {"above 64 bits", "/host_exchange/command_offset", "18446744073709551616",
         "host_exchange.command_offset: expected an unsigned 64-bit integer, got 1.8446744073709552e+19"},
        {"boolean", "/host_exchange/startup_mark", "true",
         "host_exchange.startup_mark: expected an unsigned 32-bit integer, got a boolean"},
        {"null for a text", "/compiler_version", "null", "compiler_version: expected a string, got a null"},
        {"object for a list", "/tiles", "{}", "tiles: expected an array, got an object"},
        {"number for a record", "/host_exchange", "0", "host_exchange: expected an object, got 0"},
        {"bad list element", "/host_exchange/attach_order", "[0, \"1\"]",
         "host_exchange.attach_order[1]: expected an unsigned 32-bit integer, got a string"},
        {"bad base64", "/tiles/0/segments/0/data", "\"AQID*A==\"",
         "tiles[0].segments[0].data: invalid base64 character at offset 4"},
        {"unknown step kind", "/profile_tiles/0/steps/0/kind", "\"compute\"",
         "profile_tiles[0].steps[0].kind: expected one of Exchange, Compute, Synchronization, Idle, got "
         "\"compute\""},
        {"unknown activity kind", "/profile_tiles/0/steps/0/exchange_activities/1/kind", "2",
         "profile_tiles[0].steps[0].exchange_activities[1].kind: expected a string, got 2"},
        {"deep slice", "/host_exchange/calls/0/outputs/0/size", "-16",
         "host_exchange.calls[0].outputs[0].size: expected an unsigned 64-bit integer, got -16"},
        {"not an object", "", "[]", "document: expected an object, got an array"},
    };
    const Json valid = application_to_json(testing::populated_application());
    ASSERT_TRUE(application_from_json(valid));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json document = valid;
        const Json::json_pointer pointer{std::string(c.pointer)};
        if (c.value.empty()) {
            document.at(pointer.parent_pointer()).erase(pointer.back());
        } else {
            document[pointer] = *parse_json(c.value);
        }
        const auto back = application_from_json(*through_text(document));
        ASSERT_FALSE(back);
        EXPECT_EQ(back.error().kind(), PackageError::Kind::Invalid);
        EXPECT_EQ(back.error().what(), "Invalid: " + std::string(c.error));
    }
}

TEST(ProfileReportJson, RoundTripsEveryRecord) {
    const ProfileReport report = every_record_report();
    const Json document = profile_report_to_json(report);
    EXPECT_EQ(keys_of(document), (std::vector<std::string>{"clock_hz", "tiles"}));
    EXPECT_EQ(keys_of(document["tiles"][0]["samples"][0]),
              (std::vector<std::string>{"step", "start_cycle", "end_cycle"}));
    const auto text = json_text(document);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\"clock_hz\": 18446744073709551615,"), std::string::npos);
    const auto back = profile_report_from_json(*parse_json(*text));
    ASSERT_TRUE(back) << back.error().what();
    EXPECT_EQ(*back, report);
}

TEST(ProfileReportJson, RefusesBrokenDocumentsNamingThePath) {
    Json document = profile_report_to_json(every_record_report());
    document["tiles"][0]["samples"][1]["step"]["exchange_activities"][0]["kind"] = "Partnerbusy";
    auto back = profile_report_from_json(document);
    ASSERT_FALSE(back);
    EXPECT_EQ(back.error().what(),
              "Invalid: tiles[0].samples[1].step.exchange_activities[0].kind: expected one "
              "of Send, Receive, PartnerBusy, got \"Partnerbusy\"");
    document = profile_report_to_json(every_record_report());
    document["tiles"][1].erase("samples");
    back = profile_report_from_json(document);
    ASSERT_FALSE(back);
    EXPECT_EQ(back.error().what(), "Invalid: tiles[1].samples: missing key");
}

TEST(JsonText, RefusesSyntaxErrorsAndRepeatedKeys) {
    const auto broken = parse_json("{\"tiles\": [1, 2,]}");
    ASSERT_FALSE(broken);
    EXPECT_TRUE(broken.error().what().starts_with("Invalid: json: parse error at line 1, column 17"))
        << broken.error().what();
    const auto repeated = parse_json(R"({"a": {"b": 1, "c": {"b": 2}, "b": 3}})");
    ASSERT_FALSE(repeated);
    EXPECT_EQ(repeated.error().what(), "Invalid: json: duplicate key \"b\"");
    EXPECT_TRUE(parse_json(R"({"a": {"b": 1}, "b": {"b": 2}})"));
    const auto invalid_utf8 = parse_json("{\"a\": \"\xff\"}");
    ASSERT_FALSE(invalid_utf8);
    EXPECT_TRUE(invalid_utf8.error().what().starts_with("Invalid: json: parse error"))
        << invalid_utf8.error().what();
}

TEST(JsonText, RefusesTextThatIsNotUtf8) {
    Application app = testing::minimal_application();
    app.compiler_version = "bad \xff";
    const auto text = json_text(application_to_json(app));
    ASSERT_FALSE(text);
    EXPECT_TRUE(text.error().what().starts_with("Invalid: json: invalid UTF-8 byte at index 4"))
        << text.error().what();
}

} // namespace
} // namespace tarn_package
