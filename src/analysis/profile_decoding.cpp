#include <tarn_package/profile_decoding.hpp>
#include <tarn_package/records.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>

#include "analysis/cycle_slice.hpp"
#include "little_endian.hpp"
#include "model/checked.hpp"
#include "out_of_memory.hpp"

namespace tarn_package {
namespace {

using detail::checked_add;
using detail::checked_mul;
using detail::invalid;

/// The cycle profile binding and where its bytes begin in the runtime output.
struct ProfileBinding {
    const Binding* binding = nullptr;
    std::uint64_t base = 0;
};

// Only the outputs before the profile binding are walked: those after it cannot move it.
Result<ProfileBinding> find_profile_binding(const std::vector<Binding>& outputs) {
    std::uint64_t base = 0;
    for (const auto& binding : outputs) {
        if (binding.name == cycle_profile_binding_name) {
            return ProfileBinding{&binding, base};
        }
        const auto next = checked_add(base, binding_size(binding));
        if (!next) {
            return invalid("output binding size overflow");
        }
        base = *next;
    }
    return invalid("application has no cycle profile binding");
}

using SlicesByTile = std::unordered_map<std::uint32_t, const RegionSlice*>;

// When two slices name the same tile, the later one wins.
SlicesByTile slices_by_tile(const Binding& binding) {
    SlicesByTile slices;
    slices.reserve(binding.slices.size());
    for (const auto& slice : binding.slices) {
        slices.insert_or_assign(slice.tile, &slice);
    }
    return slices;
}

// The slice's bytes in the runtime output; every offset is checked at the host's word size.
Result<std::span<const std::uint8_t>> slice_bytes(std::span<const std::uint8_t> output, std::uint64_t base,
                                                  const RegionSlice& slice) {
    const auto start = checked_add(base, slice.file_offset);
    if (!start || !std::in_range<std::size_t>(*start)) {
        return invalid("profile output offset overflow");
    }
    if (!std::in_range<std::size_t>(slice.size)) {
        return invalid("profile output size exceeds usize");
    }
    const auto end = checked_add(static_cast<std::size_t>(*start), static_cast<std::size_t>(slice.size));
    if (!end) {
        return invalid("profile output range overflow");
    }
    if (*end > output.size()) {
        return invalid("profile binding exceeds runtime output");
    }
    return output.subspan(static_cast<std::size_t>(*start), static_cast<std::size_t>(slice.size));
}

// Word `word` of `bytes`, little-endian whatever the host's byte order.
std::uint32_t cycle_word(std::span<const std::uint8_t> bytes, std::size_t word) noexcept {
    return detail::load_le32(bytes.data() + word * 4);
}

// `cycles` holds one word more than the plan has steps; step i lies between words i and i + 1.
TileProfile decode_tile(const TileProfilePlan& plan, std::span<const std::uint8_t> cycles) {
    TileProfile tile{.physical_tile = plan.physical_tile, .samples = {}};
    tile.samples.reserve(plan.steps.size());
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        tile.samples.push_back(CycleSample{.step = plan.steps[i],
                                           .start_cycle = cycle_word(cycles, i),
                                           .end_cycle = cycle_word(cycles, i + 1)});
    }
    return tile;
}

Result<TileProfile> profile_tile(const TileProfilePlan& plan, const SlicesByTile& slices,
                                 std::span<const std::uint8_t> output, std::uint64_t base) {
    const auto found = slices.find(plan.physical_tile);
    if (found == slices.end()) {
        return invalid("cycle profile has no slice for tile " + std::to_string(plan.physical_tile));
    }
    const RegionSlice& slice = *found->second;
    auto expected = detail::cycle_slice_size(plan.steps.size());
    if (!expected) {
        return std::unexpected(std::move(expected.error()));
    }
    if (slice.size != *expected) {
        return invalid("cycle profile slice for tile " + std::to_string(plan.physical_tile) + " has size " +
                       std::to_string(slice.size) + ", expected " + std::to_string(*expected));
    }
    auto cycles = slice_bytes(output, base, slice);
    if (!cycles) {
        return std::unexpected(std::move(cycles.error()));
    }
    return decode_tile(plan, *cycles);
}

Result<ProfileReport> decode_report(const Application& app, std::span<const std::uint8_t> output,
                                    std::uint64_t clock_hz) {
    auto profile = find_profile_binding(app.outputs);
    if (!profile) {
        return std::unexpected(std::move(profile.error()));
    }
    const SlicesByTile slices = slices_by_tile(*profile->binding);
    ProfileReport report{.clock_hz = clock_hz, .tiles = {}};
    report.tiles.reserve(app.profile_tiles.size());
    for (const auto& plan : app.profile_tiles) {
        auto tile = profile_tile(plan, slices, output, profile->base);
        if (!tile) {
            return std::unexpected(std::move(tile.error()));
        }
        report.tiles.push_back(std::move(*tile));
    }
    return report;
}

} // namespace

namespace detail {

Result<std::uint64_t> cycle_slice_size(std::size_t step_count) {
    const auto count = checked_add(step_count, std::size_t{1});
    if (!count || !std::in_range<std::uint64_t>(*count)) {
        return invalid("profile sample count overflow");
    }
    const auto bytes = checked_mul(static_cast<std::uint64_t>(*count), std::uint64_t{4});
    if (!bytes) {
        return invalid("profile sample size overflow");
    }
    return *bytes;
}

} // namespace detail

std::uint64_t binding_size(const Binding& binding) noexcept {
    std::uint64_t extent = 0;
    for (const auto& slice : binding.slices) {
        const auto end = checked_add(slice.file_offset, slice.size);
        extent = std::max(extent, end.value_or(std::numeric_limits<std::uint64_t>::max()));
    }
    return extent;
}

Result<ProfileReport> Application::profile_report(std::span<const std::uint8_t> output,
                                                  std::uint64_t clock_hz) const {
    // The report copies every planned step; a package too large for memory is refused, not thrown.
    return detail::memory_barrier([&] { return decode_report(*this, output, clock_hz); },
                                  "the profile report");
}

} // namespace tarn_package
