// The decimal numbers that tables hold, converted faster than by the
// general conversion (common/decimal.hpp) and to the same double.
//
// A number [+-] digits [mark digits] [(e|E) [+-] digits] of at most 19
// digits is the integer w of its digits (w < 10^19 < 2^64) times 10^p,
// p = its exponent less the digits after the mark; where |p| ≤ 22 it is
// converted here with integer arithmetic, rounded once to the nearest
// double (ties to even): the correctly rounded value, the double that
// std::from_chars and convert_decimal give. Spreadsheets write at most 15
// to 17 significant digits, and rarely a power beyond 10^±22, so nearly
// every number of a table is of this form. The proof is in the source; the
// tests check the conversion against the general one.
#pragma once

#include <cstddef>

namespace som {

// True, with the value, when the whole text (without blanks around it, at
// most 32 bytes) is a number of the form above with `mark` ('.' or ',') for
// the decimal mark and at least one digit before the exponent. False
// otherwise, and in the rare case the rounding is not decided here: the
// text is then decided the general way (it may still be a number: "1e30",
// 20 digits, ...).
bool short_decimal(const char* text, std::size_t length, char mark, double& value);

}  // namespace som
