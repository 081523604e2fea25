// Internal header, not for clients: conversions of single fields and lists between the records
// and the message, shared by the package and the profile report codecs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <capnp/blob.h>
#include <capnp/list.h>
#include <kj/debug.h>
#include <utf8.h>

#include <tarn_package/records.hpp>

namespace tarn_package::detail {

/// The text as the message stores it; the string must outlive the call that copies it.
[[nodiscard]] inline capnp::Text::Reader text_of(const std::string& text) {
    return capnp::Text::Reader(text.c_str(), text.size());
}

/// The bytes as the message stores them; the vector must outlive the call that copies them.
[[nodiscard]] inline capnp::Data::Reader data_of(const std::vector<std::uint8_t>& bytes) {
    return capnp::Data::Reader(bytes.data(), bytes.size());
}

/// A record list's length as a message list count. The runtime refuses lists beyond its own
/// limit; a length that does not even fit the count is refused here rather than truncated.
[[nodiscard]] inline unsigned list_count(std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        KJ_FAIL_REQUIRE("list too long for a message", size);
    }
    return static_cast<unsigned>(size);
}

/// A copy of a message text, or `Utf8` with the length of its valid prefix.
[[nodiscard]] inline Result<std::string> read_text(capnp::Text::Reader text) {
    const char* const begin = text.begin();
    const char* const end = begin + text.size();
    const char* const invalid = utf8::find_invalid(begin, end);
    if (invalid != end) {
        return std::unexpected(PackageError::Utf8{static_cast<std::size_t>(invalid - begin)});
    }
    return std::string(begin, end);
}

[[nodiscard]] inline std::vector<std::uint8_t> read_data(capnp::Data::Reader data) {
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

[[nodiscard]] inline std::vector<std::uint32_t> read_numbers(capnp::List<std::uint32_t>::Reader list) {
    std::vector<std::uint32_t> numbers;
    numbers.reserve(list.size());
    for (const std::uint32_t number : list) {
        numbers.push_back(number);
    }
    return numbers;
}

/// Fills a number list that was created with the vector's length.
inline void write_numbers(capnp::List<std::uint32_t>::Builder list,
                          const std::vector<std::uint32_t>& numbers) {
    for (unsigned i = 0; i < list.size(); ++i) {
        list.set(i, numbers[i]);
    }
}

/// Moves a successful result into `target`, or hands back its error. Readers use it as
/// `if (auto error = assign(field, read_x(...))) return fail(*error);`.
template <class T, class U>
[[nodiscard]] std::optional<PackageError> assign(T& target, Result<U>&& result) {
    if (!result) {
        return std::move(result.error());
    }
    target = std::move(*result);
    return std::nullopt;
}

[[nodiscard]] inline std::unexpected<PackageError> fail(PackageError& error) {
    return std::unexpected(std::move(error));
}

/// Converts every element of a message list in order; the first failure ends the list.
template <class Record, class ListReader, class Convert>
[[nodiscard]] Result<std::vector<Record>> read_list(ListReader list, Convert&& convert) {
    std::vector<Record> records;
    records.reserve(list.size());
    for (auto element : list) {
        Result<Record> record = convert(element);
        if (!record) {
            return std::unexpected(std::move(record.error()));
        }
        records.push_back(std::move(*record));
    }
    return records;
}

[[nodiscard]] inline Result<ProfileStepKind> step_kind_from(std::uint16_t number) {
    if (number > static_cast<std::uint16_t>(ProfileStepKind::Idle)) {
        return std::unexpected(PackageError::SchemaEnum{number});
    }
    return static_cast<ProfileStepKind>(number);
}

[[nodiscard]] inline Result<ProfileExchangeActivityKind> activity_kind_from(std::uint16_t number) {
    if (number > static_cast<std::uint16_t>(ProfileExchangeActivityKind::PartnerBusy)) {
        return std::unexpected(PackageError::SchemaEnum{number});
    }
    return static_cast<ProfileExchangeActivityKind>(number);
}

/// The message enumerant of a record enumerant: both carry the same numbers.
template <class WireEnum, class RecordEnum>
[[nodiscard]] WireEnum to_wire(RecordEnum kind) {
    return static_cast<WireEnum>(static_cast<std::uint16_t>(kind));
}

} // namespace tarn_package::detail
