// Buffered reading of a file as raw bytes, with look-ahead of any length.
//
// Text files are opened in binary mode and their line ends handled by the
// readers themselves, so that CR LF and LF read the same on every platform.
#pragma once

#include <cstddef>
#include <cstdio>

namespace som {

struct byte_reader {
  std::FILE* file = nullptr;
  char* data = nullptr;
  std::size_t capacity = 0;
  std::size_t begin = 0;   // first unread byte
  std::size_t end = 0;     // one past the last buffered byte
  bool exhausted = false;  // end of file (or a read error) reached
};

// Opens the file for reading. Returns false when it cannot be opened.
bool open_reader(byte_reader& reader, const char* path);

// Closes the file and releases the buffer. Returns false when closing failed.
bool close_reader(byte_reader& reader);

// Makes `count` bytes available from the read position unless the file ends
// first; returns how many are available (possibly fewer, possibly more).
std::size_t reader_fill(byte_reader& reader, std::size_t count);

// The byte `offset` positions ahead of the read position, or -1 past the end.
inline int reader_peek(byte_reader& reader, std::size_t offset = 0) {
  if (reader.begin + offset >= reader.end && reader_fill(reader, offset + 1) <= offset) return -1;
  return static_cast<unsigned char>(reader.data[reader.begin + offset]);
}

inline void reader_advance(byte_reader& reader, std::size_t count) { reader.begin += count; }

// The white space that the %u and %lf conversions skip (C locale).
inline bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

}  // namespace som
