#include "inspect.hpp"

#include <tarn_package/package_header.hpp>
#include <tarn_package/profile_decoding.hpp>

#include "text_format.hpp"
#include "text_table.hpp"

#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace tarn_package::tool {
namespace {

using detail::counted;
using detail::hex0x;
using detail::TextTable;

std::string dec(std::uint64_t value) {
    return std::to_string(value);
}

std::string number_list(const std::vector<std::uint32_t>& values) {
    std::string text;
    for (const auto value : values) {
        text += (text.empty() ? "" : ", ") + dec(value);
    }
    return text;
}

/// A table whose columns are all left-aligned, headed by `headers`.
TextTable table_of(std::initializer_list<std::string> headers) {
    TextTable table;
    for (const auto& header : headers) {
        table.column(header);
    }
    return table;
}

// "Title (n):" and its table, or "Title: none".
void section(std::string& out, std::string_view title, std::size_t count, const TextTable& table) {
    out += "\n" + std::string(title);
    if (count == 0) {
        out += ": none\n";
        return;
    }
    out += " (" + dec(count) + "):\n";
    table.render(out, "  ");
}

void header(std::string& out, const Application& app) {
    out += "Package header:\n";
    out += "  Schema version:     " + dec(package_schema_version) + "\n";
    out += "  Target:             " + std::string(package_target) + "\n";
    out += "  Tile memory:        " + hex0x(tile_memory_base) + ".." +
           hex0x(std::uint64_t{tile_memory_base} + tile_memory_size) + " (" + dec(tile_memory_size) +
           " bytes)\n";
    out += "  Compiler version:   " + app.compiler_version + "\n";
}

void tiles(std::string& out, const Application& app) {
    TextTable table = table_of({"Tile", "Entry", "Segments", "Load range", "Initialised"});
    for (const auto& tile : app.tiles) {
        std::string range = "-";
        std::uint64_t initialised = 0;
        if (!tile.segments.empty()) {
            std::uint64_t low = tile.segments.front().address;
            std::uint64_t high = 0;
            for (const auto& segment : tile.segments) {
                low = std::min<std::uint64_t>(low, segment.address);
                high = std::max<std::uint64_t>(high, std::uint64_t{segment.address} + segment.memory_size);
                initialised += segment.data.size();
            }
            range = hex0x(low) + ".." + hex0x(high);
        }
        table.row({dec(tile.physical_tile), hex0x(tile.entry_point), dec(tile.segments.size()), range,
                   dec(initialised)});
    }
    section(out, "Tiles", app.tiles.size(), table);
}

void bindings(std::string& out, std::string_view title, const std::vector<Binding>& list) {
    TextTable table = table_of({"Name", "Dtype", "Shape", "Slices", "Extent"});
    for (const auto& binding : list) {
        table.row({binding.name, binding.dtype, "[" + number_list(binding.shape) + "]",
                   dec(binding.slices.size()), dec(binding_size(binding))});
    }
    section(out, title, list.size(), table);
}

std::string batches(const std::vector<HostSlice>& slices, const std::vector<std::uint32_t>& ends) {
    std::string text = counted(slices.size(), "slice", "slices");
    if (!ends.empty()) {
        text += " in " + counted(ends.size(), "batch", "batches") + " (ends " + number_list(ends) + ")";
    }
    return text;
}

void host_exchange(std::string& out, const HostExchange& host) {
    out += "\nHost exchange:\n";
    out += "  Startup mark:       " + dec(host.startup_mark) + "\n";
    out += "  Command word:       page " + dec(host.command_page) + ", offset " + hex0x(host.command_offset) +
           "\n";
    out += "  Attach order:       " + (host.attach_order.empty() ? "none" : number_list(host.attach_order)) +
           "\n";
    TextTable pages = table_of({"Index", "Size"});
    for (const auto& page : host.pages) {
        pages.row({dec(page.index), dec(page.size)});
    }
    section(out, "Host pages", host.pages.size(), pages);
    TextTable calls = table_of({"Name", "Command", "Phases", "Invocations", "Inputs", "Outputs"});
    for (const auto& call : host.calls) {
        calls.row({call.name, dec(call.command), dec(call.phases), dec(call.invocations),
                   batches(call.inputs, call.input_batch_ends),
                   batches(call.outputs, call.output_batch_ends)});
    }
    section(out, "Host calls", host.calls.size(), calls);
}

void entry_points_and_config(std::string& out, const Application& app) {
    TextTable entries = table_of({"Name", "Command", "External syncs"});
    for (const auto& entry : app.entry_points) {
        entries.row({entry.name, dec(entry.command), dec(entry.external_syncs)});
    }
    section(out, "Entry points", app.entry_points.size(), entries);
    TextTable writes = table_of({"Offset", "Value"});
    for (const auto& write : app.device_config_writes) {
        writes.row({hex0x(write.offset), hex0x(write.value)});
    }
    section(out, "Device configuration writes", app.device_config_writes.size(), writes);
}

void profile_and_debug(std::string& out, const Application& app) {
    TextTable plans = table_of({"Tile", "Steps"});
    for (const auto& plan : app.profile_tiles) {
        plans.row({dec(plan.physical_tile), dec(plan.steps.size())});
    }
    section(out, "Profile plans", app.profile_tiles.size(), plans);
    TextTable symbols = table_of({"Address", "Name"});
    for (const auto& symbol : app.debug_symbols) {
        symbols.row({hex0x(symbol.address), symbol.name});
    }
    section(out, "Debug symbols", app.debug_symbols.size(), symbols);
    TextTable regions = table_of({"Tile", "Range", "Size", "Name"});
    for (const auto& region : app.debug_regions) {
        regions.row({region.physical_tile == any_tile ? "any" : dec(region.physical_tile),
                     hex0x(region.address) + ".." + hex0x(std::uint64_t{region.address} + region.size),
                     dec(region.size), region.name});
    }
    section(out, "Debug regions", app.debug_regions.size(), regions);
}

} // namespace

std::string inspect_text(const Application& app) {
    std::string out;
    header(out, app);
    tiles(out, app);
    bindings(out, "Inputs", app.inputs);
    bindings(out, "Outputs", app.outputs);
    bindings(out, "Weights", app.weights);
    host_exchange(out, app.host_exchange);
    entry_points_and_config(out, app);
    profile_and_debug(out, app);
    return out;
}

} // namespace tarn_package::tool
