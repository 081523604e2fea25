// Internal header of the tool: the readable summary of a package.
#pragma once

#include <string>

#include <tarn_package/records.hpp>

namespace tarn_package::tool {

/// A summary of a package that was read (so its header held exactly the values this library
/// writes): header, tiles, bindings, host exchange, entry points, configuration writes,
/// profile plans and debug map. Addresses and offsets are in hexadecimal, sizes and counts in
/// decimal.
[[nodiscard]] std::string inspect_text(const Application& app);

} // namespace tarn_package::tool
