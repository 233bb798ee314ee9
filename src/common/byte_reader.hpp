// Buffered reading of raw bytes, with look-ahead of any length, from a source
// that is either a file (at the program's edges) or bytes already in memory
// (for tests and fuzzers, which so reach every path of a parser without
// files).
//
// Text files are read as bytes and their line ends handled by the parsers
// themselves, so that CR LF and LF read the same on every platform.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/owned_block.hpp"

namespace som {

// Where the bytes come from: `read` copies up to `size` bytes into `into`
// and returns how many; 0 means the end, source_failed a read error.
struct byte_source {
  std::size_t (*read)(void* context, char* into, std::size_t size) = nullptr;
  void* context = nullptr;
};

inline constexpr std::size_t source_failed = ~std::size_t{0};

class byte_reader {
 public:
  // Reads from the source, which must outlive the reader.
  explicit byte_reader(byte_source source) : source_(source) {}
  // Reads these bytes, which must outlive the reader, without copying them.
  explicit byte_reader(std::string_view bytes)
      : data_(bytes.data()), end_(bytes.size()), exhausted_(true) {}
  byte_reader(const byte_reader&) = delete;
  byte_reader& operator=(const byte_reader&) = delete;

  // Makes `count` bytes available from the read position unless the input
  // ends first; returns how many are available (possibly fewer or more).
  std::size_t fill(std::size_t count);

  // The byte `offset` positions ahead of the read position, or -1 past the
  // end.
  int peek(std::size_t offset = 0) {
    if (begin_ + offset >= end_ && fill(offset + 1) <= offset) return -1;
    return static_cast<unsigned char>(data_[begin_ + offset]);
  }
  void advance(std::size_t count) { begin_ += count; }

  // The bytes available from the read position on, without reading more.
  const char* next() const { return data_ + begin_; }
  std::size_t buffered() const { return end_ - begin_; }
  // Moves the read position to `p`, a place within the buffered bytes.
  void advance_to(const char* p) { begin_ = static_cast<std::size_t>(p - data_); }
  // True once the input has ended: nothing more than `buffered()` follows.
  bool exhausted() const { return exhausted_; }
  // True when the buffer could not grow to a token's length: the input then
  // reads as ended there, and whoever reads it says "Malo pameti!".
  bool out_of_memory() const { return out_of_memory_; }
  // True when the source failed: the input reads as ended there, but its
  // end was never seen, and whatever was read of it counts for nothing.
  bool read_failed() const { return read_failed_; }
  // Bytes taken from the input before the read position.
  std::size_t position() const { return dropped_ + begin_; }

 private:
  byte_source source_;
  block_ptr<char> buffer_;  // when reading from a source
  const char* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;    // first unread byte
  std::size_t end_ = 0;      // one past the last buffered byte
  std::size_t dropped_ = 0;  // bytes read and dropped from the buffer's front
  bool exhausted_ = false;   // the source has ended
  bool out_of_memory_ = false;
  bool read_failed_ = false;
};

// The white space that the %u and %lf conversions skip (C locale).
inline bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

}  // namespace som
