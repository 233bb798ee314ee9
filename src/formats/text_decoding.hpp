// The encodings that spreadsheet programs save text in, turned into UTF-8:
// UTF-8 itself (with or without a byte-order mark), UTF-16 with its mark
// (Excel's and Notepad's "Unicode"), and Windows-1250, the ANSI code page of
// a Czech Windows, which is what "CSV" means there. Only the marks decide
// between UTF-16 and 8-bit text; between UTF-8 and Windows-1250 the bytes
// themselves do: text that is valid UTF-8 throughout is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_reader.hpp"

namespace som {

enum class unicode_mark {
  none,                // 8-bit text (UTF-8 or Windows-1250)
  utf8,                // EF BB BF: UTF-8, the mark skipped
  utf16_le,            // FF FE
  utf16_be,            // FE FF
  utf16_without_mark,  // a NUL byte in the first line: UTF-16 that cannot be told LE from BE
};

// What the first bytes of a file (up to its first line end or more) say.
unicode_mark detect_unicode_mark(std::string_view start);

// The length of the mark itself (0, 2 or 3 bytes).
std::size_t unicode_mark_length(unicode_mark mark);

// Checks UTF-8 in pieces, a sequence split between two pieces included:
// well-formed sequences of 1 to 4 bytes, no overlong forms, no surrogates,
// nothing above U+10FFFF.
class utf8_check {
 public:
  void feed(const char* data, std::size_t size);
  // Every byte fed so far is part of a valid sequence; a sequence not yet
  // complete counts as valid until finish().
  bool valid() const { return valid_; }
  // The input has ended: a sequence cut short makes it invalid.
  void finish();

 private:
  bool valid_ = true;
  int pending_ = 0;           // continuation bytes still expected
  unsigned char low_ = 0x80;  // the range the next continuation byte must be in
  unsigned char high_ = 0xBF;
};

// Whether these bytes alone are valid UTF-8.
bool is_valid_utf8(std::string_view bytes);

// Appends Windows-1250 bytes as UTF-8 (the five bytes that code page leaves
// undefined become U+FFFD).
void append_windows_1250(std::string& out, std::string_view bytes);

// Appends the code point as UTF-8.
void append_utf8(std::string& out, std::uint32_t code_point);

// A source that reads UTF-16 from another source (after its mark) and gives
// its text as UTF-8. A lone surrogate becomes U+FFFD, an odd last byte is
// dropped; `damaged()` tells either.
class utf16_source {
 public:
  utf16_source(byte_source raw, bool big_endian) : raw_(raw), big_endian_(big_endian) {}
  utf16_source(const utf16_source&) = delete;
  utf16_source& operator=(const utf16_source&) = delete;

  byte_source source();
  bool damaged() const { return damaged_; }

 private:
  std::size_t read(char* into, std::size_t size);
  void convert_more();

  byte_source raw_;
  bool big_endian_;
  bool damaged_ = false;
  bool ended_ = false;
  std::uint32_t high_surrogate_ = 0;  // waiting for its low half
  std::string in_;                    // raw bytes not yet converted (an odd byte)
  std::string out_;                   // converted bytes not yet handed out
  std::size_t out_at_ = 0;
};

}  // namespace som
