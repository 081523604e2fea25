#pragma once

#include <cstdint>
#include <string_view>

namespace tarn_package {

// The header values that every package message carries. The writer stores them and the reader
// refuses a package with any other, so every package the library returns was made for them.

inline constexpr std::uint32_t package_schema_version = 5;
inline constexpr std::string_view package_target = "tarn21";

/// The tile memory window: on every tile, segments and binding slices lie in the addresses from
/// `tile_memory_base` up to, not including, `tile_memory_base + tile_memory_size`.
inline constexpr std::uint32_t tile_memory_base = 0x4c000;
inline constexpr std::uint32_t tile_memory_size = 0x9c000;

/// The `physical_tile` of a debug region that belongs to no particular tile.
inline constexpr std::uint32_t any_tile = 0xffffffff;

} // namespace tarn_package
