// Internal header of the tool: reading inputs and writing outputs, where "-" names standard
// input or standard output.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tarn_package/error.hpp>

namespace tarn_package::tool {

/// The name that stands for standard input or standard output.
inline constexpr std::string_view standard_stream = "-";

/// The whole content of the file `path`, or of standard input for "-". Failures are `Io`.
[[nodiscard]] Result<std::vector<std::uint8_t>> read_input(const std::string& path);

/// Replaces the file `path` with `bytes`, or writes them to standard output for "-".
/// Failures are `Io`.
[[nodiscard]] Result<void> write_output(const std::string& path, std::span<const std::uint8_t> bytes);

/// As above, for text.
[[nodiscard]] Result<void> write_output(const std::string& path, std::string_view text);

} // namespace tarn_package::tool
