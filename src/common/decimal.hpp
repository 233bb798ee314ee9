// Reading of decimal numbers from text, independent of the locale.
//
// A real number is: an optional sign, digits with an optional point and
// fraction (at least one digit in all), and an optional exponent made of
// 'e' or 'E', an optional sign and at least one digit. An exponent marker
// without digits is not part of the number. "inf", "nan" and hexadecimal
// notation are not numbers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_reader.hpp"

namespace som {

// Length of the real number that starts at `text`, 0 when none starts there,
// or -1 when the text ends at `end` before the number could be decided and
// `complete` says that more text may follow.
std::ptrdiff_t scan_decimal(const char* text, const char* end, bool complete);

// Converts a number accepted by scan_decimal to the nearest double (correctly
// rounded; too large gives an infinity, too small a zero, each with its sign).
double convert_decimal(const char* text, std::size_t length);

// Whether the whole text (of `length` bytes, at least one) is one real number,
// and its value (as convert_decimal gives it): scan_decimal and
// convert_decimal in one, for words already cut out of a text.
bool parse_decimal(const char* text, std::size_t length, double& value);

// Skips white space, then reads one real number. Returns false, leaving the
// text that is not a number unread, when no number stands there.
bool read_decimal(byte_reader& reader, double& value);

// Skips white space, then reads an unsigned decimal integer the way the %u
// conversion does: an optional sign, then digits; the value wraps modulo 2^32
// and a negative value is negated modulo 2^32. A sign without a digit after
// it is not a number and is left unread, as is any other text. Returns false
// when no number stands there.
bool read_u32(byte_reader& reader, std::uint32_t& value);
// The same, and says whether the digits, whatever the sign, give a number
// above 4294967295 (which the value then holds wrapped).
bool read_u32(byte_reader& reader, std::uint32_t& value, bool& above_range);

}  // namespace som
