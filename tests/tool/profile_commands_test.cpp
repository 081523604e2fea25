#include <gtest/gtest.h>

#include <tarn_package/json.hpp>

#include "fixtures.hpp"
#include "tool_fixture.hpp"

namespace tarn_package::testing {
namespace {

ProfileStep step(std::uint32_t index, ProfileStepKind kind, std::string operation) {
    ProfileStep planned = populated_step();
    planned.local_index = index;
    planned.kind = kind;
    planned.operation = std::move(operation);
    return planned;
}

// The populated package plus tile 3 with a plan of three steps, an output "prefix" of 8 bytes
// in front of the cycle profile binding, and that binding with one slice per profiled tile.
Application profiled_application() {
    Application app = populated_application();
    app.tiles.push_back(
        TileImage{.physical_tile = 3,
                  .entry_point = 0x4c000,
                  .command_address = 0,
                  .diagnostic_address = 0,
                  .segments = {Segment{.address = 0x4c000, .memory_size = 4, .data = {}, .flags = 0}}});
    app.profile_tiles.push_back(
        TileProfilePlan{.physical_tile = 3,
                        .steps = {step(0, ProfileStepKind::Exchange, "exchange.1"),
                                  step(1, ProfileStepKind::Compute, "matmul.2"),
                                  step(2, ProfileStepKind::Synchronization, "sync.3")}});
    app.outputs.push_back(
        Binding{.name = "prefix",
                .dtype = "u8",
                .shape = {8},
                .slices = {RegionSlice{.tile = 0, .tile_address = 0x4c100, .file_offset = 0, .size = 8}}});
    app.outputs.push_back(
        Binding{.name = "profile.cycles",
                .dtype = "u32",
                .shape = {6},
                .slices = {RegionSlice{.tile = 0, .tile_address = 0x4c200, .file_offset = 0, .size = 8},
                           RegionSlice{.tile = 3, .tile_address = 0x4c200, .file_offset = 8, .size = 16}}});
    return app;
}

// Tile 0's words 100, 350; tile 3's words 1000, 1100, 1300 and 4294967295 (a counter about to wrap).
std::string run_output() {
    std::string bytes(8, '\xa5');
    for (const std::uint32_t word : {100u, 350u, 1000u, 1100u, 1300u, 4294967295u}) {
        for (int i = 0; i < 4; ++i) {
            bytes += static_cast<char>((word >> (8 * i)) & 0xff);
        }
    }
    return bytes;
}

ProfileReport expected_report(std::uint64_t clock_hz) {
    const Application app = profiled_application();
    const auto& first = app.profile_tiles[0].steps;
    const auto& second = app.profile_tiles[1].steps;
    return ProfileReport{
        .clock_hz = clock_hz,
        .tiles = {TileProfile{.physical_tile = 0, .samples = {CycleSample{first[0], 100, 350}}},
                  TileProfile{.physical_tile = 3,
                              .samples = {CycleSample{second[0], 1000, 1100},
                                          CycleSample{second[1], 1100, 1300},
                                          CycleSample{second[2], 1300, 4294967295u}}}},
    };
}

class ProfileCommandsTest : public ToolTest {
  protected:
    void SetUp() override {
        write_package("app.package", profiled_application());
        write("run.output", run_output());
        const auto profiled =
            run({"profile", "app.package", "run.output", "--clock-hz", "1000000000", "-o", "run.report"});
        ASSERT_EQ(profiled.status, 0) << profiled.err;
        ASSERT_EQ(profiled.out, "");
    }
};

TEST_F(ProfileCommandsTest, ProfileStoresTheDecodedReport) {
    const auto stored = ProfileReport::read(std::span(
        reinterpret_cast<const std::uint8_t*>(read("run.report").data()), read("run.report").size()));
    ASSERT_TRUE(stored) << stored.error().what();
    EXPECT_EQ(*stored, expected_report(1'000'000'000));

    // The run's bytes may come from standard input, and the report go to standard output.
    const auto piped = run({"profile", "app.package", "-", "--clock-hz", "0x10"}, run_output());
    ASSERT_EQ(piped.status, 0) << piped.err;
    const auto json = run({"report", "-", "--format", "json"}, piped.out);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(*profile_report_from_json(*parse_json(json.out)), expected_report(16));
}

TEST_F(ProfileCommandsTest, ProfileRefusals) {
    write_package("sample.package", populated_application());
    write("short.output", run_output().substr(0, 31));
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{"profile", "app.package", "short.output", "--clock-hz", "1"},
         "tarn-package: short.output: Invalid: profile binding exceeds runtime output"},
        {{"profile", "sample.package", "run.output", "--clock-hz", "1"},
         "tarn-package: run.output: Invalid: application has no cycle profile binding"},
        {{"profile", "app.package", "missing.output", "--clock-hz", "1"},
         "tarn-package: missing.output: Io: cannot open: No such file or directory"},
        {{"profile", "run.output", "run.output", "--clock-hz", "1"}, "tarn-package: run.output: Capnp: "},
        {{"report", "missing.report"},
         "tarn-package: missing.report: Io: cannot open: No such file or directory"},
        {{"report", "run.output"}, "tarn-package: run.output: Capnp: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const auto refused = run(c.arguments);
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.err.starts_with(c.error)) << refused.err;
        EXPECT_EQ(std::ranges::count(refused.err, '\n'), 1);
        EXPECT_EQ(refused.out, "");
    }
}

TEST_F(ProfileCommandsTest, ChromeTraceHoldsOneEventPerSample) {
    const auto trace = run({"report", "run.report", "--format", "chrome-trace"});
    ASSERT_EQ(trace.status, 0) << trace.err;
    const auto document = parse_json(trace.out);
    ASSERT_TRUE(document) << document.error().what();
    std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> steps;
    for (const auto& event : (*document)["traceEvents"]) {
        if (event["ph"] == "X" && event["cat"] != "exchange_activity") {
            steps.emplace_back(event["name"], event["args"]["start_cycle"], event["args"]["end_cycle"]);
        }
    }
    EXPECT_EQ(steps, (std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>>{
                         {"operation.0", 100, 350},
                         {"exchange.1", 1000, 1100},
                         {"matmul.2", 1100, 1300},
                         {"sync.3", 1300, 4294967295u}}));
}

TEST_F(ProfileCommandsTest, SvgIsWellFormedXmlWithOneRectPerSample) {
    ASSERT_EQ(run({"report", "run.report", "--format", "svg", "-o", "run.svg"}).status, 0);
    // Python's XML parser reads the file; the step rectangles sit in groups of class "steps".
    const std::string script =
        "import sys, xml.etree.ElementTree as ET\n"
        "root = ET.parse(sys.argv[1]).getroot()\n"
        "ns = '{http://www.w3.org/2000/svg}'\n"
        "print(root.tag == ns + 'svg', sum(len(g.findall(ns + 'rect')) for g in root.iter(ns + "
        "'g') if g.get('class') == 'steps'))\n";
    const auto parsed = run_process(PYTHON3_EXECUTABLE, {"-c", script, path("run.svg")}, {}, path(""));
    EXPECT_EQ(parsed.status, 0) << parsed.err;
    EXPECT_EQ(parsed.out, "True 4\n");
}

TEST_F(ProfileCommandsTest, TableIsTheDefaultView) {
    const auto table = run({"report", "run.report"});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("matmul.2"), std::string::npos) << table.out;
    ASSERT_EQ(run({"report", "run.report", "--format", "table", "-o", "run.txt"}).status, 0);
    EXPECT_EQ(read("run.txt"), table.out);
}

} // namespace
} // namespace tarn_package::testing
