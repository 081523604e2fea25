#include <tarn_package/json.hpp>

#include <array>

namespace tarn_package {
namespace {

constexpr std::string_view base64_alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view hex_digits = "0123456789abcdef";
constexpr int not_a_digit = -1;

constexpr std::array<int, 256> base64_values() {
    std::array<int, 256> values{};
    values.fill(not_a_digit);
    for (std::size_t i = 0; i < base64_alphabet.size(); ++i) {
        values[static_cast<unsigned char>(base64_alphabet[i])] = static_cast<int>(i);
    }
    return values;
}

constexpr auto base64_value = base64_values();

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return not_a_digit;
}

std::unexpected<PackageError> refuse(std::string message) {
    return std::unexpected(PackageError::invalid(std::move(message)));
}

// The number of padding characters at the end of a base64 text of a length divisible by 4.
Result<std::size_t> base64_padding(std::string_view text) {
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    if (text.substr(0, text.size() - padding).find('=') != std::string_view::npos) {
        return refuse("misplaced base64 padding");
    }
    return padding;
}

} // namespace

std::string base64_encode(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group =
            std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) {
            text += base64_alphabet[(group >> shift) & 0x3f];
        }
    }
    const std::size_t rest = bytes.size() - i;
    if (rest != 0) {
        const std::uint32_t group =
            std::uint32_t{bytes[i]} << 16 | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0U);
        text += base64_alphabet[(group >> 18) & 0x3f];
        text += base64_alphabet[(group >> 12) & 0x3f];
        text += rest == 2 ? base64_alphabet[(group >> 6) & 0x3f] : '=';
        text += '=';
    }
    return text;
}

Result<std::vector<std::uint8_t>> base64_decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return refuse("base64 length " + std::to_string(text.size()) + " is not a multiple of 4");
    }
    const auto padding = base64_padding(text);
    if (!padding) {
        return std::unexpected(padding.error());
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    const std::size_t digits = text.size() - *padding;
    for (std::size_t i = 0; i < digits; ++i) {
        const int value = base64_value[static_cast<unsigned char>(text[i])];
        if (value == not_a_digit) {
            return refuse("invalid base64 character at offset " + std::to_string(i));
        }
        group = (group << 6) | static_cast<std::uint32_t>(value);
        if (i % 4 == 3) {
            bytes.insert(bytes.end(),
                         {static_cast<std::uint8_t>(group >> 16), static_cast<std::uint8_t>(group >> 8),
                          static_cast<std::uint8_t>(group)});
            group = 0;
        }
    }
    // The last group: 2 or 3 digits carry 1 or 2 bytes; the bits beyond them must be zero so
    // that every byte string has exactly one encoding.
    if (*padding == 2) {
        if ((group & 0xf) != 0) {
            return refuse("nonzero trailing bits in base64");
        }
        bytes.push_back(static_cast<std::uint8_t>(group >> 4));
    } else if (*padding == 1) {
        if ((group & 0x3) != 0) {
            return refuse("nonzero trailing bits in base64");
        }
        bytes.push_back(static_cast<std::uint8_t>(group >> 10));
        bytes.push_back(static_cast<std::uint8_t>(group >> 2));
    }
    return bytes;
}

std::string hex_encode(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += hex_digits[byte >> 4];
        text += hex_digits[byte & 0xf];
    }
    return text;
}

Result<std::vector<std::uint8_t>> hex_decode(std::string_view text) {
    if (text.size() % 2 != 0) {
        return refuse("hexadecimal length " + std::to_string(text.size()) + " is odd");
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hex_value(text[i]);
        const int low = hex_value(text[i + 1]);
        if (high == not_a_digit || low == not_a_digit) {
            return refuse("invalid hexadecimal digit at offset " +
                          std::to_string(high == not_a_digit ? i : i + 1));
        }
        bytes.push_back(static_cast<std::uint8_t>((high << 4) | low));
    }
    return bytes;
}

} // namespace tarn_package
