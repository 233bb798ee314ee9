#include "report/html_text.hpp"

#include <cstdint>

namespace som {

namespace {

constexpr const char* replacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at `at` (1 to 4), or 0 when
// the bytes there are not one (overlong forms and surrogates are not).
std::size_t utf8_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string html_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8_length(text, at);
    if (length == 0) {
      out += replacement;
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    const char c = text[at++];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == '\x7F') {
          out += replacement;
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace som
