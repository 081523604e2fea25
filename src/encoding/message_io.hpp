// Internal header, not for clients: framing of one message in and out of the caller's bytes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <vector>

#include <capnp/message.h>
#include <capnp/serialize.h>

namespace tarn_package::detail {

/// Appends `builder`'s message in the standard stream framing to `output`. Throws the runtime's
/// faults; the caller's barrier turns them into errors.
void write_message(capnp::MessageBuilder& builder, std::vector<std::uint8_t>& output);

/// Writes `builder`'s message in the standard stream framing to `output` and flushes it. A stream
/// that refuses bytes throws; bytes it accepted before stay written.
void write_message(capnp::MessageBuilder& builder, std::ostream& output);

/// One framed message taken from the caller's bytes and parsed with `capnp_reader_options`.
/// The constructors throw the runtime's faults. No buffer is sized from the segment table
/// before the bytes it claims are known to exist. Views taken from `root` are valid only while
/// the object lives, and, for a span read in place, while the span's bytes do.
class FramedMessage {
  public:
    /// Parses the message at the start of `input`, in place when `input` is 8-byte aligned and
    /// from an aligned copy otherwise. Bytes after the message are not examined.
    explicit FramedMessage(std::span<const std::uint8_t> input);

    /// Reads exactly the bytes of one message from `input`; what follows stays in the stream.
    explicit FramedMessage(std::istream& input);

    FramedMessage(const FramedMessage&) = delete;
    FramedMessage& operator=(const FramedMessage&) = delete;

    template <class Root>
    [[nodiscard]] typename Root::Reader root() {
        return reader_->getRoot<Root>();
    }

  private:
    void parse(const std::uint64_t* words, std::size_t word_count);

    // The message's words when they could not be used where they lay.
    std::vector<std::uint64_t> storage_;
    std::optional<capnp::FlatArrayMessageReader> reader_;
};

} // namespace tarn_package::detail
