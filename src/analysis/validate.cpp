#include <tarn_package/package_header.hpp>
#include <tarn_package/records.hpp>
#include <tarn_package/validation.hpp>

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "model/checked.hpp"
#include "out_of_memory.hpp"

namespace tarn_package {
namespace {

using detail::checked_add;
using detail::hex;
using detail::invalid;

// The part of every tile's memory that segments and binding slices may occupy.
constexpr std::uint32_t window_start = tile_memory_base;
constexpr std::uint32_t window_end = tile_memory_base + tile_memory_size;

using TileIds = std::unordered_set<std::uint32_t>;
using PageSizes = std::unordered_map<std::uint32_t, std::uint64_t>;

Result<void> check_config_writes(const std::vector<DeviceConfigWrite>& writes) {
    std::unordered_set<std::uint32_t> config_offsets;
    config_offsets.reserve(writes.size());
    for (const auto& write : writes) {
        if ((write.offset & 3u) != 0 || !config_offsets.insert(write.offset).second) {
            return invalid("unaligned or duplicate device configuration write");
        }
    }
    return {};
}

struct Range {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};

Result<void> check_overlaps(const TileImage& tile, std::vector<Range>& ranges) {
    ranges.clear();
    for (const auto& segment : tile.segments) {
        if (segment.memory_size != 0) {
            // Every end fits: the segment rules ran before this.
            ranges.push_back({segment.address, segment.address + segment.memory_size});
        }
    }
    std::ranges::sort(ranges, [](const Range& a, const Range& b) {
        return std::pair(a.start, a.end) < std::pair(b.start, b.end);
    });
    // In start order, any overlap shows between neighbours.
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        const Range& p = ranges[i - 1];
        const Range& q = ranges[i];
        if (p.end > q.start) {
            return invalid("overlapping segments on tile " + std::to_string(tile.physical_tile) + ": 0x" +
                           hex(p.start) + "..0x" + hex(p.end) + " and 0x" + hex(q.start) + "..0x" +
                           hex(q.end));
        }
    }
    return {};
}

Result<void> check_segments(const TileImage& tile) {
    for (const auto& segment : tile.segments) {
        const auto end = checked_add(segment.address, segment.memory_size);
        if (!end) {
            return invalid("segment address overflow");
        }
        if (segment.address < window_start || *end > window_end ||
            segment.data.size() > segment.memory_size) {
            return invalid("invalid segment on tile " + std::to_string(tile.physical_tile) + ": address=0x" +
                           hex(segment.address) + " end=0x" + hex(*end) +
                           " memory_size=" + std::to_string(segment.memory_size) +
                           " data_size=" + std::to_string(segment.data.size()));
        }
    }
    return {};
}

Result<void> check_tiles(const std::vector<TileImage>& tiles) {
    std::unordered_set<std::uint32_t> seen;
    seen.reserve(tiles.size());
    std::vector<Range> ranges;
    for (const auto& tile : tiles) {
        if (!seen.insert(tile.physical_tile).second) {
            return invalid("duplicate physical tile " + std::to_string(tile.physical_tile));
        }
        if (auto checked = check_segments(tile); !checked) {
            return checked;
        }
        if (auto checked = check_overlaps(tile, ranges); !checked) {
            return checked;
        }
    }
    return {};
}

Result<void> check_profile_plans(const std::vector<TileProfilePlan>& plans, const TileIds& tile_ids) {
    std::unordered_set<std::uint32_t> profile_tile_ids;
    profile_tile_ids.reserve(plans.size());
    for (const auto& plan : plans) {
        if (!tile_ids.contains(plan.physical_tile) || !profile_tile_ids.insert(plan.physical_tile).second) {
            return invalid("invalid tile profile plan");
        }
        for (std::size_t i = 0; i < plan.steps.size(); ++i) {
            if (plan.steps[i].local_index != i) {
                return invalid("invalid tile profile plan");
            }
        }
    }
    return {};
}

bool region_is_valid(const DebugRegion& region, const TileIds& tile_ids) {
    return !region.name.empty() && region.size != 0 && checked_add(region.address, region.size) &&
           (region.physical_tile == any_tile || tile_ids.contains(region.physical_tile));
}

Result<void> check_debug_map(const Application& app, const TileIds& tile_ids) {
    const bool symbols_named = std::ranges::none_of(
        app.debug_symbols, [](const DebugSymbol& symbol) { return symbol.name.empty(); });
    const bool regions_valid = std::ranges::all_of(
        app.debug_regions, [&](const DebugRegion& region) { return region_is_valid(region, tile_ids); });
    if (!symbols_named || !regions_valid) {
        return invalid("invalid package debug map");
    }
    return {};
}

Result<void> check_binding_slices(const Binding& binding, const TileIds& tile_ids) {
    for (const auto& slice : binding.slices) {
        if (slice.size > std::numeric_limits<std::uint32_t>::max()) {
            return invalid("binding " + binding.name + " slice is too large");
        }
        const auto end = checked_add(slice.tile_address, static_cast<std::uint32_t>(slice.size));
        if (!end) {
            return invalid("binding address overflow");
        }
        if (!tile_ids.contains(slice.tile) || slice.tile_address < window_start || *end > window_end) {
            return invalid("binding " + binding.name + " references invalid tile memory");
        }
    }
    return {};
}

Result<void> check_bindings(const Application& app, const TileIds& tile_ids) {
    std::unordered_set<std::string_view> binding_names;
    binding_names.reserve(app.inputs.size() + app.outputs.size() + app.weights.size());
    for (const auto* list : {&app.inputs, &app.outputs, &app.weights}) {
        for (const auto& binding : *list) {
            if (binding.name.empty() || !binding_names.insert(binding.name).second) {
                return invalid("empty or duplicate binding " + binding.name);
            }
            if (auto checked = check_binding_slices(binding, tile_ids); !checked) {
                return checked;
            }
        }
    }
    return {};
}

Result<PageSizes> check_page_table(const HostExchange& host) {
    PageSizes pages;
    pages.reserve(host.pages.size());
    for (const auto& page : host.pages) {
        pages.emplace(page.index, page.size);
    }
    const bool attach_known =
        std::ranges::all_of(host.attach_order, [&](std::uint32_t index) { return pages.contains(index); });
    if (pages.size() < host.pages.size() || !attach_known) {
        return invalid("invalid host page table");
    }
    return pages;
}

// True when `size` bytes from `offset` lie inside a page of `page_size` bytes.
bool fits_in_page(std::uint64_t offset, std::uint64_t size, std::uint64_t page_size) {
    const auto end = checked_add(offset, size);
    return end && *end <= page_size;
}

Result<void> check_startup_protocol(const HostExchange& host, const PageSizes& pages) {
    if (host.calls.empty()) {
        return {};
    }
    const auto page = pages.find(host.command_page);
    if (page == pages.end() || !fits_in_page(host.command_offset, 4, page->second)) {
        return invalid("invalid host startup protocol");
    }
    return {};
}

Result<void> check_host_slices(const HostCall& call, const std::vector<HostSlice>& slices,
                               const PageSizes& pages) {
    for (const auto& slice : slices) {
        const auto page = pages.find(slice.page);
        if (page == pages.end()) {
            return invalid("host call " + call.name + " references missing page");
        }
        if (!fits_in_page(slice.page_offset, slice.size, page->second)) {
            return invalid("host call " + call.name + " exceeds page bounds");
        }
    }
    return {};
}

Result<void> check_host_call(const HostCall& call, const PageSizes& pages) {
    if (call.invocations == 0) {
        return invalid("host call " + call.name + " has no invocations");
    }
    if (auto checked = validate_host_batch_ends(call, "input", call.input_batch_ends, call.inputs.size());
        !checked) {
        return checked;
    }
    if (auto checked = validate_host_batch_ends(call, "output", call.output_batch_ends, call.outputs.size());
        !checked) {
        return checked;
    }
    if (auto checked = check_host_slices(call, call.inputs, pages); !checked) {
        return checked;
    }
    return check_host_slices(call, call.outputs, pages);
}

Result<void> check_host_exchange(const HostExchange& host) {
    auto pages = check_page_table(host);
    if (!pages) {
        return std::unexpected(std::move(pages.error()));
    }
    if (auto checked = check_startup_protocol(host, *pages); !checked) {
        return checked;
    }
    for (const auto& call : host.calls) {
        if (auto checked = check_host_call(call, *pages); !checked) {
            return checked;
        }
    }
    return {};
}

} // namespace

