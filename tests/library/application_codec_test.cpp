// Writing and reading packages: round trips, header refusals, faults in the body and the order in
// which they are found, absent pointers, and the events of both directions.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <capnp/any.h>

#include "application.capnp.h"
#include "fixtures.hpp"
#include "message_tools.hpp"

namespace tarn_package {
namespace {

namespace wire = schema::application;
using capnp::AnyStruct;
using testing::EditableMessage;
using testing::expect_error;
using testing::written;

using Edit = std::function<void(wire::Application::Builder)>;

/// The message of `app` with one edit made after writing.
std::vector<std::uint8_t> edited(const Application& app, const Edit& edit) {
    EditableMessage message(written(app));
    edit(message.root<wire::Application>());
    return message.bytes();
}

/// A text whose bytes are valid up to `valid` bytes, followed by a lone continuation byte.
capnp::Text::Reader bad_text(std::size_t valid) {
    static const char bytes[] = "abcdefgh\x80";
    return capnp::Text::Reader(bytes + 8 - valid, valid + 1);
}

/// The struct without the schema: data section bytes and pointers by position.
template <class Builder>
AnyStruct::Builder raw(Builder builder) {
    return AnyStruct::Builder(kj::mv(builder));
}

/// Replaces a list or text pointer by a struct: a pointer of the wrong kind.
template <class Builder>
void malform(Builder parent, unsigned pointer) {
    raw(parent).getPointerSection()[pointer].initAsAnyStruct(1, 0);
}

std::string utf8_error(std::size_t valid) {
    return "Utf8: invalid UTF-8, valid up to byte " + std::to_string(valid);
}

TEST(ApplicationCodec, EveryRecordRoundTripsThroughBufferAndStream) {
    testing::expect_round_trip(testing::every_record_application());
}

TEST(ApplicationCodec, SamePackageGivesSameBytes) {
    const Application app = testing::every_record_application();
    EXPECT_EQ(written(app), written(app));
    // Numbers and texts of the same package in another order give other bytes.
    Application reordered = app;
    std::swap(reordered.entry_points.front(), reordered.entry_points.back());
    EXPECT_NE(written(reordered), written(app));
}

TEST(ApplicationCodec, AppendsAfterExistingBytes) {
    const Application app = testing::every_record_application();
    const std::vector<std::uint8_t> prefix = {0xde, 0xad, 0xbe, 0xef, 0x01};
    std::vector<std::uint8_t> buffer = prefix;
    ASSERT_TRUE(app.write(buffer));
    ASSERT_GT(buffer.size(), prefix.size());
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), buffer.begin()));
    const auto read = Application::read(std::span(buffer).subspan(prefix.size()));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, app);
}

TEST(ApplicationCodec, ReadsOneMessageAndLeavesTheRest) {
    const Application first = testing::every_record_application();
    const Application second = testing::minimal_application();
    std::vector<std::uint8_t> buffer;
    ASSERT_TRUE(first.write(buffer));
    const std::size_t first_size = buffer.size();
    ASSERT_TRUE(second.write(buffer));
    buffer.insert(buffer.end(), {1, 2, 3});

    const auto from_buffer = Application::read(buffer);
    ASSERT_TRUE(from_buffer) << from_buffer.error();
    EXPECT_EQ(*from_buffer, first);

    std::istringstream stream(std::string(buffer.begin(), buffer.end()));
    const auto first_read = Application::read(stream);
    ASSERT_TRUE(first_read) << first_read.error();
    EXPECT_EQ(*first_read, first);
    EXPECT_EQ(static_cast<std::size_t>(stream.tellg()), first_size);
    const auto second_read = Application::read(stream);
    ASSERT_TRUE(second_read) << second_read.error();
    EXPECT_EQ(*second_read, second);
    std::string rest;
    stream >> rest;
    EXPECT_EQ(rest, "\x01\x02\x03");
}

TEST(ApplicationCodec, InvalidPackageIsNotWritten) {
    testing::EventRecorder events;
    std::vector<std::uint8_t> buffer;
    expect_error(Application{}.write(buffer), PackageError::Kind::Invalid,
                 "Invalid: application has no tiles");
    EXPECT_TRUE(buffer.empty());
    std::ostringstream stream;
    expect_error(Application{}.write(stream), PackageError::Kind::Invalid,
                 "Invalid: application has no tiles");
    EXPECT_TRUE(stream.str().empty());
    EXPECT_TRUE(events.events.empty());
}

