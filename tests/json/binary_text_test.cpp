#include <gtest/gtest.h>

#include <tarn_package/json.hpp>

#include <string>
#include <vector>

namespace tarn_package {
namespace {

std::vector<std::uint8_t> bytes_of(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string refusal(const Result<std::vector<std::uint8_t>>& decoded) {
    if (decoded) {
        return "decoded " + std::to_string(decoded->size()) + " bytes";
    }
    return decoded.error().what();
}

TEST(Base64, EncodesTheStandardVectors) {
    const struct {
        std::string_view plain;
        std::string_view encoded;
    } cases[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        EXPECT_EQ(base64_encode(bytes_of(c.plain)), c.encoded);
        const auto decoded = base64_decode(c.encoded);
        ASSERT_TRUE(decoded) << decoded.error().what();
        EXPECT_EQ(*decoded, bytes_of(c.plain));
    }
}

TEST(Base64, RoundTripsEveryByteValueAtEveryLength) {
    std::vector<std::uint8_t> all;
    for (int value = 255; value >= 0; --value) {
        all.push_back(static_cast<std::uint8_t>(value));
        const auto decoded = base64_decode(base64_encode(all));
        ASSERT_TRUE(decoded) << all.size();
        ASSERT_EQ(*decoded, all);
    }
    EXPECT_EQ(base64_encode(std::vector<std::uint8_t>{0xfb, 0xff}), "+/8=");
}

TEST(Base64, RefusesMalformedText) {
    const struct {
        std::string_view text;
        std::string_view error;
    } cases[] = {
        {"Zg=", "Invalid: base64 length 3 is not a multiple of 4"},
        {"Zg", "Invalid: base64 length 2 is not a multiple of 4"},
        {"Z===", "Invalid: misplaced base64 padding"},
        {"Zg==Zg==", "Invalid: misplaced base64 padding"},
        {"Zm 9", "Invalid: invalid base64 character at offset 2"},
        {"Zm9v\nYg==", "Invalid: base64 length 9 is not a multiple of 4"},
        {"Zm-v", "Invalid: invalid base64 character at offset 2"},
        {"Zh==", "Invalid: nonzero trailing bits in base64"},
        {"Zm9=", "Invalid: nonzero trailing bits in base64"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(refusal(base64_decode(c.text)), c.error);
    }
}

TEST(Hex, EncodesLowercaseAndDecodesEitherCase) {
    const std::vector<std::uint8_t> bytes{0x00, 0x1f, 0xab, 0xff};
    EXPECT_EQ(hex_encode(bytes), "001fabff");
    EXPECT_EQ(*hex_decode("001FabFF"), bytes);
    EXPECT_EQ(hex_encode({}), "");
    EXPECT_EQ(*hex_decode(""), std::vector<std::uint8_t>{});
}

TEST(Hex, RefusesMalformedText) {
    const struct {
        std::string_view text;
        std::string_view error;
    } cases[] = {
        {"abc", "Invalid: hexadecimal length 3 is odd"},
        {"0g", "Invalid: invalid hexadecimal digit at offset 1"},
        {"x0", "Invalid: invalid hexadecimal digit at offset 0"},
        {"00 1", "Invalid: invalid hexadecimal digit at offset 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(refusal(hex_decode(c.text)), c.error);
    }
}

} // namespace
} // namespace tarn_package
