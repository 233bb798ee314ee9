#include "formats/text_folding.hpp"

#include <array>
#include <cstdint>

namespace som {

namespace {

// U+00C0 to U+017F (Latin-1 letters and Latin Extended-A) without their
// diacritics.
constexpr std::array<const char*, 192> latin_letters = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E",
    "I", "I", "I", "I", "D", "N", "O", "O", "O", "O", "O", "x",
    "O", "U", "U", "U", "U", "Y", "Th", "ss", "a", "a", "a", "a",
    "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    "d", "n", "o", "o", "o", "o", "o", "/", "o", "u", "u", "u",
    "u", "y", "th", "y", "A", "a", "A", "a", "A", "a", "C", "c",
    "C", "c", "C", "c", "C", "c", "D", "d", "D", "d", "E", "e",
    "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",
    "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i",
    "I", "i", "I", "i", "I", "i", "IJ", "ij", "J", "j", "K", "k",
    "k", "L", "l", "L", "l", "L", "l", "L", "l", "L", "l", "N",
    "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o",
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s",
    "S", "s", "S", "s", "S", "s", "T", "t", "T", "t", "T", "t",
    "U", "u", "U", "u", "U", "u", "U", "u", "U", "u", "U", "u",
    "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s",};

// The stand-in of a code point outside ASCII.
const char* folded(std::uint32_t c) {
  if (c >= 0xC0 && c <= 0x17F) return latin_letters[c - 0xC0];
  switch (c) {
    case 0x00A0: return " ";    // no-break space
    case 0x00B2: return "2";    // superscript two
    case 0x00B3: return "3";
    case 0x00B0: return "o";    // degree sign
    case 0x00B5:                // micro sign
    case 0x03BC: return "u";    // Greek mu
    case 0x2013:                // en dash
    case 0x2014: return "-";    // em dash
    case 0x2018:
    case 0x2019:
    case 0x201A: return "'";
    case 0x201C:
    case 0x201D:
    case 0x201E: return "\"";
    case 0x2026: return "...";
    default: return "?";
  }
}

// The code point of the UTF-8 sequence at `i` and its length; a byte that
// does not start a whole sequence reads as itself with length 1 and code
// point 0xFFFD.
std::uint32_t next_code_point(std::string_view text, std::size_t i, std::size_t& length) {
  const auto c = static_cast<unsigned char>(text[i]);
  length = 1;
  if (c < 0x80) return c;
  std::size_t need = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (need == 0 || i + need >= text.size()) return 0xFFFD;
  std::uint32_t value = c & (0x3F >> need);
  for (std::size_t k = 1; k <= need; ++k) {
    const auto d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0) != 0x80) return 0xFFFD;
    value = (value << 6) | (d & 0x3F);
  }
  length = need + 1;
  return value;
}

}  // namespace

std::string ascii_folded(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    const std::uint32_t c = next_code_point(utf8, i, length);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += folded(c);
    }
    i += length;
  }
  return out;
}

std::string loose_key(std::string_view utf8) {
  std::string key = ascii_folded(utf8);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

}  // namespace som
