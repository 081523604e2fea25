#include "tool_io.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace tarn_package::tool {
namespace {

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

using File = std::unique_ptr<std::FILE, CloseFile>;

std::unexpected<PackageError> io_failure(std::string what, int error_number) {
    return std::unexpected(PackageError(
        PackageError::Io{std::error_code(error_number, std::generic_category()), std::move(what)}));
}

Result<std::vector<std::uint8_t>> read_all(std::FILE* file) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[1 << 16];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) != 0) {
        bytes.insert(bytes.end(), chunk, chunk + count);
    }
    if (std::ferror(file)) {
        return io_failure("cannot read", errno);
    }
    return bytes;
}

Result<void> write_all(std::FILE* file, std::span<const std::uint8_t> bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fflush(file) != 0) {
        return io_failure("cannot write", errno);
    }
    return {};
}

} // namespace

Result<std::vector<std::uint8_t>> read_input(const std::string& path) {
    if (path == standard_stream) {
        return read_all(stdin);
    }
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return io_failure("cannot open", errno);
    }
    return read_all(file.get());
}

Result<void> write_output(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (path == standard_stream) {
        return write_all(stdout, bytes);
    }
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return io_failure("cannot create", errno);
    }
    if (auto written = write_all(file.get(), bytes); !written) {
        return written;
    }
    if (std::fclose(file.release()) != 0) {
        return io_failure("cannot write", errno);
    }
    return {};
}

Result<void> write_output(const std::string& path, std::string_view text) {
    return write_output(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

} // namespace tarn_package::tool
