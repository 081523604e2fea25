// Internal header, not for clients: columns of text for terminals, as the tool and the report
// views print them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn_package::detail {

/// Number of code points in valid UTF-8 `text`, taken as its width on a terminal.
[[nodiscard]] constexpr std::size_t display_width(std::string_view text) noexcept {
    std::size_t width = 0;
    for (const char byte : text) {
        width += (static_cast<unsigned char>(byte) & 0xc0) == 0x80 ? 0 : 1;
    }
    return width;
}

/// Columns sized to their widest cell and two spaces apart; numbers may be right-aligned, the
/// last column is left unpadded and no line ends in spaces. Cells must be valid UTF-8.
class TextTable {
  public:
    enum class Align { Left, Right };

    void column(std::string header, Align align = Align::Left) {
        headers_.push_back(std::move(header));
        align_.push_back(align);
    }

    /// One row; it has a cell for every column.
    void row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

    /// Appends the header line and every row to `out`, each line after `indent`.
    void render(std::string& out, std::string_view indent = {}) const {
        std::vector<std::size_t> widths(headers_.size());
        for (std::size_t c = 0; c < headers_.size(); ++c) {
            widths[c] = display_width(headers_[c]);
            for (const auto& cells : rows_) {
                widths[c] = std::max(widths[c], display_width(cells[c]));
            }
        }
        line(out, indent, headers_, widths);
        for (const auto& cells : rows_) {
            line(out, indent, cells, widths);
        }
    }

  private:
    void line(std::string& out, std::string_view indent, const std::vector<std::string>& cells,
              const std::vector<std::size_t>& widths) const {
        std::string text(indent);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::size_t pad = widths[c] - display_width(cells[c]);
            const bool last = c + 1 == cells.size();
            text += c == 0 ? "" : "  ";
            if (align_[c] == Align::Right) {
                text += std::string(pad, ' ') + cells[c];
            } else {
                text += cells[c] + (last ? "" : std::string(pad, ' '));
            }
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out += text + '\n';
    }

    std::vector<std::string> headers_;
    std::vector<Align> align_;
    std::vector<std::vector<std::string>> rows_;
};

} // namespace tarn_package::detail