Result<void> validate_host_batch_ends(const HostCall& call, std::string_view direction,
                                      std::span<const std::uint32_t> ends, std::size_t slice_count) {
    std::size_t previous = 0;
    for (const std::uint32_t end : ends) {
        if constexpr (std::numeric_limits<std::size_t>::max() < std::numeric_limits<std::uint32_t>::max()) {
            if (end > std::numeric_limits<std::size_t>::max()) {
                return invalid("host batch index exceeds usize");
            }
        }
        const auto boundary = static_cast<std::size_t>(end);
        if (boundary <= previous || boundary > slice_count) {
            return invalid("host call " + call.name + " has invalid " + std::string(direction) +
                           " batch boundary " + std::to_string(end));
        }
        previous = boundary;
    }
    if (previous != slice_count) {
        return invalid("host call " + call.name + " " + std::string(direction) + " batches cover " +
                       std::to_string(previous) + " of " + std::to_string(slice_count) + " slices");
    }
    return {};
}

namespace {

// The rules run in this order and the first broken one is reported; callers rely on the order.
Result<void> validate_rules(const Application& app) {
    const auto& tiles = app.tiles;
    if (tiles.empty()) {
        return invalid("application has no tiles");
    }
    if (auto checked = check_config_writes(app.device_config_writes); !checked) {
        return checked;
    }
    if (auto checked = check_tiles(tiles); !checked) {
        return checked;
    }
    TileIds tile_ids;
    tile_ids.reserve(tiles.size());
    for (const auto& tile : tiles) {
        tile_ids.insert(tile.physical_tile);
    }
    if (auto checked = check_profile_plans(app.profile_tiles, tile_ids); !checked) {
        return checked;
    }
    if (auto checked = check_debug_map(app, tile_ids); !checked) {
        return checked;
    }
    if (auto checked = check_bindings(app, tile_ids); !checked) {
        return checked;
    }
    return check_host_exchange(app.host_exchange);
}

} // namespace

// The rules' hash sets and sorted copies allocate; running out is an error, not a throw.
Result<void> Application::validate() const {
    return detail::memory_barrier([&] { return validate_rules(*this); });
}

} // namespace tarn_package
