// Writing and reading profile reports: round trips, schema versions, faults in the message, and
// messages of older writers with shorter structs.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <capnp/any.h>

#include "message_tools.hpp"
#include "profile.capnp.h"

namespace tarn_package {
namespace {

namespace wire = schema::profile;
using capnp::AnyStruct;
using testing::expect_error;
using testing::written;

ProfileStep report_step(std::uint32_t index, ProfileStepKind kind) {
    ProfileStep step;
    step.local_index = index;
    step.phase = 5;
    step.epoch = 8;
    step.operation = "accumulate";
    step.kind = kind;
    step.kernel = "gemm_f32_accumulate";
    step.metadata = {ProfileMetadata{.name = "innerBlock", .value = "8"}};
    step.exchange_event_cycles = 9;
    if (kind == ProfileStepKind::Exchange) {
        step.exchange_activities = {
            ProfileExchangeActivity{
                .kind = ProfileExchangeActivityKind::Send, .start_cycle = 2, .end_cycle = 6},
            ProfileExchangeActivity{
                .kind = ProfileExchangeActivityKind::PartnerBusy, .start_cycle = 6, .end_cycle = 8},
        };
    }
    return step;
}

/// Tile 17 with one sample of each step kind; the first eleven start cycles wrapped below zero,
/// so they lie above their end cycles.
ProfileReport sample_report() {
    ProfileReport report{.clock_hz = 1'500'000'000,
                         .tiles = {TileProfile{.physical_tile = 17, .samples = {}}}};
    const ProfileStepKind kinds[] = {ProfileStepKind::Exchange, ProfileStepKind::Compute,
                                     ProfileStepKind::Synchronization, ProfileStepKind::Idle};
    for (std::uint32_t i = 0; i < 4; ++i) {
        report.tiles.front().samples.push_back(
            CycleSample{.step = report_step(i, kinds[i]), .start_cycle = i - 11u, .end_cycle = 7 + i});
    }
    return report;
}

using Edit = std::function<void(wire::Profile::Builder)>;

std::vector<std::uint8_t> edited(const ProfileReport& report, const Edit& edit) {
    testing::EditableMessage message(written(report));
    edit(message.root<wire::Profile>());
    return message.bytes();
}

TEST(ProfileReportCodec, ReportsRoundTripUnchanged) {
    ProfileReport empty_tile = sample_report();
    empty_tile.tiles.push_back(TileProfile{.physical_tile = 0xffffffff, .samples = {}});
    const std::vector<std::pair<std::string, ProfileReport>> cases = {
        {"four samples with wrapped start cycles", sample_report()},
        {"no tiles", ProfileReport{.clock_hz = 1000, .tiles = {}}},
        {"clock 0", ProfileReport{.clock_hz = 0, .tiles = sample_report().tiles}},
        {"a tile without samples", empty_tile},
        {"nothing at all", ProfileReport{}},
    };
    testing::EventRecorder events;
    for (const auto& [name, report] : cases) {
        SCOPED_TRACE(name);
        testing::expect_round_trip(report);
    }
    EXPECT_GT(sample_report().tiles.front().samples.front().start_cycle,
              sample_report().tiles.front().samples.front().end_cycle);
    EXPECT_TRUE(events.events.empty()) << "reports are not logged";
}

TEST(ProfileReportCodec, StoresVersionFiveAndTheFieldsInPlace) {
    testing::EditableMessage message(written(sample_report()));
    auto root = message.raw_root();
    ASSERT_EQ(root.getDataSection().size(), 16u);
    EXPECT_EQ(root.getDataSection()[0], 5);
    auto step = message.root<wire::Profile>().getTiles()[0].getSamples()[3].getStep();
    EXPECT_EQ(static_cast<std::uint16_t>(step.getKind()), 3u);
    EXPECT_EQ(AnyStruct::Builder(kj::mv(step)).getDataSection()[12], 3);
}

TEST(ProfileReportCodec, AppendsAfterExistingBytesAndIgnoresWhatFollows) {
    const std::vector<std::uint8_t> prefix = {9, 8, 7};
    std::vector<std::uint8_t> buffer = prefix;
    ASSERT_TRUE(sample_report().write(buffer));
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), buffer.begin()));
    const std::size_t end = buffer.size();
    ASSERT_TRUE(ProfileReport{}.write(buffer));
    buffer.push_back(0xff);

    const auto read = ProfileReport::read(std::span(buffer).subspan(prefix.size()));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, sample_report());

    std::istringstream stream(std::string(buffer.begin() + 3, buffer.end()));
    ASSERT_TRUE(ProfileReport::read(stream));
    EXPECT_EQ(static_cast<std::size_t>(stream.tellg()), end - prefix.size());
    const auto second = ProfileReport::read(stream);
    ASSERT_TRUE(second) << second.error();
    EXPECT_EQ(*second, ProfileReport{});
}

TEST(ProfileReportCodec, AcceptsVersionsOneToFiveOnly) {
    for (const std::uint32_t version : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(version);
        const auto read =
            ProfileReport::read(edited(sample_report(), [&](auto root) { root.setSchemaVersion(version); }));
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, sample_report());
    }
    for (const std::uint32_t version : {0u, 6u, 7u, 0xffffffffu}) {
        SCOPED_TRACE(version);
        expect_error(
            ProfileReport::read(edited(sample_report(), [&](auto root) { root.setSchemaVersion(version); })),
            PackageError::Kind::Invalid,
            "Invalid: unsupported profile schema version " + std::to_string(version));
    }
}

TEST(ProfileReportCodec, RootWithoutFieldsIsVersionZero) {
    capnp::MallocMessageBuilder builder;
    builder.getRoot<capnp::AnyPointer>().initAsAnyStruct(0, 0);
    expect_error(ProfileReport::read(testing::message_bytes(builder)), PackageError::Kind::Invalid,
                 "Invalid: unsupported profile schema version 0");
}

