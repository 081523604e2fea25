#pragma once

#include <string>

#include <tarn_package/records.hpp>

namespace tarn_package {

// Three views of a profile report. Each tile's 32-bit counter readings are unwrapped into one
// 64-bit timeline first (a reading below the one before it means the counter wrapped), so a
// tile's times never go backwards. Times are shown in microseconds when the report's `clock_hz`
// is known (not 0), otherwise in cycles. Texts of the report are repaired where they are not
// valid UTF-8 and escaped for the output format.

/// A fixed-width text summary: the cycles and share of each step kind over the report and per
/// tile, then the longest steps of the whole report.
[[nodiscard]] std::string render_report_table(const ProfileReport& report);

/// A trace in the JSON object form that trace viewers open: one thread per tile, one complete
/// event per sample and one nested complete event per exchange activity.
[[nodiscard]] std::string render_chrome_trace(const ProfileReport& report);

/// A self-contained SVG timeline: one row per tile, steps coloured by kind, a legend and a time
/// axis. Without scripts or external resources; sized for one to a few thousand tiles.
[[nodiscard]] std::string render_report_svg(const ProfileReport& report);

} // namespace tarn_package
