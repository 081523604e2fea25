#include <tarn_package/package_header.hpp>
#include <tarn_package/records.hpp>

#include <istream>

#include "application.capnp.h"
#include "encoding/capnp_errors.hpp"
#include "encoding/field_conversion.hpp"
#include "encoding/message_io.hpp"
#include "encoding/step_conversion.hpp"
#include "model/checked.hpp"
#include "model/event_emit.hpp"

// Each record takes its fields that can fail in a fixed order, and lists go element by element,
// so a message with several faults always reports the same one. Numbers cannot fail and are
// read alongside.

namespace tarn_package {
namespace {

namespace wire = schema::application;
using detail::assign;
using detail::fail;
using detail::read_list;
using detail::read_text;

Result<TileImage> read_tile(wire::TileImage::Reader input) {
    TileImage tile;
    tile.physical_tile = input.getPhysicalTile();
    tile.entry_point = input.getEntryPoint();
    tile.command_address = input.getCommandAddress();
    tile.diagnostic_address = input.getDiagnosticAddress();
    const auto segments = input.getSegments();
    tile.segments.reserve(segments.size());
    for (auto segment : segments) {
        tile.segments.push_back(Segment{.address = segment.getAddress(),
                                        .memory_size = segment.getMemorySize(),
                                        .data = detail::read_data(segment.getData()),
                                        .flags = segment.getFlags()});
    }
    return tile;
}

Result<std::vector<TileImage>> read_tiles(capnp::List<wire::TileImage>::Reader input) {
    return read_list<TileImage>(input, read_tile);
}

Result<Binding> read_binding(wire::Binding::Reader input) {
    Binding binding;
    if (auto error = assign(binding.name, read_text(input.getName()))) {
        return fail(*error);
    }
    if (auto error = assign(binding.dtype, read_text(input.getDtype()))) {
        return fail(*error);
    }
    binding.shape = detail::read_numbers(input.getShape());
    const auto slices = input.getSlices();
    binding.slices.reserve(slices.size());
    for (auto slice : slices) {
        binding.slices.push_back(RegionSlice{.tile = slice.getTile(),
                                             .tile_address = slice.getTileAddress(),
                                             .file_offset = slice.getFileOffset(),
                                             .size = slice.getSize()});
    }
    return binding;
}

Result<std::vector<Binding>> read_bindings(capnp::List<wire::Binding>::Reader input) {
    return read_list<Binding>(input, read_binding);
}

std::vector<HostSlice> read_host_slices(capnp::List<wire::HostSlice>::Reader input) {
    std::vector<HostSlice> slices;
    slices.reserve(input.size());
    for (auto slice : input) {
        slices.push_back(HostSlice{.page = slice.getPage(),
                                   .page_offset = slice.getPageOffset(),
                                   .file_offset = slice.getFileOffset(),
                                   .size = slice.getSize()});
    }
    return slices;
}

Result<HostCall> read_host_call(wire::HostCall::Reader input) {
    HostCall call;
    call.command = input.getCommand();
    call.phases = input.getPhases();
    call.invocations = input.getInvocations();
    if (auto error = assign(call.name, read_text(input.getName()))) {
        return fail(*error);
    }
    call.inputs = read_host_slices(input.getInputs());
    call.outputs = read_host_slices(input.getOutputs());
    call.input_batch_ends = detail::read_numbers(input.getInputBatchEnds());
    call.output_batch_ends = detail::read_numbers(input.getOutputBatchEnds());
    return call;
}

Result<HostExchange> read_host_exchange(wire::HostExchange::Reader input) {
    HostExchange host;
    host.startup_mark = input.getStartupMark();
    host.command_page = input.getCommandPage();
    host.command_offset = input.getCommandOffset();
    const auto pages = input.getPages();
    host.pages.reserve(pages.size());
    for (auto page : pages) {
        host.pages.push_back(HostPage{.index = page.getIndex(), .size = page.getSize()});
    }
    host.attach_order = detail::read_numbers(input.getAttachOrder());
    if (auto error = assign(host.calls, read_list<HostCall>(input.getCalls(), read_host_call))) {
        return fail(*error);
    }
    return host;
}

Result<TileProfilePlan> read_profile_tile(wire::TileProfilePlan::Reader input) {
    TileProfilePlan plan;
    plan.physical_tile = input.getPhysicalTile();
    if (auto error = assign(plan.steps, read_list<ProfileStep>(input.getSteps(), [](auto step) {
                                return detail::read_step(step);
                            }))) {
        return fail(*error);
    }
    return plan;
}

Result<std::vector<TileProfilePlan>> read_profile_tiles(capnp::List<wire::TileProfilePlan>::Reader input) {
    return read_list<TileProfilePlan>(input, read_profile_tile);
}

Result<EntryPoint> read_entry_point(wire::EntryPoint::Reader input) {
    EntryPoint entry;
    entry.command = input.getCommand();
    entry.external_syncs = input.getExternalSyncs();
    if (auto error = assign(entry.name, read_text(input.getName()))) {
        return fail(*error);
    }
    return entry;
}

Result<DebugSymbol> read_debug_symbol(wire::DebugSymbol::Reader input) {
    DebugSymbol symbol;
    symbol.address = input.getAddress();
    if (auto error = assign(symbol.name, read_text(input.getName()))) {
        return fail(*error);
    }
    return symbol;
}

Result<DebugRegion> read_debug_region(wire::DebugRegion::Reader input) {
    DebugRegion region;
    region.physical_tile = input.getPhysicalTile();
    region.address = input.getAddress();
    region.size = input.getSize();
    if (auto error = assign(region.name, read_text(input.getName()))) {
        return fail(*error);
    }
    return region;
}

// The header comes first, field by field; nothing of the body is looked at before it passed.
Result<void> check_header(wire::Application::Reader root) {
    if (root.getSchemaVersion() != package_schema_version) {
        return detail::invalid("incompatible package header");
    }
    auto target = read_text(root.getTarget());
    if (!target) {
        return std::unexpected(std::move(target.error()));
    }
    if (*target != package_target || root.getTileMemoryBase() != tile_memory_base ||
        root.getTileMemorySize() != tile_memory_size) {
        return detail::invalid("incompatible package header");
    }
    return {};
}

Result<void> read_bindings_into(Application& app, wire::Application::Reader root) {
    if (auto error = assign(app.inputs, read_bindings(root.getInputs()))) {
        return fail(*error);
    }
    if (auto error = assign(app.outputs, read_bindings(root.getOutputs()))) {
        return fail(*error);
    }
    if (auto error = assign(app.weights, read_bindings(root.getWeights()))) {
        return fail(*error);
    }
    return {};
}

Result<void> read_debug_map_into(Application& app, wire::Application::Reader root) {
    if (auto error =
            assign(app.debug_symbols, read_list<DebugSymbol>(root.getDebugSymbols(), read_debug_symbol))) {
        return fail(*error);
    }
    if (auto error =
            assign(app.debug_regions, read_list<DebugRegion>(root.getDebugRegions(), read_debug_region))) {
        return fail(*error);
    }
    return {};
}

Result<Application> read_body(wire::Application::Reader root) {
    Application app;
    if (auto error = assign(app.compiler_version, read_text(root.getCompilerVersion()))) {
        return fail(*error);
    }
    if (auto error = assign(app.tiles, read_tiles(root.getTiles()))) {
        return fail(*error);
    }
    if (auto bindings = read_bindings_into(app, root); !bindings) {
        return std::unexpected(std::move(bindings.error()));
    }
    if (auto error = assign(app.host_exchange, read_host_exchange(root.getHostExchange()))) {
        return fail(*error);
    }
    if (auto error =
            assign(app.entry_points, read_list<EntryPoint>(root.getEntryPoints(), read_entry_point))) {
        return fail(*error);
    }
    const auto config_writes = root.getDeviceConfigWrites();
    app.device_config_writes.reserve(config_writes.size());
    for (auto write : config_writes) {
        app.device_config_writes.push_back(
            DeviceConfigWrite{.offset = write.getOffset(), .value = write.getValue()});
    }
    if (auto error = assign(app.profile_tiles, read_profile_tiles(root.getProfileTiles()))) {
        return fail(*error);
    }
    if (auto debug_map = read_debug_map_into(app, root); !debug_map) {
        return std::unexpected(std::move(debug_map.error()));
    }
    return app;
}

template <class Source>
Result<Application> read_package(Source& input) {
    if (detail::events_enabled()) {
        detail::emit(EventLevel::Info, "reading application package");
    }
    auto app = detail::capnp_barrier([&]() -> Result<Application> {
        detail::FramedMessage message(input);
        const auto root = message.root<wire::Application>();
        if (auto header = check_header(root); !header) {
            return std::unexpected(std::move(header.error()));
        }
        return read_body(root);
    });
    if (!app) {
        return app;
    }
    if (auto valid = detail::capnp_barrier([&] { return app->validate(); }); !valid) {
        return std::unexpected(std::move(valid.error()));
    }
    if (detail::events_enabled()) {
        detail::emit(
            EventLevel::Info, "application package read",
            {{"tiles", static_cast<std::uint64_t>(app->tiles.size())}, {"compiler", app->compiler_version}});
    }
    return app;
}

} // namespace

Result<Application> Application::read(std::span<const std::uint8_t> input) {
    return read_package(input);
}

Result<Application> Application::read(std::istream& input) {
    return read_package(input);
}

} // namespace tarn_package
