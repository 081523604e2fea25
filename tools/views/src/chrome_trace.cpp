// The trace event JSON of a profile report, for trace viewers.
#include <tarn_package/report_views.hpp>

#include <algorithm>
#include <string>

#include <nlohmann/json.hpp>

#include <tarn_package/render.hpp>

#include "timeline.hpp"

namespace tarn_package {

namespace {

using Json = nlohmann::ordered_json;

/// The one process of the trace; tiles are its threads, numbered by physical tile.
constexpr int trace_pid = 1;

/// Turns unwrapped cycles into trace times: microseconds since the report's earliest reading
/// when the clock is known, else cycles since that reading (viewers then label cycles as us).
struct TraceClock {
    std::uint64_t clock_hz = 0;
    std::uint64_t origin = 0;

    [[nodiscard]] Json duration(std::uint64_t cycles) const {
        return clock_hz == 0 ? Json(cycles) : Json(detail::cycles_to_us(cycles, clock_hz));
    }
    [[nodiscard]] Json at(std::uint64_t cycle) const { return duration(cycle - origin); }
};

/// Texts are not always valid UTF-8 in memory; repair them rather than fail the whole trace.
std::string dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json metadata_event(const char* name, std::uint32_t tid, Json args) {
    return Json{{"name", name}, {"ph", "M"}, {"pid", trace_pid}, {"tid", tid}, {"args", std::move(args)}};
}

/// The step's annotations as one object; a name given more than once maps to all its values.
Json metadata_object(const std::vector<ProfileMetadata>& metadata) {
    Json object = Json::object();
    for (const ProfileMetadata& entry : metadata) {
        if (!object.contains(entry.name)) {
            object[entry.name] = entry.value;
        } else if (object[entry.name].is_array()) {
            object[entry.name].push_back(entry.value);
        } else {
            object[entry.name] = Json::array({object[entry.name], entry.value});
        }
    }
    return object;
}

Json step_event(const detail::TimelineStep& step, std::uint32_t tid, const TraceClock& clock) {
    const CycleSample& sample = *step.sample;
    const ProfileStep& planned = sample.step;
    Json args{{"kernel", planned.kernel},
              {"local_index", planned.local_index},
              {"phase", planned.phase},
              {"epoch", planned.epoch},
              {"metadata", metadata_object(planned.metadata)},
              {"exchange_event_cycles", planned.exchange_event_cycles},
              {"cycles", step.cycles()},
              {"start_cycle", sample.start_cycle},
              {"end_cycle", sample.end_cycle}};
    return Json{{"name", planned.operation},
                {"cat", detail::kind_name(detail::kind_index(planned.kind))},
                {"ph", "X"},
                {"pid", trace_pid},
                {"tid", tid},
                {"ts", clock.at(step.start)},
                {"dur", clock.duration(step.cycles())},
                {"args", std::move(args)}};
}

// Exchange activity cycles are offsets from the start of their step: the plan gives them as small
// numbers within the step's length, not as counter readings. Both ends are clamped into the step
// (an end before the start gives an empty activity at the start) so that the activity nests in
// its step's event; the raw offsets stay in the event's args.
Json activity_event(const ProfileExchangeActivity& activity, const detail::TimelineStep& step,
                    std::uint32_t tid, const TraceClock& clock) {
    const std::uint64_t length = step.cycles();
    const std::uint64_t begin = std::min<std::uint64_t>(activity.start_cycle, length);
    const std::uint64_t end = std::clamp<std::uint64_t>(activity.end_cycle, begin, length);
    return Json{{"name", to_string(activity.kind)},
                {"cat", "exchange_activity"},
                {"ph", "X"},
                {"pid", trace_pid},
                {"tid", tid},
                {"ts", clock.at(step.start + begin)},
                {"dur", clock.duration(end - begin)},
                {"args", Json{{"start_cycle", activity.start_cycle}, {"end_cycle", activity.end_cycle}}}};
}

Json header_fields(const detail::Timeline& timeline) {
    const bool timed = timeline.clock_hz != 0;
    Json other{{"clock_hz", timeline.clock_hz},
               {"time_unit", timed ? "microseconds" : "cycles"},
               {"cycle_origin", timeline.origin}};
    if (!timed) {
        other["note"] = "clock frequency unknown: timestamps and durations are cycles, not microseconds";
    }
    // Viewers accept only "ms" and "ns"; nanoseconds suit steps of a few thousand cycles at GHz
    // clocks, and with cycles as the unit the default keeps the viewer's numbers equal to cycles.
    return Json{{"displayTimeUnit", timed ? "ns" : "ms"}, {"otherData", std::move(other)}};
}

void append_event(std::string& out, const Json& event) {
    out += out.back() == '[' ? "\n" : ",\n";
    out += dump(event);
}

} // namespace

std::string render_chrome_trace(const ProfileReport& report) {
    const detail::Timeline timeline = detail::build_timeline(report);
    const TraceClock clock{.clock_hz = timeline.clock_hz, .origin = timeline.origin};
    std::string out = dump(header_fields(timeline));
    out.pop_back(); // reopen the object to add the events, one per line
    out += ",\"traceEvents\":[";
    const char* process =
        timeline.clock_hz != 0 ? "profile report" : "profile report (clock unknown, times in cycles)";
    append_event(out, metadata_event("process_name", 0, Json{{"name", process}}));
    for (std::size_t position = 0; position < timeline.tiles.size(); ++position) {
        const detail::TileTimeline& tile = timeline.tiles[position];
        const std::uint32_t tid = tile.physical_tile;
        append_event(out, metadata_event("thread_name", tid, Json{{"name", "tile " + std::to_string(tid)}}));
        append_event(out, metadata_event("thread_sort_index", tid, Json{{"sort_index", position}}));
        for (const detail::TimelineStep& step : tile.steps) {
            append_event(out, step_event(step, tid, clock));
            for (const ProfileExchangeActivity& activity : step.sample->step.exchange_activities) {
                append_event(out, activity_event(activity, step, tid, clock));
            }
        }
    }
    out += "\n]}\n";
    return out;
}

} // namespace tarn_package
