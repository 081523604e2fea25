#include <gtest/gtest.h>

#include <tarn_package/json.hpp>

#include <functional>

#include "application.capnp.h"
#include "fixtures.hpp"
#include "message_tools.hpp"
#include "tool_fixture.hpp"

namespace tarn_package::testing {
namespace {

namespace message = tarn_package::schema::application;

std::string bytes_of(const Application& app) {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(app.write(bytes));
    return {bytes.begin(), bytes.end()};
}

// A message with the right header, filled by `fill`; the writer's validation is bypassed so
// that broken packages reach the tool.
std::string package_message(const std::function<void(message::Application::Builder)>& fill) {
    capnp::MallocMessageBuilder builder;
    auto root = builder.initRoot<message::Application>();
    root.setSchemaVersion(5);
    root.setCompilerVersion("0.1.0");
    root.setTarget("tarn21");
    root.setTileMemoryBase(0x4c000);
    root.setTileMemorySize(0x9c000);
    fill(root);
    const auto bytes = message_bytes(builder);
    return {bytes.begin(), bytes.end()};
}

// One tile 0 whose segments are (address, memory size), without data.
void add_tile(message::Application::Builder root,
              std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> ranges) {
    auto tile = root.initTiles(1)[0];
    auto segments = tile.initSegments(static_cast<unsigned>(ranges.size()));
    unsigned i = 0;
    for (const auto& [address, size] : ranges) {
        segments[i].setAddress(address);
        segments[i].setMemorySize(size);
        ++i;
    }
}

// The tool's own sample is meant to be the populated package of the tests' fixtures.
TEST_F(ToolTest, ExampleWritesThePopulatedSamplePackage) {
    const auto example = run({"example"});
    EXPECT_EQ(example.status, 0) << example.err;
    EXPECT_EQ(example.err, "");
    EXPECT_EQ(example.out, bytes_of(populated_application()));

    EXPECT_EQ(run({"example", "-o", "sample.package"}).status, 0);
    EXPECT_EQ(read("sample.package"), example.out);
    const auto validated = run({"validate", "sample.package", "-"}, example.out);
    EXPECT_EQ(validated.status, 0);
    EXPECT_EQ(validated.out, "sample.package: ok (1 tile, compiler 0.1.0)\n-: ok (1 tile, compiler 0.1.0)\n");
    EXPECT_EQ(validated.err, "");
}

TEST_F(ToolTest, UsageErrorsExitWithTwoAndOneLine) {
    write("sample.package", bytes_of(populated_application()));
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{}, "tarn-package: usage: A subcommand is required"},
        {{"inspekt", "sample.package"}, "tarn-package: usage: unknown command inspekt"},
        {{"-v", "--log-format", "json"}, "tarn-package: usage: A subcommand is required"},
        {{"validate"}, "tarn-package: usage: FILE is required"},
        {{"inspect", "--bogus", "sample.package"},
         "tarn-package: usage: The following argument was not expected: --bogus"},
        {{"image", "sample.package"}, "tarn-package: usage: --tile is required"},
        {{"image", "sample.package", "--tile", "-1"},
         "tarn-package: usage: --tile: expected an unsigned 32-bit integer, got -1"},
        {{"image", "sample.package", "--tile", "4294967296"},
         "tarn-package: usage: --tile: expected an unsigned 32-bit integer, got 4294967296"},
        {{"profile", "sample.package", "run", "--clock-hz", "1.5e9"},
         "tarn-package: usage: --clock-hz: expected an unsigned 64-bit integer, got 1.5e9"},
        {{"profile", "-", "-", "--clock-hz", "1"},
         "tarn-package: usage: FILE and RUN_OUTPUT cannot both be standard input"},
        {{"dump", "sample.package", "--data", "base32"},
         "tarn-package: usage: --data: base32 not in {base64,hex,omit}"},
        {{"pack", "x.json", "--data", "omit"}, "tarn-package: usage: --data: omit not in {base64,hex}"},
        {{"report", "r", "--format", "html"},
         "tarn-package: usage: --format: html not in {chrome-trace,json,svg,table}"},
        {{"--log-format", "xml", "example"}, "tarn-package: usage: --log-format: xml not in {json,text}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const auto result = run(c.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, c.error + "\n");
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(ToolTest, HelpAndVersion) {
    const auto version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tarn-package 0.1.0\n");
    for (const std::string command :
         {"example", "validate", "inspect", "dump", "pack", "image", "profile", "report", "demo"}) {
        SCOPED_TRACE(command);
        const auto help = run({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find("Usage: tarn-package " + command), std::string::npos) << help.out;
    }
}

TEST_F(ToolTest, RefusedPackagesExitWithOneAndNameTheError) {
    const std::string sample = bytes_of(populated_application());
    const struct {
        std::string name;
        std::string content;
        std::string error; // a prefix for runtime errors, whose wording is the runtime's
    } cases[] = {
        {"empty", "", "Capnp: "},
        {"truncated", sample.substr(0, 40), "Capnp: "},
        {"no tiles", package_message([](auto) {}), "Invalid: application has no tiles"},
        {"old schema", package_message([](auto root) { root.setSchemaVersion(4); }),
         "Invalid: incompatible package header"},
        {"overlap", package_message([](auto root) {
             add_tile(root, {{0x4c000, 8}, {0x4c004, 8}});
         }),
         "Invalid: overlapping segments on tile 0: 0x4c000..0x4c008 and 0x4c004..0x4c00c"},
        {"step kind", package_message([](auto root) {
             add_tile(root, {{0x4c000, 8}});
             root.initProfileTiles(1)[0].initSteps(1)[0].setKind(static_cast<message::ProfileStepKind>(4));
         }),
         "SchemaEnum: enumerant number 4 is not in the schema"},
    };
    write("sample", sample);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(c.name, c.content);
        const auto again = run({"validate", "sample", c.name});
        EXPECT_EQ(again.status, 1);
        EXPECT_TRUE(again.out.starts_with("sample: ok (1 tile, compiler 0.1.0)\n" + c.name + ": " + c.error))
            << again.out;
        EXPECT_EQ(std::ranges::count(again.out, '\n'), 2);
        for (const std::vector<std::string>& command : {std::vector<std::string>{"inspect", c.name},
                                                        {"dump", c.name},
                                                        {"image", c.name, "--tile", "0"}}) {
            SCOPED_TRACE(command.front());
            const auto refused = run(command);
            EXPECT_EQ(refused.status, 1);
            EXPECT_TRUE(refused.err.starts_with("tarn-package: " + c.name + ": " + c.error)) << refused.err;
            EXPECT_EQ(std::ranges::count(refused.err, '\n'), 1) << refused.err;
            EXPECT_EQ(refused.out, "");
        }
    }
}

TEST_F(ToolTest, InputAndOutputFailuresExitWithOne) {
    const auto missing = run({"inspect", "missing.package"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tarn-package: missing.package: Io: cannot open: No such file or directory\n");
    const auto folder = run({"validate", "."});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.out, ".: Io: cannot read: Is a directory\n");
    const auto unwritable = run({"example", "-o", "no/such/folder"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err, "tarn-package: no/such/folder: Io: cannot create: No such file or directory\n");
}

TEST_F(ToolTest, InspectSummarisesEveryPart) {
    Application app = populated_application();
    app.inputs.push_back(
        Binding{.name = "input.0",
                .dtype = "f16",
                .shape = {2, 8},
                .slices = {RegionSlice{.tile = 0, .tile_address = 0x4c100, .file_offset = 0, .size = 8},
                           RegionSlice{.tile = 0, .tile_address = 0x4c200, .file_offset = 16, .size = 4}}});
    app.entry_points.push_back(EntryPoint{.name = "main", .command = 3, .external_syncs = 2});
    app.tiles[0].segments.push_back(
        Segment{.address = 0x4d000, .memory_size = 0x100, .data = {9}, .flags = 0});
    write_package("app.package", app);
    const auto inspected = run({"inspect", "app.package"});
    ASSERT_EQ(inspected.status, 0) << inspected.err;
    EXPECT_EQ(inspected.out, R"(Package header:
  Schema version:     5
  Target:             tarn21
  Tile memory:        0x4c000..0xe8000 (638976 bytes)
  Compiler version:   0.1.0

Tiles (1):
  Tile  Entry    Segments  Load range        Initialised
  0     0x4c000  2         0x4c000..0x4d100  5

Inputs (1):
  Name     Dtype  Shape   Slices  Extent
  input.0  f16    [2, 8]  2       20

Outputs: none

Weights: none

Host exchange:
  Startup mark:       1
  Command word:       page 0, offset 0x0
  Attach order:       0, 1

Host pages (2):
  Index  Size
  0      4096
  1      8192

Host calls (1):
  Name     Command  Phases  Invocations  Inputs                        Outputs
  batched  2        4       1            2 slices in 1 batch (ends 2)  1 slice in 1 batch (ends 1)

Entry points (1):
  Name  Command  External syncs
  main  3        2

Device configuration writes (1):
  Offset  Value
  0x4018  0xc000000d

Profile plans (1):
  Tile  Steps
  0     1

Debug symbols (1):
  Address  Name
  0x4c000  kernel

Debug regions (1):
  Tile  Range             Size  Name
  any   0x4c000..0x4c008  8     linked executable
)");
    ASSERT_EQ(run({"inspect", "-", "-o", "app.txt"}, read("app.package")).status, 0);
    EXPECT_EQ(read("app.txt"), inspected.out);
}

TEST_F(ToolTest, DumpThenPackReproducesTheBytes) {
    write_package("sample.package", populated_application());
    const std::string original = read("sample.package");
    for (const std::string data : {"base64", "hex"}) {
        SCOPED_TRACE(data);
        const auto dumped = run({"dump", "sample.package", "--data", data});
        ASSERT_EQ(dumped.status, 0) << dumped.err;
        const auto document = parse_json(dumped.out);
        ASSERT_TRUE(document);
        EXPECT_EQ((*document)["tiles"][0]["segments"][0]["data"], data == "hex" ? "01020304" : "AQIDBA==");
        const auto packed = run({"pack", "-", "--data", data}, dumped.out);
        ASSERT_EQ(packed.status, 0) << packed.err;
        EXPECT_EQ(packed.out, original);
    }
    ASSERT_EQ(run({"dump", "-", "-o", "sample.json"}, original).status, 0);
    ASSERT_EQ(run({"pack", "sample.json", "-o", "again.package"}).status, 0);
    EXPECT_EQ(read("again.package"), original);

    const auto omitted = run({"dump", "sample.package", "--data", "omit"});
    ASSERT_EQ(omitted.status, 0);
    EXPECT_EQ(omitted.out.find("\"data\""), std::string::npos);
}

TEST_F(ToolTest, PackRefusesBrokenJsonNamingThePath) {
    const Json valid = application_to_json(populated_application());
    const struct {
        std::string name;
        std::function<void(Json&)> mutate;
        std::string error;
    } cases[] = {
        {"negative size",
         [](Json& d) {
             d["tiles"][0]["segments"].push_back(d["tiles"][0]["segments"][0]);
             d["tiles"][0]["segments"][1]["memory_size"] = -8;
         },
         "Invalid: tiles[0].segments[1].memory_size: expected an unsigned 32-bit integer, got -8"},
        {"unknown key", [](Json& d) { d["host_exchange"]["calls"][0]["batches"] = 1; },
         "Invalid: host_exchange.calls[0].batches: unknown key"},
        {"missing key", [](Json& d) { d["debug_regions"][0].erase("name"); },
         "Invalid: debug_regions[0].name: missing key"},
        {"wide number", [](Json& d) { d["device_config_writes"][0]["value"] = 0x100000000u; },
         "Invalid: device_config_writes[0].value: expected an unsigned 32-bit integer, got 4294967296"},
        {"string for a list", [](Json& d) { d["host_exchange"]["attach_order"] = "0, 1"; },
         "Invalid: host_exchange.attach_order: expected an array, got a string"},
        {"valid JSON, invalid package", [](Json& d) { d["tiles"] = Json::array(); },
         "Invalid: application has no tiles"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json document = valid;
        c.mutate(document);
        write("broken.json", *json_text(document));
        const auto packed = run({"pack", "broken.json", "-o", "out.package"});
        EXPECT_EQ(packed.status, 1);
        EXPECT_EQ(packed.err, "tarn-package: broken.json: " + c.error + "\n");
        EXPECT_FALSE(std::filesystem::exists(path("out.package")));
    }
    const auto syntax = run({"pack", "-"}, "{\"compiler_version\": \"0.1.0\",");
    EXPECT_EQ(syntax.status, 1);
    EXPECT_TRUE(syntax.err.starts_with("tarn-package: -: Invalid: json: parse error at line 1, column 30"))
        << syntax.err;
}

TEST_F(ToolTest, ImageWritesTheTileBytes) {
    Application app = minimal_application();
    app.tiles.push_back(TileImage{
        .physical_tile = 7,
        .entry_point = 0x4c010,
        .command_address = 0,
        .diagnostic_address = 0,
        .segments = {Segment{.address = 0x4c010, .memory_size = 2, .data = {0xbb, 0xcc}, .flags = 0},
                     Segment{.address = 0x4c000, .memory_size = 4, .data = {0xaa}, .flags = 0}}});
    write_package("app.package", app);
    const auto first = run({"image", "app.package", "--tile", "0"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, std::string("\x01\x02\x03\x04\0\0\0\0", 8));
    EXPECT_EQ(first.err, "tile 0: load base 0x4c000, 8 bytes\n");

    ASSERT_EQ(run({"image", "app.package", "--tile", "7", "-o", "tile7.image"}).status, 0);
    std::string expected(0x12, '\0');
    expected[0] = '\xaa';
    expected[0x10] = '\xbb';
    expected[0x11] = '\xcc';
    EXPECT_EQ(read("tile7.image"), expected);

    const auto unknown = run({"image", "app.package", "--tile", "5"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "tarn-package: app.package: Invalid: unknown tile 5\n");
}

TEST_F(ToolTest, VerbosePrintsTheLibrarysEvents) {
    write_package("sample.package", populated_application());
    const auto quiet = run({"image", "sample.package", "--tile", "0", "-o", "image"});
    EXPECT_EQ(quiet.err, "tile 0: load base 0x4c000, 8 bytes\n");

    const auto text = run({"-v", "image", "sample.package", "--tile", "0", "-o", "image"});
    EXPECT_EQ(text.err, "INFO tarn_package: reading application package\n"
                        "INFO tarn_package: application package read tiles=1 compiler=0.1.0\n"
                        "TRACE tarn_package: reconstructing tile image physical_tile=0 load_base=0x4c000 "
                        "image_bytes=8\n"
                        "tile 0: load base 0x4c000, 8 bytes\n");

    const auto json = run({"validate", "sample.package", "--verbose", "--log-format", "json"});
    EXPECT_EQ(json.status, 0);
    std::vector<Json> events;
    std::istringstream lines(json.err);
    for (std::string line; std::getline(lines, line);) {
        const auto event = parse_json(line);
        ASSERT_TRUE(event) << line;
        events.push_back(*event);
    }
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(
        events[0],
        Json::parse(R"({"level":"INFO","target":"tarn_package","message":"reading application package"})"));
    EXPECT_EQ(events[1],
              Json::parse(R"({"level":"INFO","target":"tarn_package","message":"application package read",
                                        "tiles":1,"compiler":"0.1.0"})"));
}

// A package of a few hundred tiles, each with a few segments, goes through every command.
TEST_F(ToolTest, HandlesAPackageOfManyTiles) {
    constexpr std::uint32_t tile_count = 400;
    Application app = populated_application();
    app.tiles.clear();
    for (std::uint32_t tile = 0; tile < tile_count; ++tile) {
        TileImage image{.physical_tile = tile,
                        .entry_point = 0x4c000,
                        .command_address = 0,
                        .diagnostic_address = 0,
                        .segments = {}};
        for (std::uint32_t segment = 0; segment < 4; ++segment) {
            image.segments.push_back(
                Segment{.address = 0x4c000 + segment * 0x1000,
                        .memory_size = 0x800,
                        .data = std::vector<std::uint8_t>(0x400, static_cast<std::uint8_t>(tile)),
                        .flags = segment});
        }
        app.tiles.push_back(image);
    }
    write("many.json", *json_text(application_to_json(app)));
    ASSERT_EQ(run({"pack", "many.json", "-o", "many.package"}).status, 0);
    EXPECT_EQ(read("many.package"), bytes_of(app));
    EXPECT_EQ(run({"validate", "many.package"}).out, "many.package: ok (400 tiles, compiler 0.1.0)\n");
    const auto inspected = run({"inspect", "many.package"});
    EXPECT_NE(inspected.out.find("Tiles (400):"), std::string::npos);
    EXPECT_NE(inspected.out.find("\n  399   0x4c000  4         0x4c000..0x4f800  4096\n"), std::string::npos)
        << inspected.out.substr(0, 2000);
    const auto dumped = run({"dump", "many.package"});
    ASSERT_EQ(dumped.status, 0);
    EXPECT_EQ(run({"pack", "-"}, dumped.out).out, read("many.package"));
    const auto image = run({"image", "many.package", "--tile", "399"});
    EXPECT_EQ(image.out.size(), 0x3800u);
    EXPECT_EQ(image.out[0], static_cast<char>(399 & 0xff));
}

TEST_F(ToolTest, DemoRunsTheWholeRoad) {
    const auto demo = run({"demo", "--keep", "road"});
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_EQ(demo.err, "");
    for (const std::string file : {"sample.package", "tile0.image", "run.output", "profile.report",
                                   "profile.txt", "profile.trace.json", "profile.svg"}) {
        SCOPED_TRACE(file);
        EXPECT_NE(demo.out.find("road/" + file + " ("), std::string::npos) << demo.out;
        EXPECT_TRUE(std::filesystem::exists(path("road/" + file)));
    }
    EXPECT_EQ(run({"validate", "road/sample.package"}).status, 0);
    EXPECT_EQ(read("road/tile0.image"), std::string("\x01\x02\x03\x04\0\0\0\0", 8));
    const auto report = run({"report", "road/profile.report", "--format", "chrome-trace"});
    EXPECT_EQ(report.out, read("road/profile.trace.json"));

    // Without --keep the temporary folder is gone when the demo ends.
    const auto temporary = run({"demo"});
    ASSERT_EQ(temporary.status, 0) << temporary.err;
    const std::string marker = ", in ";
    const auto start = temporary.out.find(marker) + marker.size();
    const std::string folder = temporary.out.substr(start, temporary.out.find('\n') - start);
    EXPECT_TRUE(folder.starts_with("/")) << folder;
    EXPECT_FALSE(std::filesystem::exists(folder)) << folder;
}

} // namespace
} // namespace tarn_package::testing
