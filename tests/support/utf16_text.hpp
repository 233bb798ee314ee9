// Text as Windows saves it "in Unicode": UTF-16, little-endian (Notepad's
// "Unicode", Excel's "Unicode text", PowerShell 5's `>`) or big-endian, with
// or without its byte order mark. Only for ASCII text, whose characters are
// each one 16-bit unit.
#pragma once

#include <string>
#include <string_view>

namespace som_test {

inline std::string utf16(std::string_view ascii, bool big_endian = false, bool mark = true) {
  std::string out;
  if (mark) out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : ascii) out += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
  return out;
}

inline constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";

}  // namespace som_test
