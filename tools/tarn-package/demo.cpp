#include <tarn_package/tarn_package.hpp>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "commands.hpp"
#include "sample_package.hpp"
#include "text_format.hpp"
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

std::unexpected<PackageError> differs(std::string_view what) {
    return std::unexpected(
        PackageError::invalid(std::string(what) + " read back differs from the one written"));
}

/// The stages of the demo, each printing one numbered line per step; the first failure ends it.
class Road {
  public:
    explicit Road(const WorkFolder& folder) : folder_(folder) {}

    Result<Application> package() {
        const Application sample = sample_with_cycle_profile();
        std::vector<std::uint8_t> bytes;
        if (auto written = sample.write(bytes); !written) {
            return std::unexpected(written.error());
        }
        if (auto stored = store("wrote the sample package", "sample.package", bytes); !stored) {
            return std::unexpected(stored.error());
        }
        auto app = read_package(folder_.file("sample.package"));
        if (app && *app != sample) {
            return differs("the package");
        }
        if (app) {
            step("read and validated it", detail::counted(app->tiles.size(), "tile", "tiles") +
                                              ", compiler " + app->compiler_version +
                                              ", equal to the sample");
        }
        return app;
    }

    Result<void> image(const Application& app) {
        const auto image = app.tile_image(0);
        if (!image) {
            return std::unexpected(image.error());
        }
        return store("extracted tile 0's image", "tile0.image", *image,
                     ", load base " + detail::hex0x(load_base(app, 0)));
    }

    Result<ProfileReport> profile(const Application& app) {
        constexpr std::uint64_t clock_hz = 1'500'000'000;
        const std::vector<std::uint8_t> run = synthetic_run_output(app);
        if (auto stored = store("synthesised a profiling run's outputs", "run.output", run); !stored) {
            return std::unexpected(stored.error());
        }
        const auto report = app.profile_report(run, clock_hz);
        if (!report) {
            return report;
        }
        std::vector<std::uint8_t> bytes;
        if (auto written = report->write(bytes); !written) {
            return std::unexpected(written.error());
        }
        if (auto stored = store("decoded the cycle profile at 1.5 GHz", "profile.report", bytes); !stored) {
            return std::unexpected(stored.error());
        }
        auto stored_report = read_report(folder_.file("profile.report"));
        if (stored_report && *stored_report != *report) {
            return differs("the report");
        }
        if (stored_report) {
            step("read the report back", detail::counted(stored_report->tiles.size(), "tile", "tiles") +
                                             ", equal to the one written");
        }
        return stored_report;
    }

    Result<void> views(const ProfileReport& report) {
        const struct {
            ReportFormat format;
            std::string_view what;
            std::string_view name;
        } shown[] = {
            {ReportFormat::Table, "wrote the table view", "profile.txt"},
            {ReportFormat::ChromeTrace, "wrote the chrome-trace view", "profile.trace.json"},
            {ReportFormat::Svg, "wrote the svg view", "profile.svg"},
        };
        for (const auto& view : shown) {
            const auto text = render_report(report, view.format);
            if (!text) {
                return std::unexpected(text.error());
            }
            const auto* first = reinterpret_cast<const std::uint8_t*>(text->data());
            if (auto stored = store(view.what, view.name, std::span(first, text->size())); !stored) {
                return stored;
            }
        }
        return {};
    }

  private:
    void step(std::string_view what, const std::string& detail) {
        std::printf("%2d. %-40.*s %s\n", ++number_, static_cast<int>(what.size()), what.data(),
                    detail.c_str());
        std::fflush(stdout);
    }

    // Writes the file `name` of the folder and prints the step with the file and its size.
    Result<void> store(std::string_view what, std::string_view name, std::span<const std::uint8_t> bytes,
                       const std::string& more = {}) {
        const std::string file = folder_.file(name);
        if (auto stored = write_output(file, bytes); !stored) {
            return stored;
        }
        step(what, file + " (" + std::to_string(bytes.size()) + " bytes)" + more);
        return {};
    }

    const WorkFolder& folder_;
    int number_ = 0;
};

Result<void> road(const WorkFolder& folder) {
    Road road(folder);
    const auto app = road.package();
    if (!app) {
        return std::unexpected(app.error());
    }
    if (auto image = road.image(*app); !image) {
        return image;
    }
    const auto report = road.profile(*app);
    if (!report) {
        return std::unexpected(report.error());
    }
    return road.views(*report);
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
