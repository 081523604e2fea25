#include <tarn_package/records.hpp>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "model/checked.hpp"
#include "model/event_emit.hpp"
#include "out_of_memory.hpp"

namespace tarn_package {
namespace {

using detail::checked_add;
using detail::hex;
using detail::invalid;

/// The run of tile memory that a tile's segments cover: `load_base` up to `end` (exclusive).
struct Extent {
    std::uint32_t load_base = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t end = 0;
};

// Every segment counts, those of memory size 0 included. A segment whose end does not fit in 32
// bits, or whose data outgrows its memory size, is refused: laying it out would wrap around or
// write past the image.
Result<Extent> image_extent(const TileImage& tile) {
    Extent extent;
    for (const auto& segment : tile.segments) {
        const auto end = checked_add(segment.address, segment.memory_size);
        if (!end || segment.data.size() > segment.memory_size) {
            return invalid("malformed segment on tile " + std::to_string(tile.physical_tile) +
                           ": address=0x" + hex(segment.address) +
                           " memory_size=" + std::to_string(segment.memory_size) +
                           " data_size=" + std::to_string(segment.data.size()));
        }
        extent.load_base = std::min(extent.load_base, segment.address);
        extent.end = std::max(extent.end, *end);
    }
    return extent;
}

// One zero-filled allocation at the final size. The size stays below 4 GiB, but a package that
// has not been validated may still ask for more than the host can give.
Result<std::vector<std::uint8_t>> allocate_image(const TileImage& tile, std::uint32_t image_size) {
    const auto refuse = [&] {
        return std::unexpected(detail::out_of_memory(std::to_string(image_size) +
                                                     " bytes for the image of tile " +
                                                     std::to_string(tile.physical_tile)));
    };
    if (std::uint64_t{image_size} > std::vector<std::uint8_t>().max_size()) {
        return refuse();
    }
    try {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(image_size));
    } catch (const std::bad_alloc&) {
        return refuse();
    }
}

void emit_reconstruction(std::uint32_t physical_tile, std::uint32_t load_base, std::size_t image_bytes) {
    // The address text is built only for a listener.
    if (!detail::events_enabled()) {
        return;
    }
    const std::string base = "0x" + hex(load_base);
    detail::emit(EventLevel::Trace, "reconstructing tile image",
                 {{"physical_tile", std::uint64_t{physical_tile}},
                  {"load_base", std::string_view(base)},
                  {"image_bytes", std::uint64_t{image_bytes}}});
}

} // namespace

Result<std::vector<std::uint8_t>> Application::tile_image(std::uint32_t physical_tile) const {
    const auto tile = std::ranges::find(tiles, physical_tile, &TileImage::physical_tile);
    if (tile == tiles.end()) {
        return invalid("unknown tile " + std::to_string(physical_tile));
    }
    if (tile->segments.empty()) {
        return invalid("tile has no loadable segments");
    }
    auto extent = image_extent(*tile);
    if (!extent) {
        return std::unexpected(std::move(extent.error()));
    }
    // Every segment ends at or below `end` and starts at or above `load_base`: no wrap below.
    auto image = allocate_image(*tile, extent->end - extent->load_base);
    if (!image) {
        return image;
    }
    emit_reconstruction(physical_tile, extent->load_base, image->size());
    for (const auto& segment : tile->segments) {
        // In bounds: the data fits in the segment, and the segment in the image.
        std::ranges::copy(segment.data, image->data() + (segment.address - extent->load_base));
    }
    return image;
}

} // namespace tarn_package
