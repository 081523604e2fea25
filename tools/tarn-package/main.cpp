// tarn-package: checks, takes apart and builds packages and shows profile reports.
#include <CLI/CLI.hpp>

#include <charconv>
#include <concepts>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "commands.hpp"
#include "event_log.hpp"

namespace {

using namespace tarn_package;
using namespace tarn_package::tool;

const std::map<std::string, JsonData> data_forms{
    {"base64", JsonData::Base64}, {"hex", JsonData::Hex}, {"omit", JsonData::Omit}};
const std::map<std::string, ReportFormat> report_formats{{"table", ReportFormat::Table},
                                                         {"json", ReportFormat::Json},
                                                         {"chrome-trace", ReportFormat::ChromeTrace},
                                                         {"svg", ReportFormat::Svg}};
const std::map<std::string, LogFormat> log_formats{{"text", LogFormat::Text}, {"json", LogFormat::Json}};

// What the command line asked for; filled by the parser, read by the command chosen.
struct Arguments {
    bool verbose = false;
    LogFormat log_format = LogFormat::Text;
    std::string file;
    std::string second_file;
    std::vector<std::string> files;
    std::string output = "-";
    JsonData data = JsonData::Base64;
    ReportFormat format = ReportFormat::Table;
    std::uint32_t tile = 0;
    std::uint64_t clock_hz = 0;
    std::string keep;
    std::function<int()> command;
};

// CLI11 wraps "-1" into an unsigned number and saturates overlong ones; numbers here are exact,
// in decimal or with "0x" in hexadecimal, and fit their option's width.
template <std::unsigned_integral T>
CLI::Validator unsigned_number() {
    return CLI::Validator(
        [](std::string& text) {
            const bool hexadecimal = text.starts_with("0x") || text.starts_with("0X");
            const char* first = text.data() + (hexadecimal ? 2 : 0);
            const char* last = text.data() + text.size();
            T value = 0;
            const auto [end, error] = std::from_chars(first, last, value, hexadecimal ? 16 : 10);
            if (first == last || error != std::errc() || end != last) {
                return "expected an unsigned " + std::to_string(std::numeric_limits<T>::digits) +
                       "-bit integer, got " + text;
            }
            text = std::to_string(value);
            return std::string();
        },
        "UINT" + std::to_string(std::numeric_limits<T>::digits));
}

// An option that takes one of the names of `choices` and stores the value it maps to.
template <class T>
CLI::Option* add_choice(CLI::App& command, const std::string& name, T& target,
                        const std::map<std::string, T>& choices, const std::string& default_name,
                        const std::string& what) {
    std::vector<std::string> names;
    for (const auto& [choice, value] : choices) {
        names.push_back(choice);
    }
    return command
        .add_option_function<std::string>(
            name, [&target, choices](const std::string& choice) { target = choices.at(choice); }, what)
        ->check(CLI::IsMember(names))
        ->default_str(default_name);
}

CLI::Option* add_output(CLI::App& command, Arguments& args, const std::string& what) {
    return command.add_option("-o,--output", args.output, what + " (\"-\": standard output)")
        ->capture_default_str();
}

CLI::Option* add_input(CLI::App& command, Arguments& args, const std::string& name, const std::string& what) {
    return command.add_option(name, args.file, what + " (\"-\": standard input)")->required();
}

void add_check_commands(CLI::App& app, Arguments& args) {
    auto* example = app.add_subcommand("example", "Write the built-in sample package");
    add_output(*example, args, "package file to write");
    example->callback([&] { args.command = [&] { return run_example(args.output); }; });

    auto* validate = app.add_subcommand("validate", "Read packages and report whether each is valid");
    validate->add_option("FILE", args.files, "package files (\"-\": standard input)")->required();
    validate->callback([&] { args.command = [&] { return run_validate(args.files); }; });

    auto* inspect = app.add_subcommand("inspect", "Print a readable summary of a package");
    add_input(*inspect, args, "FILE", "package file");
    add_output(*inspect, args, "file to write");
    inspect->callback([&] { args.command = [&] { return run_inspect(args.file, args.output); }; });
}

void add_conversion_commands(CLI::App& app, Arguments& args) {
    auto* dump = app.add_subcommand("dump", "Print a package as JSON");
    add_input(*dump, args, "FILE", "package file");
    add_choice(*dump, "--data", args.data, data_forms, "base64", "form of segment data");
    add_output(*dump, args, "JSON file to write");
    dump->callback([&] { args.command = [&] { return run_dump(args.file, args.data, args.output); }; });

    auto* pack = app.add_subcommand("pack", "Turn the JSON form of a package back into a package");
    add_input(*pack, args, "JSON", "JSON file as written by dump");
    add_choice(*pack, "--data", args.data, {{"base64", JsonData::Base64}, {"hex", JsonData::Hex}}, "base64",
               "form of segment data in the JSON");
    add_output(*pack, args, "package file to write");
    pack->callback([&] { args.command = [&] { return run_pack(args.file, args.data, args.output); }; });

    auto* image = app.add_subcommand("image", "Write the flat memory image of one tile");
    add_input(*image, args, "FILE", "package file");
    image->add_option("--tile", args.tile, "physical tile number")
        ->required()
        ->check(unsigned_number<std::uint32_t>());
    add_output(*image, args, "image file to write");
    image->callback([&] { args.command = [&] { return run_image(args.file, args.tile, args.output); }; });
}

void add_report_commands(CLI::App& app, Arguments& args) {
    auto* profile =
        app.add_subcommand("profile", "Decode the outputs of a profiling run into a profile report");
    add_input(*profile, args, "FILE", "package file");
    profile->add_option("RUN_OUTPUT", args.second_file, "the run's output bytes (\"-\": standard input)")
        ->required();
    profile->add_option("--clock-hz", args.clock_hz, "clock frequency of the tiles in hertz")
        ->required()
        ->check(unsigned_number<std::uint64_t>());
    add_output(*profile, args, "report file to write");
    profile->callback([&] {
        if (args.file == "-" && args.second_file == "-") {
            throw CLI::ValidationError("FILE and RUN_OUTPUT cannot both be standard input");
        }
        args.command = [&] { return run_profile(args.file, args.second_file, args.clock_hz, args.output); };
    });

    auto* report = app.add_subcommand("report", "Show a stored profile report");
    add_input(*report, args, "REPORT", "report file");
    add_choice(*report, "--format", args.format, report_formats, "table", "view of the report");
    add_output(*report, args, "file to write");
    report->callback([&] { args.command = [&] { return run_report(args.file, args.format, args.output); }; });

    auto* demo = app.add_subcommand("demo", "Run the whole road on the sample package");
    demo->add_option("--keep", args.keep, "write the files into this folder and keep them");
    demo->callback([&] { args.command = [&] { return run_demo(args.keep); }; });
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Checks, takes apart and builds application packages, and shows profile reports.",
                 "tarn-package");
    app.set_version_flag("--version", "tarn-package " TARN_PACKAGE_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    Arguments args;
    app.add_flag("-v,--verbose", args.verbose, "print the library's events on standard error");
    add_choice(app, "--log-format", args.log_format, log_formats, "text",
               "form of the events printed by --verbose");
    add_check_commands(app, args);
    add_conversion_commands(app, args);
    add_report_commands(app, args);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error); // --help, --version
        }
        // CLI11 reports a misspelt command as a missing one; name what was typed instead.
        const auto extras = app.remaining();
        const std::string what = app.get_subcommands().empty() && !extras.empty()
                                     ? "unknown command " + extras.front()
                                     : std::string(error.what());
        std::fprintf(stderr, "tarn-package: usage: %s\n", what.c_str());
        return exit_usage;
    }
    if (args.verbose) {
        log_events(args.log_format);
    }
    return args.command();
}
