// The trace event JSON of a profile report, read back as JSON.
#include <tarn_package/render.hpp>
#include <tarn_package/report_views.hpp>

#include <algorithm>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "views/report_fixtures.hpp"

namespace tarn_package {
namespace {

using nlohmann::json;
using testing::report_cases;
using testing::tile_profile;

json trace_of(const ProfileReport& report) {
    const std::string text = render_chrome_trace(report);
    return json::parse(text);
}

/// The events of `trace` whose "ph" is `phase`, and, for complete events, whose "cat" is or is
/// not the exchange activity category.
std::vector<json> events(const json& trace, std::string_view phase, bool activities = false) {
    std::vector<json> found;
    for (const json& event : trace.at("traceEvents")) {
        const bool activity = event.value("cat", "") == "exchange_activity";
        if (event.at("ph") == phase && (phase != "X" || activity == activities)) {
            found.push_back(event);
        }
    }
    return found;
}

double micros_or_cycles(std::uint64_t cycles, std::uint64_t clock_hz) {
    return clock_hz == 0 ? static_cast<double>(cycles)
                         : static_cast<double>(cycles) * 1e6 / static_cast<double>(clock_hz);
}

TEST(ChromeTrace, HasOneThreadPerTileAndOneContiguousEventPerSample) {
    for (const auto& [name, report, cycles] : report_cases()) {
        SCOPED_TRACE(name);
        const json trace = trace_of(report);
        const bool timed = report.clock_hz != 0;
        EXPECT_EQ(trace.at("otherData").at("time_unit"), timed ? "microseconds" : "cycles");
        EXPECT_EQ(trace.at("otherData").at("clock_hz"), report.clock_hz);
        EXPECT_TRUE(trace.at("displayTimeUnit") == "ns" || trace.at("displayTimeUnit") == "ms");
        const auto metadata = events(trace, "M");
        ASSERT_FALSE(metadata.empty());
        EXPECT_EQ(metadata.front().at("name"), "process_name");

        std::vector<json> thread_names;
        std::ranges::copy_if(metadata, std::back_inserter(thread_names),
                             [](const json& event) { return event.at("name") == "thread_name"; });
        ASSERT_EQ(thread_names.size(), report.tiles.size());
        std::uint64_t origin = UINT64_MAX;
        for (const TileProfile& tile : report.tiles) {
            if (!tile.samples.empty()) {
                origin = std::min<std::uint64_t>(origin, tile.samples.front().start_cycle);
            }
        }
        std::map<std::uint32_t, std::vector<json>> steps_by_tid;
        for (const json& event : events(trace, "X")) {
            steps_by_tid[event.at("tid").get<std::uint32_t>()].push_back(event);
        }
        for (std::size_t t = 0; t < report.tiles.size(); ++t) {
            const TileProfile& tile = report.tiles[t];
            SCOPED_TRACE("tile " + std::to_string(tile.physical_tile));
            EXPECT_EQ(thread_names[t].at("tid"), tile.physical_tile);
            EXPECT_EQ(thread_names[t].at("args").at("name"), "tile " + std::to_string(tile.physical_tile));
            const auto& steps = steps_by_tid[tile.physical_tile];
            ASSERT_EQ(steps.size(), tile.samples.size());
            double expected_ts =
                tile.samples.empty()
                    ? 0
                    : micros_or_cycles(tile.samples.front().start_cycle - origin, report.clock_hz);
            for (std::size_t s = 0; s < steps.size(); ++s) {
                const ProfileStep& step = tile.samples[s].step;
                EXPECT_EQ(steps[s].at("name"), step.operation);
                EXPECT_EQ(steps[s].at("cat"), to_string(step.kind));
                EXPECT_EQ(steps[s].at("pid"), 1);
                // Steps follow each other without gap or overlap, across counter wraps too.
                EXPECT_DOUBLE_EQ(steps[s].at("ts").get<double>(), expected_ts) << "step " << s;
                EXPECT_DOUBLE_EQ(steps[s].at("dur").get<double>(),
                                 micros_or_cycles(cycles[t][s], report.clock_hz))
                    << "step " << s;
                expected_ts += steps[s].at("dur").get<double>();
            }
        }
        EXPECT_EQ(events(trace, "X").size(),
                  std::accumulate(cycles.begin(), cycles.end(), std::size_t{0},
                                  [](std::size_t n, const auto& tile) { return n + tile.size(); }));
    }
}

TEST(ChromeTrace, SaysWhenTimesAreCycles) {
    ProfileReport report = report_cases().front().report;
    report.clock_hz = 0;
    const json cycles = trace_of(report);
    EXPECT_EQ(events(cycles, "M").front().at("args").at("name"),
              "profile report (clock unknown, times in cycles)");
    EXPECT_TRUE(cycles.at("otherData").contains("note"));
    report.clock_hz = 2000000000;
    const json timed = trace_of(report);
    EXPECT_EQ(events(timed, "M").front().at("args").at("name"), "profile report");
    EXPECT_FALSE(timed.at("otherData").contains("note"));
    EXPECT_DOUBLE_EQ(events(timed, "X").front().at("dur").get<double>(), 0.15); // 300 cycles at 2 GHz
}

TEST(ChromeTrace, CarriesTheStepFieldsInArgs) {
    ProfileReport report{.clock_hz = 0,
                         .tiles = {tile_profile(7, 4294967290, {{ProfileStepKind::Compute, "op", 6}})}};
    ProfileStep& step = report.tiles[0].samples[0].step;
    step.phase = 4;
    step.epoch = 2;
    step.exchange_event_cycles = 13;
    step.metadata = {{"reason", "OperatorKernel"}, {"layer", "3"}, {"reason", "Fused"}, {"reason", "Tail"}};
    const json args = events(trace_of(report), "X").front().at("args");
    EXPECT_EQ(args.at("kernel"), "kernel.op");
    EXPECT_EQ(args.at("local_index"), 0);
    EXPECT_EQ(args.at("phase"), 4);
    EXPECT_EQ(args.at("epoch"), 2);
    EXPECT_EQ(args.at("exchange_event_cycles"), 13);
    EXPECT_EQ(args.at("start_cycle"), 4294967290u);
    EXPECT_EQ(args.at("end_cycle"), 6);
    EXPECT_EQ(args.at("cycles"), 12);
    // A name given more than once keeps all its values, in order.
    EXPECT_EQ(args.at("metadata"),
              json::parse(R"({"reason":["OperatorKernel","Fused","Tail"],"layer":"3"})"));
}

TEST(ChromeTrace, NestsExchangeActivitiesInTheirStep) {
    using enum ProfileExchangeActivityKind;
    struct Case {
        const char* name;
        ProfileExchangeActivity activity;
        std::uint64_t expected_offset;
        std::uint64_t expected_cycles;
    };
    // The step starts at cycle 1000 (ts 0) and lasts 20 cycles.
    const std::vector<Case> cases{
        {"inside the step", {Receive, 3, 11}, 3, 8},    {"up to the step's end", {PartnerBusy, 0, 20}, 0, 20},
        {"end past the step", {Send, 15, 9999}, 15, 5}, {"wholly past the step", {Send, 50, 60}, 20, 0},
        {"end before start", {Receive, 10, 5}, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProfileReport report{
            .clock_hz = 0,
            .tiles = {tile_profile(
                0, 990, {{ProfileStepKind::Idle, "idle", 1000}, {ProfileStepKind::Exchange, "x", 1020}})}};
        report.tiles[0].samples[1].step.exchange_activities = {c.activity};
        const json trace = trace_of(report);
        const auto steps = events(trace, "X");
        const auto activities = events(trace, "X", true);
        ASSERT_EQ(steps.size(), 2u);
        ASSERT_EQ(activities.size(), 1u);
        const json& activity = activities.front();
        EXPECT_EQ(activity.at("name"), to_string(c.activity.kind));
        EXPECT_EQ(activity.at("tid"), 0);
        EXPECT_EQ(activity.at("ts"), 10 + c.expected_offset);
        EXPECT_EQ(activity.at("dur"), c.expected_cycles);
        EXPECT_EQ(activity.at("args").at("start_cycle"), c.activity.start_cycle);
        EXPECT_EQ(activity.at("args").at("end_cycle"), c.activity.end_cycle);
        const double step_end = steps[1].at("ts").get<double>() + steps[1].at("dur").get<double>();
        EXPECT_GE(activity.at("ts").get<double>(), steps[1].at("ts").get<double>());
        EXPECT_LE(activity.at("ts").get<double>() + activity.at("dur").get<double>(), step_end);
    }
}

TEST(ChromeTrace, StaysValidJsonForAnyText) {
    ProfileReport report{.clock_hz = 0, .tiles = {tile_profile(0, 0, {{ProfileStepKind::Compute, "", 1}})}};
    ProfileStep& step = report.tiles[0].samples[0].step;
    step.operation = std::string("bad \xff\xfe utf-8, \"quotes\", \\ and \x01 control", 40);
    step.kernel = std::string("nul\0inside", 10);
    step.metadata = {{"\xc3", "\x80\x80"}};
    const json trace = trace_of(report);
    const json event = events(trace, "X").front();
    EXPECT_EQ(event.at("name").get<std::string>().substr(0, 4), "bad ");
    EXPECT_NE(event.at("name").get<std::string>().find("\"quotes\", \\ and \x01 control"), std::string::npos);
    EXPECT_EQ(event.at("args").at("kernel"), std::string("nul\0inside", 10));
}

TEST(ChromeTrace, LargeReportStaysOneEventPerLine) {
    const ProfileReport report = testing::generated_report(1500, 8, 1500000000);
    const std::string text = render_chrome_trace(report);
    const json trace = json::parse(text);
    // One process name, a name and a sort index per tile, a step per sample and the activities
    // of the exchange steps (two each, a quarter of the steps).
    EXPECT_EQ(trace.at("traceEvents").size(), 1 + 1500 * 2 + 1500 * 8 + 1500 * 2 * 2);
    EXPECT_EQ(static_cast<std::size_t>(std::ranges::count(text, '\n')), trace.at("traceEvents").size() + 2);
}

} // namespace
} // namespace tarn_package
