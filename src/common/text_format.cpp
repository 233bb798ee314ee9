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

void append_fixed6(std::string& out, double value) {
  if (std::isnan(value)) {
    out += std::signbit(value) ? "-nan" : "nan";
    return;
  }
  if (std::isinf(value)) {
    out += std::signbit(value) ? "-inf" : "inf";
    return;
  }
  // 309 integer digits, the point, six decimals and a sign fit easily.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  out.append(buffer, result.ptr);
}

}  // namespace som
