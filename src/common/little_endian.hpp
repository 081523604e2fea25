// Internal header, not for clients: little-endian numbers in byte buffers, independent of the
// host's byte order.
#pragma once

#include <cstdint>

namespace tarn_package::detail {

/// The little-endian unsigned 32-bit number in the four bytes at `bytes`.
[[nodiscard]] constexpr std::uint32_t load_le32(const std::uint8_t* bytes) noexcept {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

/// Writes `value` little-endian into the four bytes at `bytes`.
constexpr void store_le32(std::uint8_t* bytes, std::uint32_t value) noexcept {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
    bytes[2] = static_cast<std::uint8_t>(value >> 16);
    bytes[3] = static_cast<std::uint8_t>(value >> 24);
}

} // namespace tarn_package::detail
