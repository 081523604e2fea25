#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include <tarn_package/records.hpp>

namespace tarn_package {

/// Checks the batch ends of one direction ("input" or "output") of a host call: they rise
/// strictly, none exceeds `slice_count`, and the last equals it. `call` supplies the name for
/// the messages. A direction with slices must list its batches.
[[nodiscard]] Result<void> validate_host_batch_ends(const HostCall& call, std::string_view direction,
                                                    std::span<const std::uint32_t> ends,
                                                    std::size_t slice_count);

} // namespace tarn_package
