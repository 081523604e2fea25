#pragma once

#include <cstdint>
#include <string_view>

#include <tarn_package/records.hpp>

namespace tarn_package {

/// The name of the output binding that holds the cycle counter readings of a profiling run.
inline constexpr std::string_view cycle_profile_binding_name = "profile.cycles";

/// The extent of a binding's own byte image: the largest `file_offset` + `size` over its
/// slices, saturating at 2^64-1; 0 without slices. Slices may leave gaps, so this is not the
/// sum of their sizes.
[[nodiscard]] std::uint64_t binding_size(const Binding& binding) noexcept;

} // namespace tarn_package
