#include "text.hpp"
#include "text_table.hpp"

#include <cstdint>
#include <iterator>

#include <utf8.h>

namespace tarn_package::detail {

namespace {

constexpr std::uint32_t replacement = 0xfffd;

std::string valid_utf8(std::string_view text) {
    std::string repaired;
    repaired.reserve(text.size());
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(repaired), replacement);
    return repaired;
}

/// Characters of XML 1.0 documents: no C0 controls but tab, line feed and carriage return, and
/// neither U+FFFE nor U+FFFF (surrogates never survive the UTF-8 repair).
bool xml_char(std::uint32_t code_point) noexcept {
    if (code_point < 0x20) {
        return code_point == '\t' || code_point == '\n' || code_point == '\r';
    }
    return code_point != 0xfffe && code_point != 0xffff;
}

bool is_continuation(char byte) noexcept {
    return (static_cast<unsigned char>(byte) & 0xc0) == 0x80;
}

} // namespace

std::string xml_escape(std::string_view text) {
    const std::string repaired = valid_utf8(text);
    std::string escaped;
    escaped.reserve(repaired.size());
    auto it = repaired.begin();
    while (it != repaired.end()) {
        const auto first = it;
        const std::uint32_t code_point = utf8::next(it, repaired.end());
        switch (code_point) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        default:
            if (xml_char(code_point)) {
                escaped.append(first, it);
            } else {
                utf8::append(replacement, std::back_inserter(escaped));
            }
        }
    }
    return escaped;
}

std::string plain_text(std::string_view text) {
    std::string repaired = valid_utf8(text);
    for (char& byte : repaired) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x20 || value == 0x7f) {
            byte = '?';
        }
    }
    return repaired;
}

std::string fit(std::string_view text, std::size_t width) {
    if (display_width(text) <= width) {
        return std::string(text);
    }
    const std::size_t kept = width > 3 ? width - 3 : 0;
    std::size_t count = 0;
    std::size_t end = 0;
    while (end < text.size() && (count < kept || is_continuation(text[end]))) {
        count += is_continuation(text[end]) ? 0U : 1U;
        ++end;
    }
    return std::string(text.substr(0, end)) + std::string(width > 3 ? 3 : width, '.');
}

} // namespace tarn_package::detail
