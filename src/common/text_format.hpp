// Locale-independent formatting of the numbers the program writes.
#pragma once

#include <cstdint>
#include <string>

namespace som {

// Appends the value as "%u" would write it.
void append_u32(std::string& out, std::uint32_t value);
void append_u64(std::string& out, std::uint64_t value);

// Appends the value as "%f" would write it in the C locale: fixed notation,
// six digits after the decimal point, correctly rounded.
void append_fixed6(std::string& out, double value);

// Appends the value in fixed notation with `decimals` (at most 60) digits
// after the point ("inf", "nan" and their signs as "%f" writes them).
void append_fixed(std::string& out, double value, int decimals);

// Appends the value with at most `digits` (1 to 60) significant digits, as
// "%g" would write it ("inf", "nan" likewise).
void append_significant(std::string& out, double value, int digits);

// Appends the shortest decimal that reads back (correctly rounded, as
// common/decimal.hpp reads) to the same double: "0.1", "-2.5e-07", "1e+300".
// The value must be finite.
void append_shortest(std::string& out, double value);

// The line end that text files get on this host (CR LF on Windows).
#ifdef _WIN32
inline constexpr const char* host_line_end = "\r\n";
#else
inline constexpr const char* host_line_end = "\n";
#endif

}  // namespace som
