// Internal header of the tool: the built-in sample package and the profiling run of the demo.
#pragma once

#include <cstdint>
#include <vector>

#include <tarn_package/records.hpp>

namespace tarn_package::tool {

/// The fully populated sample: one tile (0) with one segment, a profile plan with one step, a
/// configuration write, the debug map, two host pages and the batched host call "batched".
[[nodiscard]] Application sample_application();

/// The sample with an output binding "profile.cycles" that holds, for every profiled tile, the
/// counter readings of a profiling run: one word per planned step and one at the end.
[[nodiscard]] Application sample_with_cycle_profile();

/// The bytes that a profiling run of `app` leaves in its outputs, back to back: zeros, except
/// for the cycle profile binding, whose words rise by a few hundred cycles per step. Meant for
/// the sample: the extents of the outputs are trusted to be small.
[[nodiscard]] std::vector<std::uint8_t> synthetic_run_output(const Application& app);

} // namespace tarn_package::tool
