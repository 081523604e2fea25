// Helpers of the tests that take messages apart, edit them or build them by hand.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <capnp/any.h>
#include <capnp/message.h>
#include <capnp/serialize.h>
#include <gtest/gtest.h>

#include <tarn_package/tarn_package.hpp>

#include "event_recorder.hpp"

namespace tarn_package::testing {

/// The bytes of a message built in a test, in the standard stream framing.
inline std::vector<std::uint8_t> message_bytes(capnp::MessageBuilder& builder) {
    const kj::Array<capnp::word> words = capnp::messageToFlatArray(builder);
    const auto bytes = words.asBytes();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

/// The words of the message at the start of `bytes`, aligned.
inline kj::Array<capnp::word> aligned_words(std::span<const std::uint8_t> bytes) {
    auto words = kj::heapArray<capnp::word>(bytes.size() / sizeof(capnp::word));
    std::memcpy(words.begin(), bytes.data(), words.size() * sizeof(capnp::word));
    return words;
}

/// An editable copy of a message: structs keep the sizes with which they were written.
class EditableMessage {
  public:
    explicit EditableMessage(std::span<const std::uint8_t> bytes) {
        const auto words = aligned_words(bytes);
        capnp::initMessageBuilderFromFlatArrayCopy(words, builder);
    }

    template <class Root>
    typename Root::Builder root() {
        return builder.getRoot<Root>();
    }

    /// The root without the schema: data section bytes and pointers by position.
    capnp::AnyStruct::Builder raw_root() {
        return builder.getRoot<capnp::AnyPointer>().getAs<capnp::AnyStruct>();
    }

    std::vector<std::uint8_t> bytes() { return message_bytes(builder); }

    capnp::MallocMessageBuilder builder;
};

/// The message of a package or report as written by the library.
template <class Record>
std::vector<std::uint8_t> written(const Record& record) {
    std::vector<std::uint8_t> bytes;
    const auto result = record.write(bytes);
    EXPECT_TRUE(result) << result.error();
    return bytes;
}

/// Compares an error by its one-line rendering, or only by its kind for runtime faults, whose
/// texts are the runtime's own.
template <class T>
void expect_error(const Result<T>& result, PackageError::Kind kind, const std::string& rendering = "") {
    ASSERT_FALSE(result) << "succeeded unexpectedly";
    EXPECT_EQ(result.error().kind(), kind) << result.error();
    if (!rendering.empty()) {
        EXPECT_EQ(result.error().what(), rendering);
    }
}

/// Writes `record` into a buffer and into a stream, expects the same bytes from both, and
/// expects each to read back equal to `record`.
template <class Record>
void expect_round_trip(const Record& record) {
    const auto bytes = written(record);
    const auto from_buffer = Record::read(bytes);
    ASSERT_TRUE(from_buffer) << from_buffer.error();
    EXPECT_EQ(*from_buffer, record);

    std::stringstream stream;
    ASSERT_TRUE(record.write(stream));
    EXPECT_EQ(stream.str(), std::string(bytes.begin(), bytes.end()));
    const auto from_stream = Record::read(stream);
    ASSERT_TRUE(from_stream) << from_stream.error();
    EXPECT_EQ(*from_stream, record);
}

} // namespace tarn_package::testing
