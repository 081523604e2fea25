#include <tarn_package/reader_options.hpp>

#include <cstdint>
#include <limits>

#include "model/checked.hpp"

namespace tarn_package {

capnp::ReaderOptions capnp_reader_options(std::size_t message_words) noexcept {
    capnp::ReaderOptions options;
    const auto scaled = detail::checked_mul<std::uint64_t>(message_words, traversal_words_per_message_word);
    const auto limit =
        scaled ? detail::checked_add<std::uint64_t>(*scaled, traversal_floor_words) : std::nullopt;
    options.traversalLimitInWords = limit.value_or(std::numeric_limits<std::uint64_t>::max());
    // Deep enough for every message of both schemas (at most five levels) and the runtime's
    // default; it bounds the reader's recursion.
    options.nestingLimit = 64;
    return options;
}

} // namespace tarn_package