TEST(ApplicationCodec, RefusesEveryOtherHeader) {
    const std::vector<std::pair<std::string, Edit>> cases = {
        {"version 4", [](auto root) { root.setSchemaVersion(4); }},
        {"version 4 with a target that is not UTF-8",
         [](auto root) {
             root.setSchemaVersion(4);
             root.setTarget(bad_text(2));
         }},
        {"version 4 with a malformed body",
         [](auto root) {
             root.setSchemaVersion(4);
             malform(root, 2);
             root.getProfileTiles()[0].getSteps()[0].setKind(static_cast<wire::ProfileStepKind>(9));
         }},
        {"version 6", [](auto root) { root.setSchemaVersion(6); }},
        {"version 0", [](auto root) { root.setSchemaVersion(0); }},
        {"target differs in one letter", [](auto root) { root.setTarget("tarn22"); }},
        {"target in upper case", [](auto root) { root.setTarget("TARN21"); }},
        {"target with a trailing space", [](auto root) { root.setTarget("tarn21 "); }},
        {"target shorter", [](auto root) { root.setTarget("tarn2"); }},
        {"target empty", [](auto root) { root.setTarget(""); }},
        {"target absent", [](auto root) { raw(root).getPointerSection()[1].clear(); }},
        {"base", [](auto root) { root.setTileMemoryBase(0x4b000); }},
        {"size", [](auto root) { root.setTileMemorySize(0x9c001); }},
        {"size with a body fault", [](auto root) {
             root.setTileMemorySize(0);
             root.setCompilerVersion(bad_text(0));
         }}};
    for (const auto& [name, edit] : cases) {
        SCOPED_TRACE(name);
        const auto bytes = edited(testing::populated_application(), edit);
        testing::EventRecorder events;
        expect_error(Application::read(bytes), PackageError::Kind::Invalid,
                     "Invalid: incompatible package header");
        EXPECT_EQ(events.messages(), std::vector<std::string>{"reading application package"});
    }
}

TEST(ApplicationCodec, TargetThatIsNotUtf8IsAUtf8Fault) {
    const auto bytes =
        edited(testing::populated_application(), [](auto root) { root.setTarget(bad_text(5)); });
    expect_error(Application::read(bytes), PackageError::Kind::Utf8, utf8_error(5));
}

TEST(ApplicationCodec, MalformedTargetIsARuntimeFault) {
    const auto bytes = edited(testing::populated_application(), [](auto root) { malform(root, 1); });
    expect_error(Application::read(bytes), PackageError::Kind::Capnp);
}

TEST(ApplicationCodec, FramingFaultsAreRuntimeFaults) {
    const auto bytes = written(testing::minimal_application());
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases = {
        {"empty", {}},
        {"four bytes", {0, 0, 0, 0}},
        {"segment table only", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8)},
        {"one byte short", std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1)},
        {"root pointer out of its segment", {0, 0, 0, 0, 1, 0, 0, 0, 0x10, 0, 0, 0, 2, 0, 12, 0}},
    };
    for (const auto& [name, input] : cases) {
        SCOPED_TRACE(name);
        testing::EventRecorder events;
        expect_error(Application::read(input), PackageError::Kind::Capnp);
        std::istringstream stream(std::string(input.begin(), input.end()));
        expect_error(Application::read(stream), PackageError::Kind::Capnp);
        EXPECT_EQ(events.messages(),
                  (std::vector<std::string>{"reading application package", "reading application package"}));
    }
}

