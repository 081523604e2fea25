#include <tarn_package/tarn_package.hpp>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "commands.hpp"
#include "sample_package.hpp"
#include "tool_io.hpp"

namespace tarn_package::tool {
namespace {

namespace fs = std::filesystem;

std::unexpected<PackageError> io_failure(std::string what, const std::error_code& code) {
    return std::unexpected(PackageError(PackageError::Io{code, std::move(what)}));
}

/// The folder the demo writes into: `keep`, created if needed, or a new temporary folder that is
/// removed when the demo ends.
class WorkFolder {
  public:
    static Result<WorkFolder> open(const std::string& keep) {
        std::error_code code;
        if (!keep.empty()) {
            fs::create_directories(keep, code);
            if (code) {
                return io_failure("cannot create " + keep, code);
            }
            return WorkFolder(keep, false);
        }
        std::string pattern = (fs::temp_directory_path(code) / "tarn-package-demo.XXXXXX").string();
        if (code || mkdtemp(pattern.data()) == nullptr) {
            return io_failure("cannot create a temporary folder",
                              code ? code : std::error_code(errno, std::generic_category()));
        }
        return WorkFolder(pattern, true);
    }

    WorkFolder(WorkFolder&& other) noexcept : path_(std::move(other.path_)), temporary_(other.temporary_) {
        other.temporary_ = false;
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    WorkFolder& operator=(WorkFolder&&) = delete;

    ~WorkFolder() {
        if (temporary_) {
            std::error_code ignored;
            fs::remove_all(path_, ignored);
        }
    }

    [[nodiscard]] std::string file(std::string_view name) const { return (path_ / name).string(); }
    [[nodiscard]] const fs::path& path() const { return path_; }
    [[nodiscard]] bool temporary() const { return temporary_; }

  private:
    WorkFolder(fs::path path, bool temporary) : path_(std::move(path)), temporary_(temporary) {}

    fs::path path_;
    bool temporary_;
};

void step(int number, std::string_view what, const std::string& detail) {
    std::printf("%2d. %-40.*s %s\n", number, static_cast<int>(what.size()), what.data(), detail.c_str());
    std::fflush(stdout);
}

std::string counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string bytes_written(const std::string& file, std::size_t size) {
    return file + " (" + std::to_string(size) + " bytes)";
}

// Each stage returns what the next needs; the first failure ends the demo.
Result<void> road(const WorkFolder& folder) {
    int number = 0;
    const Application sample = sample_with_cycle_profile();
    std::vector<std::uint8_t> package_bytes;
    if (auto written = sample.write(package_bytes); !written) {
        return std::unexpected(written.error());
    }
    const std::string package_file = folder.file("sample.package");
    if (auto stored = write_output(package_file, package_bytes); !stored) {
        return stored;
    }
    step(++number, "wrote the sample package", bytes_written(package_file, package_bytes.size()));

    const auto app = read_package(package_file);
    if (!app) {
        return std::unexpected(app.error());
    }
    if (*app != sample) {
        return std::unexpected(PackageError::invalid("the package read back differs from the one written"));
    }
    step(++number, "read and validated it",
         counted(app->tiles.size(), "tile", "tiles") + ", compiler " + app->compiler_version +
             ", equal to the sample");

    const auto image = app->tile_image(0);
    if (!image) {
        return std::unexpected(image.error());
    }
    const std::string image_file = folder.file("tile0.image");
    if (auto stored = write_output(image_file, *image); !stored) {
        return stored;
    }
    char base[16];
    std::snprintf(base, sizeof base, "0x%x", load_base(*app, 0));
    step(++number, "extracted tile 0's image",
         bytes_written(image_file, image->size()) + ", load base " + base);

    const std::vector<std::uint8_t> run = synthetic_run_output(*app);
    const std::string run_file = folder.file("run.output");
    if (auto stored = write_output(run_file, run); !stored) {
        return stored;
    }
    step(++number, "synthesised a profiling run's outputs", bytes_written(run_file, run.size()));

    constexpr std::uint64_t clock_hz = 1'500'000'000;
    const auto report = app->profile_report(run, clock_hz);
    if (!report) {
        return std::unexpected(report.error());
    }
    std::vector<std::uint8_t> report_bytes;
    if (auto written = report->write(report_bytes); !written) {
        return written;
    }
    const std::string report_file = folder.file("profile.report");
    if (auto stored = write_output(report_file, report_bytes); !stored) {
        return stored;
    }
    step(++number, "decoded the cycle profile at 1.5 GHz", bytes_written(report_file, report_bytes.size()));

    const auto stored_report = read_report(report_file);
    if (!stored_report) {
        return std::unexpected(stored_report.error());
    }
    if (*stored_report != *report) {
        return std::unexpected(PackageError::invalid("the report read back differs from the one written"));
    }
    step(++number, "read the report back",
         counted(stored_report->tiles.size(), "tile", "tiles") + ", equal to the one written");

    const struct {
        ReportFormat format;
        std::string_view what;
        std::string_view name;
    } views[] = {
        {ReportFormat::Table, "wrote the table view", "profile.txt"},
        {ReportFormat::ChromeTrace, "wrote the chrome-trace view", "profile.trace.json"},
        {ReportFormat::Svg, "wrote the svg view", "profile.svg"},
    };
    for (const auto& view : views) {
        const auto text = render_report(*stored_report, view.format);
        if (!text) {
            return std::unexpected(text.error());
        }
        const std::string view_file = folder.file(view.name);
        if (auto stored = write_output(view_file, *text); !stored) {
            return stored;
        }
        step(++number, view.what, bytes_written(view_file, text->size()));
    }
    return {};
}

} // namespace

int run_demo(const std::string& keep) {
    auto folder = WorkFolder::open(keep);
    if (!folder) {
        return fail("demo", folder.error());
    }
    std::printf("tarn-package demo: the road of the sample package, in %s\n", folder->path().c_str());
    if (auto done = road(*folder); !done) {
        return fail("demo", done.error());
    }
    if (folder->temporary()) {
        std::printf("done; the folder is removed now (keep the files with --keep DIR)\n");
    } else {
        std::printf("done; the files are in %s\n", folder->path().c_str());
    }
    return exit_success;
}

} // namespace tarn_package::tool
