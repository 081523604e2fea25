// The fixture of the tool's tests: a working folder and the tool run in it.
#pragma once

#include <gtest/gtest.h>

#include <tarn_package/tarn_package.hpp>

#include <string>
#include <vector>

#include "process.hpp"

namespace tarn_package::testing {

class ToolTest : public ::testing::Test {
  protected:
    /// Runs the tool in the working folder with `arguments` and standard input `input`.
    ProcessResult run(const std::vector<std::string>& arguments, std::string_view input = {}) const {
        return run_process(TARN_PACKAGE_TOOL, arguments, input, folder_.path());
    }

    [[nodiscard]] std::string path(std::string_view name) const { return (folder_.path() / name).string(); }

    [[nodiscard]] std::string read(std::string_view name) const { return read_file(folder_.path() / name); }

    void write(std::string_view name, std::string_view content) const {
        write_file(folder_.path() / name, content);
    }

    /// Writes `app` as a package file named `name`; the package must be valid.
    void write_package(std::string_view name, const Application& app) const {
        std::vector<std::uint8_t> bytes;
        const auto written = app.write(bytes);
        ASSERT_TRUE(written) << written.error().what();
        write(name, std::string(bytes.begin(), bytes.end()));
    }

  private:
    TemporaryFolder folder_;
};

} // namespace tarn_package::testing
