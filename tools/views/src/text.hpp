// Internal header of the report views, not for clients: making the report's texts safe for
// each output format.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarn_package::detail {

/// `text` as XML character data or attribute value: invalid UTF-8 and characters that XML does
/// not allow become U+FFFD, and & < > " ' become entity references.
[[nodiscard]] std::string xml_escape(std::string_view text);

/// `text` for a terminal table: invalid UTF-8 becomes U+FFFD and control characters become '?'.
[[nodiscard]] std::string plain_text(std::string_view text);

/// Valid UTF-8 `text` cut to at most `width` code points, ending in "..." when it was cut.
[[nodiscard]] std::string fit(std::string_view text, std::size_t width);

} // namespace tarn_package::detail
