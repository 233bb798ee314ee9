#include "common/text_format.hpp"

#include <charconv>
#include <cmath>

namespace som {

void append_u32(std::string& out, std::uint32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_u64(std::string& out, std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_shortest(std::string& out, double value) {
  // 17 significant digits, a sign, a point and a four-character exponent.
  // Formatted straight into the string's end (many numbers a line).
  const std::size_t at = out.size();
  out.resize(at + 32);
  const auto result = std::to_chars(out.data() + at, out.data() + out.size(), value);
  out.resize(static_cast<std::size_t>(result.ptr - out.data()));
}

namespace {

// The value as std::to_chars writes it in `format` with `precision`, and
// the values without digits spelled as "%f" spells them.
void append_formatted(std::string& out, double value, std::chars_format format, int precision) {
  if (std::isnan(value)) {
    out += std::signbit(value) ? "-nan" : "nan";
    return;
  }
  if (std::isinf(value)) {
    out += std::signbit(value) ? "-inf" : "inf";
    return;
  }
  // 309 integer digits, the point, the decimals and a sign fit easily.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  out.append(buffer, result.ptr);
}

}  // namespace

void append_fixed(std::string& out, double value, int decimals) {
  append_formatted(out, value, std::chars_format::fixed, decimals);
}

void append_fixed6(std::string& out, double value) { append_fixed(out, value, 6); }

void append_significant(std::string& out, double value, int digits) {
  append_formatted(out, value, std::chars_format::general, digits);
}

}  // namespace som
