// Internal header, not for clients: the header values that every package message carries and
// that the reader demands.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarn_package::detail {

inline constexpr std::uint32_t package_schema_version = 5;
inline constexpr std::string_view package_target = "tarn21";
inline constexpr std::uint32_t package_tile_memory_base = 0x4c000;
inline constexpr std::uint32_t package_tile_memory_size = 0x9c000;

} // namespace tarn_package::detail
