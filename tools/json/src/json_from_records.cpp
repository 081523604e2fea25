#include <tarn_package/json.hpp>
#include <tarn_package/render.hpp>

namespace tarn_package {
namespace {

// Every record becomes an object whose keys follow the record's field order.

template <class T, class Convert>
Json array_of(const std::vector<T>& items, Convert convert) {
    Json array = Json::array();
    for (const auto& item : items) {
        array.push_back(convert(item));
    }
    return array;
}

Json numbers(const std::vector<std::uint32_t>& values) {
    return array_of(values, [](std::uint32_t value) { return Json(value); });
}

Json segment_json(const Segment& segment, JsonData data) {
    Json object{{"address", segment.address}, {"memory_size", segment.memory_size}};
    if (data == JsonData::Base64) {
        object["data"] = base64_encode(segment.data);
    } else if (data == JsonData::Hex) {
        object["data"] = hex_encode(segment.data);
    }
    object["flags"] = segment.flags;
    return object;
}

Json tile_json(const TileImage& tile, JsonData data) {
    return Json{
        {"physical_tile", tile.physical_tile},
        {"entry_point", tile.entry_point},
        {"command_address", tile.command_address},
        {"diagnostic_address", tile.diagnostic_address},
        {"segments", array_of(tile.segments, [&](const Segment& s) { return segment_json(s, data); })}};
}

Json binding_json(const Binding& binding) {
    return Json{{"name", binding.name},
                {"dtype", binding.dtype},
                {"shape", numbers(binding.shape)},
                {"slices", array_of(binding.slices, [](const RegionSlice& slice) {
                     return Json{{"tile", slice.tile},
                                 {"tile_address", slice.tile_address},
                                 {"file_offset", slice.file_offset},
                                 {"size", slice.size}};
                 })}};
}

Json host_slice_json(const HostSlice& slice) {
    return Json{{"page", slice.page},
                {"page_offset", slice.page_offset},
                {"file_offset", slice.file_offset},
                {"size", slice.size}};
}

Json host_call_json(const HostCall& call) {
    return Json{{"name", call.name},
                {"command", call.command},
                {"phases", call.phases},
                {"inputs", array_of(call.inputs, host_slice_json)},
                {"outputs", array_of(call.outputs, host_slice_json)},
                {"invocations", call.invocations},
                {"input_batch_ends", numbers(call.input_batch_ends)},
                {"output_batch_ends", numbers(call.output_batch_ends)}};
}

Json host_exchange_json(const HostExchange& host) {
    return Json{{"startup_mark", host.startup_mark},
                {"command_page", host.command_page},
                {"command_offset", host.command_offset},
                {"pages", array_of(host.pages,
                                   [](const HostPage& page) {
                                       return Json{{"index", page.index}, {"size", page.size}};
                                   })},
                {"attach_order", numbers(host.attach_order)},
                {"calls", array_of(host.calls, host_call_json)}};
}

Json step_json(const ProfileStep& step) {
    return Json{{"local_index", step.local_index},
                {"phase", step.phase},
                {"epoch", step.epoch},
                {"operation", step.operation},
                {"kind", to_string(step.kind)},
                {"kernel", step.kernel},
                {"metadata", array_of(step.metadata,
                                      [](const ProfileMetadata& entry) {
                                          return Json{{"name", entry.name}, {"value", entry.value}};
                                      })},
                {"exchange_activities", array_of(step.exchange_activities,
                                                 [](const ProfileExchangeActivity& activity) {
                                                     return Json{{"kind", to_string(activity.kind)},
                                                                 {"start_cycle", activity.start_cycle},
                                                                 {"end_cycle", activity.end_cycle}};
                                                 })},
                {"exchange_event_cycles", step.exchange_event_cycles}};
}

Json plan_json(const TileProfilePlan& plan) {
    return Json{{"physical_tile", plan.physical_tile}, {"steps", array_of(plan.steps, step_json)}};
}

Json debug_json(const DebugSymbol& symbol) {
    return Json{{"name", symbol.name}, {"address", symbol.address}};
}

Json debug_json(const DebugRegion& region) {
    return Json{{"physical_tile", region.physical_tile},
                {"address", region.address},
                {"size", region.size},
                {"name", region.name}};
}

} // namespace

Json application_to_json(const Application& app, JsonData data) {
    return Json{
        {"compiler_version", app.compiler_version},
        {"tiles", array_of(app.tiles, [&](const TileImage& tile) { return tile_json(tile, data); })},
        {"inputs", array_of(app.inputs, binding_json)},
        {"outputs", array_of(app.outputs, binding_json)},
        {"weights", array_of(app.weights, binding_json)},
        {"host_exchange", host_exchange_json(app.host_exchange)},
        {"entry_points", array_of(app.entry_points,
                                  [](const EntryPoint& entry) {
                                      return Json{{"name", entry.name},
                                                  {"command", entry.command},
                                                  {"external_syncs", entry.external_syncs}};
                                  })},
        {"device_config_writes", array_of(app.device_config_writes,
                                          [](const DeviceConfigWrite& write) {
                                              return Json{{"offset", write.offset}, {"value", write.value}};
                                          })},
        {"profile_tiles", array_of(app.profile_tiles, plan_json)},
        {"debug_symbols", array_of(app.debug_symbols, [](const DebugSymbol& s) { return debug_json(s); })},
        {"debug_regions", array_of(app.debug_regions, [](const DebugRegion& r) { return debug_json(r); })},
    };
}

Json profile_report_to_json(const ProfileReport& report) {
    return Json{{"clock_hz", report.clock_hz},
                {"tiles", array_of(report.tiles, [](const TileProfile& tile) {
                     return Json{{"physical_tile", tile.physical_tile},
                                 {"samples", array_of(tile.samples, [](const CycleSample& sample) {
                                      return Json{{"step", step_json(sample.step)},
                                                  {"start_cycle", sample.start_cycle},
                                                  {"end_cycle", sample.end_cycle}};
                                  })}};
                 })}};
}

} // namespace tarn_package
