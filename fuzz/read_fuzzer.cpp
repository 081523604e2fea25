// Feeds arbitrary bytes to both readers, from an aligned span, an unaligned span and a stream.
// Every read must end in a result or an error; a package or report that reads must write and
// read back unchanged.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <tarn_package/tarn_package.hpp>

namespace {

template <class Record>
void check_round_trip(const Record& record) {
    std::vector<std::uint8_t> bytes;
    if (!record.write(bytes)) {
        std::abort();
    }
    const auto again = Record::read(bytes);
    if (!again || !(*again == record)) {
        std::abort();
    }
}

template <class Record>
void read_every_way(std::span<const std::uint8_t> input) {
    std::vector<std::uint64_t> aligned((input.size() + 7) / 8);
    std::vector<std::uint8_t> shifted(input.size() + 1);
    if (!input.empty()) {
        std::memcpy(aligned.data(), input.data(), input.size());
        std::memcpy(shifted.data() + 1, input.data(), input.size());
    }
    const auto from_aligned =
        Record::read(std::span(reinterpret_cast<const std::uint8_t*>(aligned.data()), input.size()));
    const auto from_shifted = Record::read(std::span(shifted).subspan(1));
    std::istringstream stream(std::string(input.begin(), input.end()));
    const auto from_stream = Record::read(stream);
    if (from_aligned.has_value() != from_shifted.has_value() ||
        from_aligned.has_value() != from_stream.has_value()) {
        std::abort();
    }
    if (from_aligned) {
        if (!(*from_aligned == *from_shifted) || !(*from_aligned == *from_stream)) {
            std::abort();
        }
        check_round_trip(*from_aligned);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    read_every_way<tarn_package::Application>(input);
    read_every_way<tarn_package::ProfileReport>(input);
    return 0;
}
