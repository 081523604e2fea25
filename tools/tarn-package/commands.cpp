#include "commands.hpp"

#include <tarn_package/report_views.hpp>
#include <tarn_package/tarn_package.hpp>

#include <algorithm>
#include <cstdio>

#include "inspect.hpp"
#include "sample_package.hpp"
#include "text_format.hpp"
#include "tool_io.hpp"

namespace tarn_package::tool {
namespace {

std::string_view as_text(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

int fail(std::string_view subject, const PackageError& error) {
    std::fprintf(stderr, "tarn-package: %.*s: %s\n", static_cast<int>(subject.size()), subject.data(),
                 error.what().c_str());
    return exit_refused;
}

Result<Application> read_package(const std::string& path) {
    const auto bytes = read_input(path);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    return Application::read(*bytes);
}

Result<ProfileReport> read_report(const std::string& path) {
    const auto bytes = read_input(path);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    return ProfileReport::read(*bytes);
}

std::uint32_t load_base(const Application& app, std::uint32_t tile) {
    const auto& segments = std::ranges::find(app.tiles, tile, &TileImage::physical_tile)->segments;
    return std::ranges::min(segments, {}, &Segment::address).address;
}

Result<std::string> render_report(const ProfileReport& report, ReportFormat format) {
    switch (format) {
    case ReportFormat::Json:
        return json_text(profile_report_to_json(report));
    case ReportFormat::Table:
        return render_report_table(report);
    case ReportFormat::ChromeTrace:
        return render_chrome_trace(report);
    case ReportFormat::Svg:
        return render_report_svg(report);
    }
    return std::unexpected(PackageError::invalid("unknown report format"));
}

int run_example(const std::string& output) {
    std::vector<std::uint8_t> bytes;
    if (auto written = sample_application().write(bytes); !written) {
        return fail("example", written.error());
    }
    if (auto stored = write_output(output, bytes); !stored) {
        return fail(output, stored.error());
    }
    return exit_success;
}

int run_validate(const std::vector<std::string>& files) {
    int status = exit_success;
    for (const auto& file : files) {
        const auto app = read_package(file);
        if (app) {
            std::printf("%s: ok (%zu %s, compiler %s)\n", file.c_str(), app->tiles.size(),
                        detail::plural(app->tiles.size(), "tile", "tiles").data(),
                        app->compiler_version.c_str());
        } else {
            std::printf("%s: %s\n", file.c_str(), app.error().what().c_str());
            status = exit_refused;
        }
    }
    std::fflush(stdout);
    return status;
}

int run_inspect(const std::string& file, const std::string& output) {
    const auto app = read_package(file);
    if (!app) {
        return fail(file, app.error());
    }
    if (auto stored = write_output(output, inspect_text(*app)); !stored) {
        return fail(output, stored.error());
    }
    return exit_success;
}

int run_dump(const std::string& file, JsonData data, const std::string& output) {
    const auto app = read_package(file);
    if (!app) {
        return fail(file, app.error());
    }
    const auto text = json_text(application_to_json(*app, data));
    if (!text) {
        return fail(file, text.error());
    }
    if (auto stored = write_output(output, *text); !stored) {
        return fail(output, stored.error());
    }
    return exit_success;
}

int run_pack(const std::string& file, JsonData data, const std::string& output) {
    const auto text = read_input(file);
    if (!text) {
        return fail(file, text.error());
    }
    const auto document = parse_json(as_text(*text));
    if (!document) {
        return fail(file, document.error());
    }
    const auto app = application_from_json(*document, data);
    if (!app) {
        return fail(file, app.error());
    }
    std::vector<std::uint8_t> bytes;
    if (auto written = app->write(bytes); !written) {
        return fail(file, written.error());
    }
    if (auto stored = write_output(output, bytes); !stored) {
        return fail(output, stored.error());
    }
    return exit_success;
}

int run_image(const std::string& file, std::uint32_t tile, const std::string& output) {
    const auto app = read_package(file);
    if (!app) {
        return fail(file, app.error());
    }
    const auto image = app->tile_image(tile);
    if (!image) {
        return fail(file, image.error());
    }
    if (auto stored = write_output(output, *image); !stored) {
        return fail(output, stored.error());
    }
    std::fprintf(stderr, "tile %u: load base %s, %zu bytes\n", tile,
                 detail::hex0x(load_base(*app, tile)).c_str(), image->size());
    return exit_success;
}

int run_profile(const std::string& package, const std::string& run_output, std::uint64_t clock_hz,
                const std::string& output) {
    const auto app = read_package(package);
    if (!app) {
        return fail(package, app.error());
    }
    const auto run = read_input(run_output);
    if (!run) {
        return fail(run_output, run.error());
    }
    const auto report = app->profile_report(*run, clock_hz);
    if (!report) {
        return fail(run_output, report.error());
    }
    std::vector<std::uint8_t> bytes;
    if (auto written = report->write(bytes); !written) {
        return fail(output, written.error());
    }
    if (auto stored = write_output(output, bytes); !stored) {
        return fail(output, stored.error());
    }
    return exit_success;
}

int run_report(const std::string& file, ReportFormat format, const std::string& output) {
    const auto report = read_report(file);
    if (!report) {
        return fail(file, report.error());
    }
    const auto text = render_report(*report, format);
    if (!text) {
        return fail(file, text.error());
    }
    if (auto stored = write_output(output, *text); !stored) {
        return fail(output, stored.error());
    }
    return exit_success;
}

} // namespace tarn_package::tool
