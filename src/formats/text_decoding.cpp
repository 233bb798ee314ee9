#include "formats/text_decoding.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace som {

unicode_mark detect_unicode_mark(std::string_view start) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(start[i]); };
  if (start.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
    return unicode_mark::utf8;
  if (start.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) return unicode_mark::utf16_le;
  if (start.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) return unicode_mark::utf16_be;
  for (char c : start) {
    if (c == '\0') return unicode_mark::utf16_without_mark;
    if (c == '\n') break;
  }
  return unicode_mark::none;
}

std::size_t unicode_mark_length(unicode_mark mark) {
  switch (mark) {
    case unicode_mark::utf8: return 3;
    case unicode_mark::utf16_le:
    case unicode_mark::utf16_be: return 2;
    case unicode_mark::none:
    case unicode_mark::utf16_without_mark: break;
  }
  return 0;
}

void utf8_check::feed(const char* data, std::size_t size) {
  if (!valid_) return;
  std::size_t i = 0;
  while (i < size) {
    if (pending_ == 0) {
      // Plain ASCII eight bytes at a time.
      while (i + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if ((word & 0x8080808080808080u) != 0) break;
        i += 8;
      }
      if (i == size) break;
      const auto c = static_cast<unsigned char>(data[i++]);
      if (c < 0x80) continue;
      low_ = 0x80;
      high_ = 0xBF;
      if (c >= 0xC2 && c <= 0xDF) {
        pending_ = 1;
      } else if (c >= 0xE0 && c <= 0xEF) {
        pending_ = 2;
        if (c == 0xE0) low_ = 0xA0;   // no overlong forms
        if (c == 0xED) high_ = 0x9F;  // no surrogates
      } else if (c >= 0xF0 && c <= 0xF4) {
        pending_ = 3;
        if (c == 0xF0) low_ = 0x90;
        if (c == 0xF4) high_ = 0x8F;  // nothing above U+10FFFF
      } else {
        valid_ = false;
        return;
      }
    } else {
      const auto c = static_cast<unsigned char>(data[i++]);
      if (c < low_ || c > high_) {
        valid_ = false;
        return;
      }
      low_ = 0x80;
      high_ = 0xBF;
      --pending_;
    }
  }
}

void utf8_check::finish() {
  if (pending_ != 0) valid_ = false;
  pending_ = 0;
}

bool is_valid_utf8(std::string_view bytes) {
  utf8_check check;
  check.feed(bytes.data(), bytes.size());
  check.finish();
  return check.valid();
}

void append_utf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

// Windows-1250 bytes 0x80 to 0xFF as code points.
constexpr std::array<std::uint16_t, 128> windows_1250 = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021,
    0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr std::uint32_t replacement_character = 0xFFFD;

}  // namespace

void append_windows_1250(std::string& out, std::string_view bytes) {
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    append_utf8(out, c < 0x80 ? c : windows_1250[c - 0x80]);
  }
}

byte_source utf16_source::source() {
  byte_source source;
  source.context = this;
  source.read = [](void* context, char* into, std::size_t size) {
    return static_cast<utf16_source*>(context)->read(into, size);
  };
  return source;
}

std::size_t utf16_source::read(char* into, std::size_t size) {
  std::size_t given = 0;
  while (given < size) {
    if (out_at_ == out_.size()) {
      out_.clear();
      out_at_ = 0;
      if (ended_) break;
      convert_more();
      continue;
    }
    const std::size_t take = std::min(size - given, out_.size() - out_at_);
    std::memcpy(into + given, out_.data() + out_at_, take);
    out_at_ += take;
    given += take;
  }
  return given;
}

void utf16_source::convert_more() {
  constexpr std::size_t piece = std::size_t{1} << 16;
  const std::size_t kept = in_.size();
  in_.resize(kept + piece);
  const std::size_t got = raw_.read(raw_.context, in_.data() + kept, piece);
  in_.resize(kept + got);
  if (got == 0) {
    ended_ = true;
    if (high_surrogate_ != 0 || !in_.empty()) damaged_ = true;
    if (high_surrogate_ != 0) append_utf8(out_, replacement_character);
    high_surrogate_ = 0;
    in_.clear();
    return;
  }
  std::size_t i = 0;
  for (; i + 2 <= in_.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(in_[i]);
    const auto b1 = static_cast<unsigned char>(in_[i + 1]);
    const std::uint32_t unit = big_endian_ ? (b0 << 8) | b1 : (b1 << 8) | b0;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (high_surrogate_ != 0) {
        append_utf8(out_, replacement_character);
        damaged_ = true;
      }
      high_surrogate_ = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      if (high_surrogate_ != 0) {
        append_utf8(out_, 0x10000 + ((high_surrogate_ - 0xD800) << 10) + (unit - 0xDC00));
      } else {
        append_utf8(out_, replacement_character);
        damaged_ = true;
      }
      high_surrogate_ = 0;
    } else {
      if (high_surrogate_ != 0) {
        append_utf8(out_, replacement_character);
        damaged_ = true;
        high_surrogate_ = 0;
      }
      append_utf8(out_, unit);
    }
  }
  in_.erase(0, i);
}

}  // namespace som
