#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include <tarn_package/records.hpp>

namespace tarn_package {

// The JSON form of a package and of a profile report: one object per record, its keys the
// record's field names in declaration order, enumerants by name, numbers as exact unsigned
// integers (64-bit ones included) and segment data as base64 or hexadecimal text.
// Reading is strict: an unknown, missing or repeated key, a value of the wrong type and a
// number outside its field's width are refused with a message that names the JSON path of the
// value, such as "tiles[0].segments[1].memory_size: expected an unsigned 32-bit integer, got -1".

/// A JSON document whose objects keep their keys in insertion order.
using Json = nlohmann::ordered_json;

/// How the initialised bytes of segments (`Segment.data`) are written.
enum class JsonData {
    Base64, ///< standard base64 with padding
    Hex,    ///< lowercase hexadecimal, two digits per byte
    Omit,   ///< left out; such a document cannot be turned back into a package
};

/// The package as a JSON object.
[[nodiscard]] Json application_to_json(const Application& application, JsonData data = JsonData::Base64);

/// The package described by `document`, whose segment data are in the form `data` (Base64 or
/// Hex; Omit refuses every segment). The package is not validated. Errors are `Invalid`.
[[nodiscard]] Result<Application> application_from_json(const Json& document,
                                                        JsonData data = JsonData::Base64);

/// The report as a JSON object.
[[nodiscard]] Json profile_report_to_json(const ProfileReport& report);

/// The report described by `document`. Errors are `Invalid`.
[[nodiscard]] Result<ProfileReport> profile_report_from_json(const Json& document);

/// Parses JSON text. A syntax error or a key repeated within one object is `Invalid` with a
/// message starting "json: ".
[[nodiscard]] Result<Json> parse_json(std::string_view text);

/// The document as text, indented by two spaces, with a final newline. Fails with `Invalid`
/// when a text of the document is not UTF-8, which JSON cannot carry.
[[nodiscard]] Result<std::string> json_text(const Json& document);

/// Standard base64 (RFC 4648) with padding.
[[nodiscard]] std::string base64_encode(std::span<const std::uint8_t> bytes);

/// Decodes standard base64 with padding; anything else (other characters, whitespace, a length
/// that is not a multiple of 4, misplaced padding, nonzero trailing bits) is `Invalid`.
[[nodiscard]] Result<std::vector<std::uint8_t>> base64_decode(std::string_view text);

/// Lowercase hexadecimal, two digits per byte.
[[nodiscard]] std::string hex_encode(std::span<const std::uint8_t> bytes);

/// Decodes hexadecimal of either case; an odd length or another character is `Invalid`.
[[nodiscard]] Result<std::vector<std::uint8_t>> hex_decode(std::string_view text);

} // namespace tarn_package
