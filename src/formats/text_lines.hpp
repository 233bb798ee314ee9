// Pieces of the line-by-line text formats (sloupce.txt, zarazeni.txt): a
// line without its line end, a field that is one whole decimal number, and
// the rows under a header line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_reader.hpp"

namespace som {

// The next line without its line end (LF, or CR LF); false at the end.
bool next_line(byte_reader& reader, std::string& line);

// True when the whole field is one decimal number (common/decimal.hpp),
// which `value` then holds; a number too large for a double reads as an
// infinity.
bool whole_decimal(std::string_view field, double& value);

// True when the line holds nothing but blanks and tabs.
bool blank_line(std::string_view line);

// Reads the lines after a header up to the end: each line that is not blank
// goes to `row`, which says whether it is a good one; blank lines may follow
// the last row only. Returns the first line that is not good (1-based, the
// header being line 1), or 0 when every line is.
template <typename Row>
std::uint64_t read_rows(byte_reader& reader, Row&& row) {
  std::string line;
  std::uint64_t number = 1;
  bool ended = false;  // a blank line has been seen: only blank lines may follow
  while (next_line(reader, line)) {
    ++number;
    if (blank_line(line)) {
      ended = true;
      continue;
    }
    if (ended || !row(std::string_view(line))) return number;
  }
  return 0;
}

}  // namespace som
