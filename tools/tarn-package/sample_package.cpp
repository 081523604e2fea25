#include "sample_package.hpp"

#include "little_endian.hpp"

#include <tarn_package/profile_decoding.hpp>

#include <algorithm>
#include <string>

namespace tarn_package::tool {
namespace {

// Where the demo's profiling run leaves each tile's counter readings: past the sample segment.
constexpr std::uint32_t cycle_words_address = 0x4c100;

ProfileStep sample_step() {
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

HostExchange sample_host_exchange() {
    return HostExchange{
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
}

} // namespace

Application sample_application() {
    Application app;
    app.tiles.push_back(TileImage{
        .physical_tile = 0,
        .entry_point = 0x4c000,
        .command_address = 0x4c100,
        .diagnostic_address = 0x4c200,
        .segments = {Segment{.address = 0x4c000, .memory_size = 8, .data = {1, 2, 3, 4}, .flags = 5}},
    });
    app.profile_tiles.push_back(TileProfilePlan{.physical_tile = 0, .steps = {sample_step()}});
    app.device_config_writes.push_back(DeviceConfigWrite{.offset = 0x4018, .value = 0xc000000d});
    app.debug_symbols.push_back(DebugSymbol{.name = "kernel", .address = 0x4c000});
    app.debug_regions.push_back(
        DebugRegion{.physical_tile = 0xffffffff, .address = 0x4c000, .size = 8, .name = "linked executable"});
    app.host_exchange = sample_host_exchange();
    return app;
}

Application sample_with_cycle_profile() {
    Application app = sample_application();
    Binding cycles{
        .name = std::string(cycle_profile_binding_name), .dtype = "u32", .shape = {}, .slices = {}};
    std::uint64_t offset = 0;
    for (const auto& plan : app.profile_tiles) {
        const auto words = static_cast<std::uint32_t>(plan.steps.size() + 1);
        cycles.slices.push_back(RegionSlice{.tile = plan.physical_tile,
                                            .tile_address = cycle_words_address,
                                            .file_offset = offset,
                                            .size = 4 * words});
        offset += 4 * words;
    }
    cycles.shape = {static_cast<std::uint32_t>(offset / 4)};
    app.outputs.push_back(std::move(cycles));
    return app;
}

std::vector<std::uint8_t> synthetic_run_output(const Application& app) {
    std::uint64_t total = 0;
    for (const auto& output : app.outputs) {
        total += binding_size(output);
    }
    std::vector<std::uint8_t> bytes(total, 0);
    std::uint64_t base = 0;
    for (const auto& output : app.outputs) {
        if (output.name == cycle_profile_binding_name) {
            for (const auto& slice : output.slices) {
                // Each tile starts a little later and spends a few hundred cycles per step.
                std::uint32_t cycle = 1000 + 50 * slice.tile;
                for (std::uint64_t word = 0; word < slice.size / 4; ++word) {
                    detail::store_le32(bytes.data() + base + slice.file_offset + 4 * word, cycle);
                    cycle += 240 + 17 * static_cast<std::uint32_t>(word % 5);
                }
            }
        }
        base += binding_size(output);
    }
    return bytes;
}

} // namespace tarn_package::tool
