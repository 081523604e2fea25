// Runs a program as a child process with a given standard input and captures its standard
// output, standard error and exit status.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarn_package::testing {

struct ProcessResult {
    int status = -1; ///< the exit status, or 128 + the signal that ended the process
    std::string out;
    std::string err;
};

/// Runs `program` with `arguments`, feeding it `input`, in the working folder `folder`.
/// Output goes through files, so a child that writes much never blocks on a full pipe.
[[nodiscard]] ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                                        std::string_view input, const std::filesystem::path& folder);

/// A fresh temporary folder, removed with everything in it when the object goes.
class TemporaryFolder {
  public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

[[nodiscard]] std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view content);

} // namespace tarn_package::testing
