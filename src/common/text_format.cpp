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
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

namespace {

// The spellings of the values without digits; false for a finite value.
bool append_special(std::string& out, double value) {
  if (std::isnan(value)) {
    out += std::signbit(value) ? "-nan" : "nan";
    return true;
  }
  if (std::isinf(value)) {
    out += std::signbit(value) ? "-inf" : "inf";
    return true;
  }
  return false;
}

}  // namespace

void append_fixed(std::string& out, double value, int decimals) {
  if (append_special(out, value)) return;
  // 309 integer digits, the point, the decimals and a sign.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  out.append(buffer, result.ptr);
}

void append_fixed6(std::string& out, double value) { append_fixed(out, value, 6); }

void append_significant(std::string& out, double value, int digits) {
  if (append_special(out, value)) return;
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  out.append(buffer, result.ptr);
}

}  // namespace som
