// Pieces of the line-by-line text formats (sloupce.txt, zarazeni.txt): a
// line without its line end, and a field that is one whole decimal number.
#pragma once

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

}  // namespace som
