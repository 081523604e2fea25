// Shared fixtures of the tests: the smallest valid package and a fully populated one.
#pragma once

#include <tarn_package/tarn_package.hpp>

namespace tarn_package::testing {

/// One tile (0) with one segment at 0x4c000 of memory size 8 holding 1, 2, 3, 4; nothing else.
inline Application minimal_application() {
    Application app;
    app.tiles.push_back(TileImage{
        .physical_tile = 0,
        .entry_point = 0x4c000,
        .command_address = 0x4c100,
        .diagnostic_address = 0x4c200,
        .segments = {Segment{.address = 0x4c000, .memory_size = 8, .data = {1, 2, 3, 4}, .flags = 5}},
    });
    return app;
}

/// The profile step of the populated package.
inline ProfileStep populated_step() {
    return ProfileStep{
        .local_index = 0,
        .phase = 7,
        .epoch = 0,
        .operation = "operation.0",
        .kind = ProfileStepKind::Compute,
        .kernel = "kernel",
        .metadata = {ProfileMetadata{.name = "reason", .value = "OperatorKernel"}},
        .exchange_activities =
            {
                ProfileExchangeActivity{
                    .kind = ProfileExchangeActivityKind::Receive, .start_cycle = 3, .end_cycle = 11},
                ProfileExchangeActivity{
                    .kind = ProfileExchangeActivityKind::PartnerBusy, .start_cycle = 1, .end_cycle = 3},
            },
        .exchange_event_cycles = 13,
    };
}

/// The minimal package plus a profile plan, a configuration write, the debug map and a host
/// exchange with two pages and the batched call "batched". Valid, although the call's output
/// slice overlaps its first input slice.
inline Application populated_application() {
    Application app = minimal_application();
    app.profile_tiles.push_back(TileProfilePlan{.physical_tile = 0, .steps = {populated_step()}});
    app.device_config_writes.push_back(DeviceConfigWrite{.offset = 0x4018, .value = 0xc000000d});
    app.debug_symbols.push_back(DebugSymbol{.name = "kernel", .address = 0x4c000});
    app.debug_regions.push_back(
        DebugRegion{.physical_tile = 0xffffffff, .address = 0x4c000, .size = 8, .name = "linked executable"});
    app.host_exchange = HostExchange{
        .startup_mark = 1,
        .command_page = 0,
        .command_offset = 0,
        .pages = {HostPage{.index = 0, .size = 0x1000}, HostPage{.index = 1, .size = 0x2000}},
        .attach_order = {0, 1},
        .calls = {HostCall{
            .name = "batched",
            .command = 2,
            .phases = 4,
            .inputs = {HostSlice{.page = 1, .page_offset = 0, .file_offset = 0, .size = 0x10},
                       HostSlice{.page = 1, .page_offset = 0x1000, .file_offset = 0x10, .size = 0x10}},
            .outputs = {HostSlice{.page = 1, .page_offset = 0, .file_offset = 0, .size = 0x20}},
            .invocations = 1,
            .input_batch_ends = {2},
            .output_batch_ends = {1},
        }},
    };
    return app;
}

/// The populated package plus a second tile with two segments, an input, an output and a weight
/// with shapes and slices, two entry points, a call of three invocations and a second debug
/// symbol: at least one of every record, and distinct numbers wherever they are stored.
inline Application every_record_application() {
    Application app = populated_application();
    app.compiler_version = "tarnc 2.4.1";
    app.tiles.push_back(TileImage{
        .physical_tile = 9,
        .entry_point = 0x4d000,
        .command_address = 0x4d100,
        .diagnostic_address = 0x4d200,
        .segments = {Segment{.address = 0x4d000, .memory_size = 0x100, .data = {9, 8, 7}, .flags = 1},
                     Segment{.address = 0x50000, .memory_size = 0x40, .data = {}, .flags = 2}},
    });
    app.inputs.push_back(Binding{
        .name = "input.image",
        .dtype = "f32",
        .shape = {1, 28, 28},
        .slices = {RegionSlice{.tile = 0, .tile_address = 0x4c010, .file_offset = 0x11, .size = 0x12},
                   RegionSlice{.tile = 9, .tile_address = 0x4d010, .file_offset = 0x21, .size = 0x22}},
    });
    app.outputs.push_back(Binding{
        .name = "output.logits",
        .dtype = "f16",
        .shape = {10},
        .slices = {RegionSlice{.tile = 9, .tile_address = 0x50000, .file_offset = 0, .size = 0x14}},
    });
    app.weights.push_back(Binding{
        .name = "weight.kernel",
        .dtype = "i8",
        .shape = {3, 3},
        .slices = {RegionSlice{.tile = 0, .tile_address = 0x4c400, .file_offset = 0, .size = 9}},
    });
    app.host_exchange.calls.front().invocations = 3;
    app.entry_points = {EntryPoint{.name = "main", .command = 0x31, .external_syncs = 0x32},
                        EntryPoint{.name = "reset", .command = 0x33, .external_syncs = 0}};
    app.debug_symbols.push_back(DebugSymbol{.name = "start", .address = 0x4d000});
    return app;
}

} // namespace tarn_package::testing
