// Writes one view of a generated profile report to a file, for checks by outside tools:
// render_sample <svg|trace|table> <tiles> <steps per tile> <clock hz> <output file>
#include <tarn_package/report_views.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "report_fixtures.hpp"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: render_sample <svg|trace|table> <tiles> <steps> <clock hz> <output>\n");
        return 2;
    }
    const std::string_view view = argv[1];
    const auto report = tarn_package::testing::generated_report(
        static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)),
        static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)), std::strtoull(argv[4], nullptr, 10));
    const std::string text = view == "svg"     ? tarn_package::render_report_svg(report)
                             : view == "trace" ? tarn_package::render_chrome_trace(report)
                                               : tarn_package::render_report_table(report);
    std::ofstream out(argv[5], std::ios::binary);
    out << text;
    return out.good() ? 0 : 1;
}
