#include <tarn_package/package_header.hpp>
#include <tarn_package/records.hpp>

#include <ostream>

#include <capnp/message.h>

#include "application.capnp.h"
#include "encoding/capnp_errors.hpp"
#include "encoding/field_conversion.hpp"
#include "encoding/message_io.hpp"
#include "encoding/step_conversion.hpp"
#include "model/event_emit.hpp"

// Every text, byte string and list lands in the message at the moment it is set or created, so
// the order of the calls below fixes the message's bytes. Each list is created with its final
// length before its first element is filled.

namespace tarn_package {
namespace {

namespace wire = schema::application;
using detail::list_count;
using detail::text_of;

void write_tiles(capnp::List<wire::TileImage>::Builder output, const std::vector<TileImage>& tiles) {
    for (unsigned i = 0; i < output.size(); ++i) {
        auto tile = output[i];
        const TileImage& source = tiles[i];
        tile.setPhysicalTile(source.physical_tile);
        tile.setEntryPoint(source.entry_point);
        tile.setCommandAddress(source.command_address);
        tile.setDiagnosticAddress(source.diagnostic_address);
        auto segments = tile.initSegments(list_count(source.segments.size()));
        for (unsigned j = 0; j < segments.size(); ++j) {
            auto segment = segments[j];
            segment.setAddress(source.segments[j].address);
            segment.setMemorySize(source.segments[j].memory_size);
            segment.setData(detail::data_of(source.segments[j].data));
            segment.setFlags(source.segments[j].flags);
        }
    }
}

void write_bindings(capnp::List<wire::Binding>::Builder output, const std::vector<Binding>& bindings) {
    for (unsigned i = 0; i < output.size(); ++i) {
        auto binding = output[i];
        const Binding& source = bindings[i];
        binding.setName(text_of(source.name));
        binding.setDtype(text_of(source.dtype));
        detail::write_numbers(binding.initShape(list_count(source.shape.size())), source.shape);
        auto slices = binding.initSlices(list_count(source.slices.size()));
        for (unsigned j = 0; j < slices.size(); ++j) {
            auto slice = slices[j];
            slice.setTile(source.slices[j].tile);
            slice.setTileAddress(source.slices[j].tile_address);
            slice.setFileOffset(source.slices[j].file_offset);
            slice.setSize(source.slices[j].size);
        }
    }
}

void write_host_slices(capnp::List<wire::HostSlice>::Builder output, const std::vector<HostSlice>& slices) {
    for (unsigned i = 0; i < output.size(); ++i) {
        auto slice = output[i];
        slice.setPage(slices[i].page);
        slice.setPageOffset(slices[i].page_offset);
        slice.setFileOffset(slices[i].file_offset);
        slice.setSize(slices[i].size);
    }
}

// The batch-end lists of a call go ahead of its slices.
void write_host_call(wire::HostCall::Builder output, const HostCall& call) {
    output.setName(text_of(call.name));
    output.setCommand(call.command);
    output.setPhases(call.phases);
    output.setInvocations(call.invocations);
    detail::write_numbers(output.initInputBatchEnds(list_count(call.input_batch_ends.size())),
                          call.input_batch_ends);
    detail::write_numbers(output.initOutputBatchEnds(list_count(call.output_batch_ends.size())),
                          call.output_batch_ends);
    write_host_slices(output.initInputs(list_count(call.inputs.size())), call.inputs);
    write_host_slices(output.initOutputs(list_count(call.outputs.size())), call.outputs);
}

void write_host_exchange(wire::HostExchange::Builder output, const HostExchange& host) {
    output.setStartupMark(host.startup_mark);
    output.setCommandPage(host.command_page);
    output.setCommandOffset(host.command_offset);
    auto pages = output.initPages(list_count(host.pages.size()));
    for (unsigned i = 0; i < pages.size(); ++i) {
        pages[i].setIndex(host.pages[i].index);
        pages[i].setSize(host.pages[i].size);
    }
    detail::write_numbers(output.initAttachOrder(list_count(host.attach_order.size())), host.attach_order);
    auto calls = output.initCalls(list_count(host.calls.size()));
    for (unsigned i = 0; i < calls.size(); ++i) {
        write_host_call(calls[i], host.calls[i]);
    }
}

void write_profile_tiles(capnp::List<wire::TileProfilePlan>::Builder output,
                         const std::vector<TileProfilePlan>& tiles) {
    for (unsigned i = 0; i < output.size(); ++i) {
        auto tile = output[i];
        tile.setPhysicalTile(tiles[i].physical_tile);
        auto steps = tile.initSteps(list_count(tiles[i].steps.size()));
        for (unsigned j = 0; j < steps.size(); ++j) {
            detail::write_step(steps[j], tiles[i].steps[j]);
        }
    }
}

void write_debug_map(wire::Application::Builder root, const Application& app) {
    auto symbols = root.initDebugSymbols(list_count(app.debug_symbols.size()));
    for (unsigned i = 0; i < symbols.size(); ++i) {
        symbols[i].setName(text_of(app.debug_symbols[i].name));
        symbols[i].setAddress(app.debug_symbols[i].address);
    }
    auto regions = root.initDebugRegions(list_count(app.debug_regions.size()));
    for (unsigned i = 0; i < regions.size(); ++i) {
        auto region = regions[i];
        region.setPhysicalTile(app.debug_regions[i].physical_tile);
        region.setAddress(app.debug_regions[i].address);
        region.setSize(app.debug_regions[i].size);
        region.setName(text_of(app.debug_regions[i].name));
    }
}

void build_message(capnp::MessageBuilder& message, const Application& app) {
    auto root = message.initRoot<wire::Application>();
    root.setSchemaVersion(package_schema_version);
    root.setCompilerVersion(text_of(app.compiler_version));
    root.setTarget(capnp::Text::Reader(package_target.data(), package_target.size()));
    root.setTileMemoryBase(tile_memory_base);
    root.setTileMemorySize(tile_memory_size);
    write_tiles(root.initTiles(list_count(app.tiles.size())), app.tiles);
    write_bindings(root.initInputs(list_count(app.inputs.size())), app.inputs);
    write_bindings(root.initOutputs(list_count(app.outputs.size())), app.outputs);
    write_bindings(root.initWeights(list_count(app.weights.size())), app.weights);
    write_host_exchange(root.initHostExchange(), app.host_exchange);
    auto entry_points = root.initEntryPoints(list_count(app.entry_points.size()));
    for (unsigned i = 0; i < entry_points.size(); ++i) {
        entry_points[i].setName(text_of(app.entry_points[i].name));
        entry_points[i].setCommand(app.entry_points[i].command);
        entry_points[i].setExternalSyncs(app.entry_points[i].external_syncs);
    }
    auto config_writes = root.initDeviceConfigWrites(list_count(app.device_config_writes.size()));
    for (unsigned i = 0; i < config_writes.size(); ++i) {
        config_writes[i].setOffset(app.device_config_writes[i].offset);
        config_writes[i].setValue(app.device_config_writes[i].value);
    }
    write_profile_tiles(root.initProfileTiles(list_count(app.profile_tiles.size())), app.profile_tiles);
    write_debug_map(root, app);
}

template <class Sink>
Result<void> write_package(const Application& app, Sink& output) {
    if (auto valid = detail::capnp_barrier([&] { return app.validate(); }); !valid) {
        return valid;
    }
    if (detail::events_enabled()) {
        detail::emit(EventLevel::Info, "writing application package",
                     {{"tiles", static_cast<std::uint64_t>(app.tiles.size())}});
    }
    auto written = detail::capnp_barrier([&]() -> Result<void> {
        // The default allocation (a first segment of 1024 words, then growth by the runtime's
        // heuristic) is part of what fixes the bytes.
        capnp::MallocMessageBuilder message;
        build_message(message, app);
        detail::write_message(message, output);
        return {};
    });
    if (!written) {
        return written;
    }
    if (detail::events_enabled()) {
        detail::emit(EventLevel::Info, "application package written");
    }
    return {};
}

} // namespace

Result<void> Application::write(std::vector<std::uint8_t>& output) const {
    return write_package(*this, output);
}

Result<void> Application::write(std::ostream& output) const {
    return write_package(*this, output);
}

} // namespace tarn_package
