#include <gtest/gtest.h>

#include <tarn_package/fields.hpp>
#include <tarn_package/json.hpp>

#include <string>

#include "distinct_records.hpp"

namespace tarn_package {
namespace {

using testing::distinct_record;

template <DescribedRecord Record>
void expect_keys_in_table_order(const Json& object) {
    ASSERT_TRUE(object.is_object());
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    std::vector<std::string> names;
    for_each_field<Record>([&](const auto& field) { names.emplace_back(field.name); });
    EXPECT_EQ(keys, names) << RecordFields<Record>::name;
}

// Each field reaches the JSON form under its name and comes back: a field that is dumped or
// read wrong changes the document or breaks the round trip.
template <DescribedRecord Record, class ToJson, class FromJson>
void expect_every_field_round_trips(ToJson to_json, FromJson from_json) {
    const Record record = distinct_record<Record>(1000);
    const Json document = to_json(record);
    EXPECT_EQ(from_json(document), record);
    for_each_field<Record>([&](const auto& field) {
        SCOPED_TRACE(std::string(field.name));
        Record changed = record;
        field.get(changed) = field.get(distinct_record<Record>(2001));
        const Json changed_document = to_json(changed);
        EXPECT_NE(changed_document, document);
        EXPECT_EQ(from_json(changed_document), changed);
    });
}

TEST(JsonFieldTables, ApplicationKeysFollowTheTablesAtEveryLevel) {
    const Json document = application_to_json(distinct_record<Application>(1));
    expect_keys_in_table_order<Application>(document);
    expect_keys_in_table_order<TileImage>(document["tiles"][0]);
    expect_keys_in_table_order<Segment>(document["tiles"][0]["segments"][0]);
    expect_keys_in_table_order<Binding>(document["inputs"][0]);
    expect_keys_in_table_order<RegionSlice>(document["inputs"][0]["slices"][0]);
    expect_keys_in_table_order<HostExchange>(document["host_exchange"]);
    expect_keys_in_table_order<HostPage>(document["host_exchange"]["pages"][0]);
    expect_keys_in_table_order<HostCall>(document["host_exchange"]["calls"][0]);
    expect_keys_in_table_order<HostSlice>(document["host_exchange"]["calls"][0]["inputs"][0]);
    expect_keys_in_table_order<EntryPoint>(document["entry_points"][0]);
    expect_keys_in_table_order<DeviceConfigWrite>(document["device_config_writes"][0]);
    expect_keys_in_table_order<TileProfilePlan>(document["profile_tiles"][0]);
    expect_keys_in_table_order<ProfileStep>(document["profile_tiles"][0]["steps"][0]);
    expect_keys_in_table_order<ProfileMetadata>(document["profile_tiles"][0]["steps"][0]["metadata"][0]);
    expect_keys_in_table_order<ProfileExchangeActivity>(
        document["profile_tiles"][0]["steps"][0]["exchange_activities"][0]);
    expect_keys_in_table_order<DebugSymbol>(document["debug_symbols"][0]);
    expect_keys_in_table_order<DebugRegion>(document["debug_regions"][0]);
}

TEST(JsonFieldTables, ReportKeysFollowTheTablesAtEveryLevel) {
    const Json document = profile_report_to_json(distinct_record<ProfileReport>(1));
    expect_keys_in_table_order<ProfileReport>(document);
    expect_keys_in_table_order<TileProfile>(document["tiles"][0]);
    expect_keys_in_table_order<CycleSample>(document["tiles"][0]["samples"][0]);
    expect_keys_in_table_order<ProfileStep>(document["tiles"][0]["samples"][0]["step"]);
}

TEST(JsonFieldTables, EveryApplicationFieldRoundTrips) {
    for (const auto data : {JsonData::Base64, JsonData::Hex}) {
        expect_every_field_round_trips<Application>(
            [&](const Application& app) { return application_to_json(app, data); },
            [&](const Json& document) { return application_from_json(document, data).value(); });
    }
}

TEST(JsonFieldTables, EveryReportFieldRoundTrips) {
    expect_every_field_round_trips<ProfileReport>(
        [](const ProfileReport& report) { return profile_report_to_json(report); },
        [](const Json& document) { return profile_report_from_json(document).value(); });
}

} // namespace
} // namespace tarn_package