TEST(ApplicationCodec, EnumerantsConvertByNumber) {
    for (const auto kind : {ProfileStepKind::Exchange, ProfileStepKind::Compute,
                            ProfileStepKind::Synchronization, ProfileStepKind::Idle}) {
        SCOPED_TRACE(static_cast<int>(kind));
        Application app = testing::populated_application();
        app.profile_tiles.front().steps.front().kind = kind;
        const auto bytes = written(app);
        EditableMessage message(bytes);
        EXPECT_EQ(static_cast<std::uint16_t>(
                      message.root<wire::Application>().getProfileTiles()[0].getSteps()[0].getKind()),
                  static_cast<std::uint16_t>(kind));
        const auto read = Application::read(bytes);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(read->profile_tiles.front().steps.front().kind, kind);
    }
    for (const auto kind : {ProfileExchangeActivityKind::Send, ProfileExchangeActivityKind::Receive,
                            ProfileExchangeActivityKind::PartnerBusy}) {
        SCOPED_TRACE(static_cast<int>(kind));
        Application app = testing::populated_application();
        app.profile_tiles.front().steps.front().exchange_activities.front().kind = kind;
        const auto bytes = written(app);
        EditableMessage message(bytes);
        auto activity =
            message.root<wire::Application>().getProfileTiles()[0].getSteps()[0].getExchangeActivities()[0];
        EXPECT_EQ(static_cast<std::uint16_t>(activity.getKind()), static_cast<std::uint16_t>(kind));
        const auto read = Application::read(bytes);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(read->profile_tiles.front().steps.front().exchange_activities.front().kind, kind);
    }
}

TEST(ApplicationCodec, UndefinedEnumerantsAreRefusedWithTheirNumber) {
    const std::vector<std::tuple<std::string, std::uint16_t, Edit>> cases = {
        {"step kind 4", 4,
         [](auto root) {
             root.getProfileTiles()[0].getSteps()[0].setKind(static_cast<wire::ProfileStepKind>(4));
         }},
        {"step kind 65535", 65535,
         [](auto root) {
             root.getProfileTiles()[0].getSteps()[0].setKind(static_cast<wire::ProfileStepKind>(65535));
         }},
        {"activity kind 3", 3,
         [](auto root) {
             root.getProfileTiles()[0].getSteps()[0].getExchangeActivities()[1].setKind(
                 static_cast<wire::ProfileExchangeActivityKind>(3));
         }},
    };
    for (const auto& [name, number, edit] : cases) {
        SCOPED_TRACE(name);
        expect_error(Application::read(edited(testing::populated_application(), edit)),
                     PackageError::Kind::SchemaEnum,
                     "SchemaEnum: enumerant number " + std::to_string(number) + " is not in the schema");
    }
}

TEST(ApplicationCodec, FirstFaultInReadingOrderIsReported) {
    struct Case {
        std::string name;
        Edit edit;
        PackageError::Kind kind;
        std::string rendering;
    };
    const auto step = [](wire::Application::Builder root) { return root.getProfileTiles()[0].getSteps()[0]; };
    const auto call = [](wire::Application::Builder root) { return root.getHostExchange().getCalls()[0]; };
    const std::vector<Case> cases = {
        {"call name before its inputs pointer",
         [&](auto root) {
             call(root).setName(bad_text(1));
             malform(call(root), 1);
         },
         PackageError::Kind::Utf8, utf8_error(1)},
        {"host pages before the calls",
         [&](auto root) {
             call(root).setName(bad_text(1));
             malform(root.getHostExchange(), 0);
         },
         PackageError::Kind::Capnp, ""},
        {"compiler version before the tiles",
         [](auto root) {
             root.setCompilerVersion(bad_text(3));
             malform(root, 2);
         },
         PackageError::Kind::Utf8, utf8_error(3)},
        {"tiles before the inputs",
         [](auto root) {
             malform(root.getTiles()[1], 0);
             root.getInputs()[0].setName(bad_text(0));
         },
         PackageError::Kind::Capnp, ""},
        {"binding name before its dtype",
         [](auto root) {
             root.getWeights()[0].setName(bad_text(4));
             root.getWeights()[0].setDtype(bad_text(2));
         },
         PackageError::Kind::Utf8, utf8_error(4)},
        {"outputs before the weights",
         [](auto root) {
             root.getOutputs()[0].setDtype(bad_text(6));
             root.getWeights()[0].setName(bad_text(2));
         },
         PackageError::Kind::Utf8, utf8_error(6)},
        {"host exchange before the entry points",
         [](auto root) {
             malform(root.getHostExchange(), 0);
             root.getEntryPoints()[0].setName(bad_text(0));
         },
         PackageError::Kind::Capnp, ""},
        {"entry points before the profile plans",
         [&](auto root) {
             root.getEntryPoints()[1].setName(bad_text(2));
             step(root).setKind(static_cast<wire::ProfileStepKind>(7));
         },
         PackageError::Kind::Utf8, utf8_error(2)},
        {"step operation before its kind",
         [&](auto root) {
             step(root).setOperation(bad_text(5));
             step(root).setKind(static_cast<wire::ProfileStepKind>(7));
         },
         PackageError::Kind::Utf8, utf8_error(5)},
        {"step kind before its kernel",
         [&](auto root) {
             step(root).setKind(static_cast<wire::ProfileStepKind>(7));
             step(root).setKernel(bad_text(1));
         },
         PackageError::Kind::SchemaEnum, "SchemaEnum: enumerant number 7 is not in the schema"},
        {"metadata before activities",
         [&](auto root) {
             step(root).getMetadata()[0].setValue(bad_text(3));
             step(root).getExchangeActivities()[0].setKind(static_cast<wire::ProfileExchangeActivityKind>(5));
         },
         PackageError::Kind::Utf8, utf8_error(3)},
        {"profile plans before the debug map",
         [&](auto root) {
             step(root).getExchangeActivities()[0].setKind(static_cast<wire::ProfileExchangeActivityKind>(5));
             root.getDebugSymbols()[0].setName(bad_text(0));
         },
         PackageError::Kind::SchemaEnum, "SchemaEnum: enumerant number 5 is not in the schema"},
        {"symbols before regions",
         [](auto root) {
             root.getDebugSymbols()[1].setName(bad_text(4));
             root.getDebugRegions()[0].setName(bad_text(1));
         },
         PackageError::Kind::Utf8, utf8_error(4)},
        {"first element of a list first",
         [](auto root) {
             root.getDebugSymbols()[0].setName(bad_text(1));
             root.getDebugSymbols()[1].setName(bad_text(6));
         },
         PackageError::Kind::Utf8, utf8_error(1)},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        expect_error(Application::read(edited(testing::every_record_application(), test.edit)), test.kind,
                     test.rendering);
    }
}

