// Internal header, not for clients: the number and count formats that the library's messages
// and the tool's texts share.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarn_package::detail {

/// Lowercase hexadecimal without leading zeros and without "0x": 0x4c000 gives "4c000".
[[nodiscard]] inline std::string hex(std::uint64_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, 16);
    return std::string(digits, result.ptr);
}

/// As `hex`, with "0x" in front: 0x4c000 gives "0x4c000".
[[nodiscard]] inline std::string hex0x(std::uint64_t value) {
    return "0x" + hex(value);
}

/// `one` when `count` is 1, `many` otherwise.
[[nodiscard]] constexpr std::string_view plural(std::uint64_t count, std::string_view one,
                                                std::string_view many) noexcept {
    return count == 1 ? one : many;
}

/// "1 tile", "3 batches": the count and the noun in its number.
[[nodiscard]] inline std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(plural(count, one, many));
}

/// "1 tile", "3 tiles": as above for nouns whose plural adds "s".
[[nodiscard]] inline std::string counted(std::uint64_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

} // namespace tarn_package::detail
