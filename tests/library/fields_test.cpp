#include <gtest/gtest.h>

#include <tarn_package/fields.hpp>
#include <tarn_package/render.hpp>

#include <string>

#include "distinct_records.hpp"

namespace tarn_package {
namespace {

using testing::distinct_record;
using testing::for_each_record_type;

// Every field of every record appears in the rendering under its name, in table order, and a
// change of that field alone changes the rendering.
TEST(FieldTables, RenderingShowsEveryFieldByNameInOrder) {
    for_each_record_type([]<class Record>() {
        const Record record = distinct_record<Record>(1000);
        const std::string rendering = to_string(record);
        SCOPED_TRACE(rendering);
        EXPECT_TRUE(rendering.starts_with(std::string(RecordFields<Record>::name) + " {"));
        std::size_t position = 0;
        for_each_field<Record>([&](const auto& field) {
            SCOPED_TRACE(std::string(field.name));
            const auto found = rendering.find(" " + std::string(field.name) + ": ", position);
            ASSERT_NE(found, std::string::npos) << "missing or out of order";
            position = found;

            Record changed = record;
            field.get(changed) = field.get(distinct_record<Record>(2001));
            EXPECT_NE(to_string(changed), rendering) << "a change of the field is not rendered";
        });
    });
}

TEST(FieldTables, EnumerantTablesMatchTheNumbersAndNames) {
    EXPECT_EQ(to_string(ProfileStepKind::Idle), "Idle");
    EXPECT_EQ(to_string(static_cast<ProfileStepKind>(9)), "ProfileStepKind(?)");
    EXPECT_EQ(to_string(ProfileExchangeActivityKind::PartnerBusy), "PartnerBusy");
    for (const auto& enumerant : EnumerantTable<ProfileStepKind>::enumerants) {
        EXPECT_EQ(enumerant_named<ProfileStepKind>(enumerant.name), enumerant.value);
        EXPECT_EQ(enumerant_numbered<ProfileStepKind>(static_cast<std::uint16_t>(enumerant.value)),
                  enumerant.value);
    }
    EXPECT_EQ(enumerant_named<ProfileExchangeActivityKind>("partnerbusy"), std::nullopt);
    EXPECT_EQ(enumerant_numbered<ProfileExchangeActivityKind>(3), std::nullopt);
}

// The tables list every field: a record that gained a field the table lacks fails the build in
// fields.hpp. The counter that check relies on is tested here on records of known size.
TEST(FieldTables, AggregateFieldCountCountsEveryMember) {
    static_assert(detail::aggregate_field_count<HostCall>() == 8);
    static_assert(detail::aggregate_field_count<Application>() == 11);
    static_assert(detail::aggregate_field_count<DeviceConfigWrite>() == 2);
    struct WithNested {
        std::string text;
        HostExchange nested;
        std::vector<Segment> list;
    };
    static_assert(detail::aggregate_field_count<WithNested>() == 3);
}

} // namespace
} // namespace tarn_package
