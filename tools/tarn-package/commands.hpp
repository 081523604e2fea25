// Internal header of the tool: one function per command. Each prints its own results and
// diagnostics and returns the process's exit status.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tarn_package/json.hpp>
#include <tarn_package/records.hpp>

namespace tarn_package::tool {

inline constexpr int exit_success = 0;
/// A package, report or input that was refused, or a file that could not be read or written.
inline constexpr int exit_refused = 1;
inline constexpr int exit_usage = 2;

/// Prints "tarn-package: <subject>: <error>" on standard error; returns `exit_refused`.
int fail(std::string_view subject, const PackageError& error);

/// Reads the file (or standard input for "-") as a package: header, decoding and validation.
[[nodiscard]] Result<Application> read_package(const std::string& path);

/// Reads the file (or standard input for "-") as a profile report.
[[nodiscard]] Result<ProfileReport> read_report(const std::string& path);

/// The address at which the image of `tile` starts: the lowest segment address of the first tile
/// with that number. The tile must exist and have segments, as after a successful tile_image.
[[nodiscard]] std::uint32_t load_base(const Application& app, std::uint32_t tile);

enum class ReportFormat { Table, Json, ChromeTrace, Svg };

/// The report in `format`, as text.
[[nodiscard]] Result<std::string> render_report(const ProfileReport& report, ReportFormat format);

int run_example(const std::string& output);
int run_validate(const std::vector<std::string>& files);
int run_inspect(const std::string& file, const std::string& output);
int run_dump(const std::string& file, JsonData data, const std::string& output);
int run_pack(const std::string& file, JsonData data, const std::string& output);
int run_image(const std::string& file, std::uint32_t tile, const std::string& output);
int run_profile(const std::string& package, const std::string& run_output, std::uint64_t clock_hz,
                const std::string& output);
int run_report(const std::string& file, ReportFormat format, const std::string& output);
/// The whole road on the sample package, in a temporary folder or in `keep` when not empty.
int run_demo(const std::string& keep);

} // namespace tarn_package::tool
