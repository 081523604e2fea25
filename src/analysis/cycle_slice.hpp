// Internal header, not for clients: the size of one tile's slice in the cycle profile binding.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tarn_package/error.hpp>

namespace tarn_package::detail {

/// The bytes that a plan of `step_count` steps needs in the cycle profile binding: one 4-byte
/// reading at the start of every step and one at the end of the last.
[[nodiscard]] Result<std::uint64_t> cycle_slice_size(std::size_t step_count);

} // namespace tarn_package::detail
