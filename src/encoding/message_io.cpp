#include "encoding/message_io.hpp"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

#include <kj/debug.h>
#include <kj/io.h>

#include <tarn_package/reader_options.hpp>

#include "little_endian.hpp"

namespace tarn_package::detail {
namespace {

constexpr std::size_t word_bytes = sizeof(capnp::word);

// The most segments a message may declare, as many as the runtime's own readers accept. A
// message of this library's writer has a few dozen at most, since each new segment is at least
// as large as all before it.
constexpr std::uint64_t max_segments = 512;

// A stream's buffer grows by at most what has already arrived, and by this much at first, so
// that a segment table claiming more than the stream holds never reserves what it claims.
constexpr std::size_t first_stream_chunk_words = 8192;

class VectorSink final : public kj::OutputStream {
  public:
    explicit VectorSink(std::vector<std::uint8_t>& output) : output_(output) {}

    using kj::OutputStream::write;
    void write(const void* buffer, std::size_t size) override {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        output_.insert(output_.end(), bytes, bytes + size);
    }

  private:
    std::vector<std::uint8_t>& output_;
};

class StreamSink final : public kj::OutputStream {
  public:
    explicit StreamSink(std::ostream& output) : output_(output) {}

    using kj::OutputStream::write;
    void write(const void* buffer, std::size_t size) override {
        output_.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(size));
        if (!output_) {
            KJ_FAIL_REQUIRE("output stream refused bytes");
        }
    }

  private:
    std::ostream& output_;
};

// The segment table opens with the segment count less one, then one 32-bit size in words per
// segment, padded to whole words.
std::uint64_t segment_count(const std::uint8_t* first_word) {
    const std::uint64_t count = std::uint64_t{load_le32(first_word)} + 1;
    if (count > max_segments) {
        KJ_FAIL_REQUIRE("message has too many segments", count);
    }
    return count;
}

std::uint64_t table_words(std::uint64_t segments) {
    return (segments + 2) / 2;
}

// Cannot overflow: at most 512 sizes below 2^32 each.
std::uint64_t segment_words(const std::uint8_t* table, std::uint64_t segments) {
    std::uint64_t words = 0;
    for (std::uint64_t i = 0; i < segments; ++i) {
        words += load_le32(table + 4 + 4 * i);
    }
    return words;
}

std::uint8_t* bytes_of(std::vector<std::uint64_t>& words) {
    return reinterpret_cast<std::uint8_t*>(words.data());
}

void read_exactly(std::istream& input, std::uint8_t* destination, std::size_t size) {
    input.read(reinterpret_cast<char*>(destination), static_cast<std::streamsize>(size));
    if (static_cast<std::size_t>(input.gcount()) != size) {
        KJ_FAIL_REQUIRE("message ends prematurely");
    }
}

} // namespace

void write_message(capnp::MessageBuilder& builder, std::vector<std::uint8_t>& output) {
    const auto segments = builder.getSegmentsForOutput();
    const std::size_t size = capnp::computeSerializedSizeInWords(segments) * word_bytes;
    if (output.capacity() - output.size() < size) {
        output.reserve(std::max(output.size() + size, 2 * output.capacity()));
    }
    VectorSink sink(output);
    capnp::writeMessage(sink, segments);
}

void write_message(capnp::MessageBuilder& builder, std::ostream& output) {
    StreamSink sink(output);
    capnp::writeMessage(sink, builder.getSegmentsForOutput());
    if (!output.flush()) {
        KJ_FAIL_REQUIRE("output stream refused bytes");
    }
}

FramedMessage::FramedMessage(std::span<const std::uint8_t> input) {
    const std::size_t available = input.size() / word_bytes;
    if (available == 0) {
        KJ_FAIL_REQUIRE("message ends before its segment table", input.size());
    }
    const std::uint64_t segments = segment_count(input.data());
    const std::uint64_t table = table_words(segments);
    if (available < table) {
        KJ_FAIL_REQUIRE("message ends before its segment table", input.size());
    }
    const std::uint64_t total = table + segment_words(input.data(), segments);
    if (available < total) {
        KJ_FAIL_REQUIRE("message ends prematurely", total, available);
    }
    if (reinterpret_cast<std::uintptr_t>(input.data()) % alignof(capnp::word) == 0) {
        parse(reinterpret_cast<const std::uint64_t*>(input.data()), total);
        return;
    }
    storage_.resize(total);
    std::memcpy(storage_.data(), input.data(), total * word_bytes);
    parse(storage_.data(), total);
}

FramedMessage::FramedMessage(std::istream& input) {
    storage_.resize(1);
    read_exactly(input, bytes_of(storage_), word_bytes);
    const std::uint64_t segments = segment_count(bytes_of(storage_));
    const std::uint64_t table = table_words(segments);
    storage_.resize(table);
    read_exactly(input, bytes_of(storage_) + word_bytes, (table - 1) * word_bytes);
    const std::uint64_t total = table + segment_words(bytes_of(storage_), segments);
    while (storage_.size() < total) {
        const std::size_t received = storage_.size();
        const std::size_t next =
            std::min<std::uint64_t>(total, received + std::max(received, first_stream_chunk_words));
        storage_.resize(next);
        read_exactly(input, bytes_of(storage_) + received * word_bytes, (next - received) * word_bytes);
    }
    parse(storage_.data(), total);
}

void FramedMessage::parse(const std::uint64_t* words, std::size_t word_count) {
    reader_.emplace(kj::arrayPtr(reinterpret_cast<const capnp::word*>(words), word_count),
                    capnp_reader_options(word_count));
}

} // namespace tarn_package::detail
