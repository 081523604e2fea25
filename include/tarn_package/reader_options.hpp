#pragma once

// The settings with which the library parses a message. Kept out of the umbrella header so that
// ordinary clients never see the message runtime's headers.

#include <cstddef>

#include <capnp/message.h>

namespace tarn_package {

/// How much of the message the reader may traverse, as a multiple of the message's own size.
/// A reader that reads every object once traverses at most the message's size; the margin
/// leaves room for repeated reads of small objects, while a message whose pointers lead to one
/// object many times (or declare large lists of empty structs) runs out long before it can make
/// the reader build more than a small multiple of its own size.
inline constexpr std::size_t traversal_words_per_message_word = 2;

/// Traversal allowed to every message on top of the multiple, so that tiny messages (a root
/// without fields, an empty list of empty structs) still read.
inline constexpr std::size_t traversal_floor_words = 1024;

/// The reader settings for one message of `message_words` 64-bit words, segment table included:
/// a traversal limit of `traversal_words_per_message_word` times the message's size plus
/// `traversal_floor_words`, and a nesting limit of 64. Every message this library writes reads
/// under these settings whatever its size, while one that would make the reader traverse far
/// more than it holds is refused.
[[nodiscard]] capnp::ReaderOptions capnp_reader_options(std::size_t message_words) noexcept;

} // namespace tarn_package