TEST(ProfileReportCodec, OlderShorterStructsReadAsZero) {
    // A version 1 writer whose steps end before the event cycles and whose samples have no step.
    capnp::MallocMessageBuilder builder;
    auto root = builder.getRoot<capnp::AnyPointer>().initAsAnyStruct(2, 1);
    root.getDataSection()[0] = 1;
    root.getDataSection()[8] = 100;
    auto samples = root.getPointerSection()[0]
                       .initAsListOfAnyStruct(1, 1, 1)[0]
                       .getPointerSection()[0]
                       .initAsListOfAnyStruct(1, 1, 2);
    samples[0].getDataSection()[0] = 4;
    samples[0].getDataSection()[4] = 3;
    auto step = samples[0].getPointerSection()[0].initAsAnyStruct(2, 2);
    step.getDataSection()[4] = 6;  // phase
    step.getDataSection()[12] = 2; // kind
    step.getPointerSection()[1].setAs<capnp::Text>("kernel");
    const auto read = ProfileReport::read(testing::message_bytes(builder));
    ASSERT_TRUE(read) << read.error();

    ProfileStep expected_step;
    expected_step.phase = 6;
    expected_step.kind = ProfileStepKind::Synchronization;
    expected_step.kernel = "kernel";
    const ProfileReport expected{
        .clock_hz = 100,
        .tiles = {
            TileProfile{.physical_tile = 0,
                        .samples = {CycleSample{.step = expected_step, .start_cycle = 4, .end_cycle = 3},
                                    CycleSample{.step = ProfileStep{}, .start_cycle = 0, .end_cycle = 0}}}}};
    EXPECT_EQ(*read, expected);
}

TEST(ProfileReportCodec, NullStepReadsAsTheDefaultStep) {
    const auto bytes = edited(sample_report(), [](auto root) {
        AnyStruct::Builder(root.getTiles()[0].getSamples()[2]).getPointerSection()[0].clear();
    });
    const auto read = ProfileReport::read(bytes);
    ASSERT_TRUE(read) << read.error();
    ProfileReport expected = sample_report();
    expected.tiles.front().samples[2].step = ProfileStep{};
    EXPECT_EQ(*read, expected);
}

TEST(ProfileReportCodec, FaultsInTheBodyAreReportedByKind) {
    const auto step = [](wire::Profile::Builder root, unsigned sample) {
        return root.getTiles()[0].getSamples()[sample].getStep();
    };
    const auto bad = capnp::Text::Reader("ab\xc3", 3);
    const std::vector<std::tuple<std::string, Edit, PackageError::Kind, std::string>> cases = {
        {"step kind 4", [&](auto root) { step(root, 1).setKind(static_cast<wire::StepKind>(4)); },
         PackageError::Kind::SchemaEnum, "SchemaEnum: enumerant number 4 is not in the schema"},
        {"activity kind 3",
         [&](auto root) {
             step(root, 0).getExchangeActivities()[1].setKind(static_cast<wire::ExchangeActivityKind>(3));
         },
         PackageError::Kind::SchemaEnum, "SchemaEnum: enumerant number 3 is not in the schema"},
        {"operation", [&](auto root) { step(root, 3).setOperation(bad); }, PackageError::Kind::Utf8,
         "Utf8: invalid UTF-8, valid up to byte 2"},
        {"kernel", [&](auto root) { step(root, 0).setKernel(bad); }, PackageError::Kind::Utf8,
         "Utf8: invalid UTF-8, valid up to byte 2"},
        {"metadata name", [&](auto root) { step(root, 2).getMetadata()[0].setName(bad); },
         PackageError::Kind::Utf8, "Utf8: invalid UTF-8, valid up to byte 2"},
        {"metadata value", [&](auto root) { step(root, 2).getMetadata()[0].setValue(bad); },
         PackageError::Kind::Utf8, "Utf8: invalid UTF-8, valid up to byte 2"},
        {"earlier sample first",
         [&](auto root) {
             step(root, 1).setKernel(bad);
             step(root, 2).setKind(static_cast<wire::StepKind>(4));
         },
         PackageError::Kind::Utf8, "Utf8: invalid UTF-8, valid up to byte 2"},
        {"step pointer of the wrong kind",
         [](auto root) {
             AnyStruct::Builder(root.getTiles()[0].getSamples()[0])
                 .getPointerSection()[0]
                 .initAsAnyList(capnp::ElementSize::BYTE, 3);
         },
         PackageError::Kind::Capnp, ""},
        {"amplified list of empty samples",
         [](auto root) {
             AnyStruct::Builder(root.getTiles()[0])
                 .getPointerSection()[0]
                 .initAsListOfAnyStruct(0, 0, (1u << 29) - 1);
         },
         PackageError::Kind::Capnp, ""},
    };
    for (const auto& [name, edit, kind, rendering] : cases) {
        SCOPED_TRACE(name);
        expect_error(ProfileReport::read(edited(sample_report(), edit)), kind, rendering);
    }
}

TEST(ProfileReportCodec, MessageCutShortIsARuntimeFault) {
    const auto bytes = written(sample_report());
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        expect_error(ProfileReport::read(std::span(bytes).first(size)), PackageError::Kind::Capnp);
        std::istringstream stream(
            std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
        expect_error(ProfileReport::read(stream), PackageError::Kind::Capnp);
    }
}

TEST(ProfileReportCodec, FailingOutputStreamIsARuntimeFault) {
    std::ostringstream stream;
    stream.setstate(std::ios::failbit);
    expect_error(sample_report().write(stream), PackageError::Kind::Capnp);
}

} // namespace
} // namespace tarn_package
