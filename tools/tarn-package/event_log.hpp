// Internal header of the tool: printing the library's events on standard error.
#pragma once

namespace tarn_package::tool {

enum class LogFormat { Text, Json };

/// Prints every event of the library on standard error, one line each: as text
/// ("INFO tarn_package: application package read tiles=1 compiler=0.1.0") or as a JSON object.
void log_events(LogFormat format);

} // namespace tarn_package::tool
