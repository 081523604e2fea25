#include "process.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace tarn_package::testing {
namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

class FileActions {
  public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    void open(int descriptor, const std::filesystem::path& path, int flags) {
        if (posix_spawn_file_actions_addopen(&actions_, descriptor, path.c_str(), flags, 0600) != 0) {
            fail("posix_spawn_file_actions_addopen");
        }
    }
    void change_folder(const std::filesystem::path& folder) {
        if (posix_spawn_file_actions_addchdir_np(&actions_, folder.c_str()) != 0) {
            fail("posix_spawn_file_actions_addchdir_np");
        }
    }
    [[nodiscard]] const posix_spawn_file_actions_t* get() const { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

} // namespace

ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          std::string_view input, const std::filesystem::path& folder) {
    const TemporaryFolder streams;
    write_file(streams.path() / "in", input);
    FileActions actions;
    actions.open(STDIN_FILENO, streams.path() / "in", O_RDONLY);
    actions.open(STDOUT_FILENO, streams.path() / "out", O_WRONLY | O_CREAT | O_TRUNC);
    actions.open(STDERR_FILENO, streams.path() / "err", O_WRONLY | O_CREAT | O_TRUNC);
    actions.change_folder(folder);
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (const int error = posix_spawn(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ);
        error != 0) {
        errno = error;
        fail("posix_spawn " + program);
    }
    int wait_status = 0;
    if (waitpid(child, &wait_status, 0) != child) {
        fail("waitpid");
    }
    ProcessResult result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    result.out = read_file(streams.path() / "out");
    result.err = read_file(streams.path() / "err");
    return result;
}

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarn-package-test.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        fail("mkdtemp");
    }
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open " + path.string());
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void write_file(const std::filesystem::path& path, std::string_view content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace tarn_package::testing
