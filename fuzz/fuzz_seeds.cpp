// Writes valid package and report messages into the directory named by the first argument.

#include <cstdio>
#include <fstream>
#include <string>

#include "fixtures.hpp"

int main(int argc, char** argv) {
    using namespace tarn_package;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string directory = argv[1];
    const auto save = [&](const std::string& name, const auto& record) {
        std::ofstream file(directory + "/" + name, std::ios::binary);
        return record.write(file).has_value();
    };
    ProfileReport report{.clock_hz = 1000, .tiles = {TileProfile{.physical_tile = 3, .samples = {}}}};
    report.tiles.front().samples.push_back(
        CycleSample{.step = testing::populated_step(), .start_cycle = 1, .end_cycle = 2});
    const bool saved = save("minimal.package", testing::minimal_application()) &&
                       save("populated.package", testing::populated_application()) &&
                       save("every_record.package", testing::every_record_application()) &&
                       save("one_sample.report", report);
    return saved ? 0 : 1;
}