TEST(ApplicationCodec, AbsentPointersReadAsEmpty) {
    struct Case {
        std::string name;
        Edit edit;
        std::function<void(Application&)> expected_change;
    };
    const auto clear = [](auto parent, unsigned pointer) {
        raw(parent).getPointerSection()[pointer].clear();
    };
    const std::vector<Case> cases = {
        {"compiler version", [&](auto root) { clear(root, 0); },
         [](Application& app) { app.compiler_version = ""; }},
        {"entry points", [&](auto root) { clear(root, 7); },
         [](Application& app) { app.entry_points.clear(); }},
        {"debug symbols and regions",
         [&](auto root) {
             clear(root, 10);
             clear(root, 11);
         },
         [](Application& app) {
             app.debug_symbols.clear();
             app.debug_regions.clear();
         }},
        {"segment data", [&](auto root) { clear(root.getTiles()[0].getSegments()[0], 0); },
         [](Application& app) { app.tiles.front().segments.front().data.clear(); }},
        {"binding shape and dtype",
         [&](auto root) {
             clear(root.getInputs()[0], 1);
             clear(root.getInputs()[0], 2);
         },
         [](Application& app) {
             app.inputs.front().dtype.clear();
             app.inputs.front().shape.clear();
         }},
        {"step texts and lists",
         [&](auto root) {
             for (unsigned pointer = 0; pointer < 4; ++pointer) {
                 clear(root.getProfileTiles()[0].getSteps()[0], pointer);
             }
         },
         [](Application& app) {
             auto& step = app.profile_tiles.front().steps.front();
             step.operation.clear();
             step.kernel.clear();
             step.metadata.clear();
             step.exchange_activities.clear();
         }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Application expected = testing::every_record_application();
        const auto bytes = edited(expected, test.edit);
        test.expected_change(expected);
        const auto read = Application::read(bytes);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(*read, expected);
    }
}

TEST(ApplicationCodec, AbsentHostExchangeReadsAsEmptyThenValidationDecides) {
    const auto clear_host = [](auto root) { raw(root).getPointerSection()[6].clear(); };
    const auto minimal = Application::read(edited(testing::minimal_application(), clear_host));
    ASSERT_TRUE(minimal) << minimal.error();
    EXPECT_EQ(minimal->host_exchange, HostExchange{});
    // The populated package's debug map and profile plan still hold; without its pages the
    // package's host exchange is simply empty.
    Application populated = testing::populated_application();
    const auto read = Application::read(edited(populated, clear_host));
    ASSERT_TRUE(read) << read.error();
    populated.host_exchange = HostExchange{};
    EXPECT_EQ(*read, populated);
    // Without tiles validation refuses the package.
    expect_error(
        Application::read(edited(populated, [](auto root) { raw(root).getPointerSection()[2].clear(); })),
        PackageError::Kind::Invalid, "Invalid: application has no tiles");
}

TEST(ApplicationCodec, PackageRefusedByValidationEmitsOnlyTheFirstEvent) {
    const auto bytes = edited(testing::minimal_application(), [](auto root) {
        auto segments = root.getTiles()[0].initSegments(2);
        segments[0].setAddress(0x4c000);
        segments[0].setMemorySize(0x20);
        segments[1].setAddress(0x4c010);
        segments[1].setMemorySize(0x20);
    });
    testing::EventRecorder events;
    expect_error(Application::read(bytes), PackageError::Kind::Invalid,
                 "Invalid: overlapping segments on tile 0: 0x4c000..0x4c020 and 0x4c010..0x4c030");
    EXPECT_EQ(events.messages(), std::vector<std::string>{"reading application package"});
}

TEST(ApplicationCodec, EventsOfWriteAndReadCarryTheirFields) {
    using Field = std::pair<std::string, std::variant<std::uint64_t, std::string>>;
    const Application app = testing::every_record_application();
    testing::EventRecorder events;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(app.write(bytes));
    ASSERT_TRUE(Application::read(bytes));
    const std::vector<std::pair<std::string, std::vector<Field>>> expected = {
        {"writing application package", {{"tiles", std::uint64_t{2}}}},
        {"application package written", {}},
        {"reading application package", {}},
        {"application package read", {{"tiles", std::uint64_t{2}}, {"compiler", std::string("tarnc 2.4.1")}}},
    };
    ASSERT_EQ(events.events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(events.events[i].level, EventLevel::Info);
        EXPECT_EQ(events.events[i].target, "tarn_package");
        EXPECT_EQ(events.events[i].message, expected[i].first);
        EXPECT_EQ(events.events[i].fields, expected[i].second);
    }
}

/// A stream buffer that accepts `capacity` bytes and refuses the rest.
class LimitedBuffer : public std::streambuf {
  public:
    explicit LimitedBuffer(std::size_t capacity) : capacity_(capacity) {}
    std::string accepted;

  protected:
    int_type overflow(int_type c) override {
        if (accepted.size() >= capacity_ || traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::eof();
        }
        accepted.push_back(traits_type::to_char_type(c));
        return c;
    }

  private:
    std::size_t capacity_;
};

TEST(ApplicationCodec, FailingOutputStreamIsARuntimeFault) {
    const Application app = testing::populated_application();
    const auto bytes = written(app);
    {
        SCOPED_TRACE("refuses after some bytes");
        LimitedBuffer buffer(20);
        std::ostream stream(&buffer);
        testing::EventRecorder events;
        expect_error(app.write(stream), PackageError::Kind::Capnp);
        EXPECT_EQ(buffer.accepted, std::string(bytes.begin(), bytes.begin() + 20));
        EXPECT_EQ(events.messages(), std::vector<std::string>{"writing application package"});
    }
    {
        SCOPED_TRACE("throws when it fails");
        LimitedBuffer buffer(0);
        std::ostream stream(&buffer);
        stream.exceptions(std::ios::badbit | std::ios::failbit);
        expect_error(app.write(stream), PackageError::Kind::Capnp);
    }
    {
        SCOPED_TRACE("already failed");
        std::ostringstream stream;
        stream.setstate(std::ios::badbit);
        expect_error(app.write(stream), PackageError::Kind::Capnp);
    }
}

TEST(ApplicationCodec, ThrowingInputStreamIsARuntimeFault) {
    const auto bytes = written(testing::populated_application());
    std::istringstream stream(std::string(bytes.begin(), bytes.end() - 8));
    stream.exceptions(std::ios::badbit | std::ios::failbit | std::ios::eofbit);
    expect_error(Application::read(stream), PackageError::Kind::Capnp);
}

} // namespace
} // namespace tarn_package
