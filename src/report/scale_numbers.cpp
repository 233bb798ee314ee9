#include "report/scale_numbers.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace som {

namespace {

std::string chars(double value, std::chars_format format, int precision) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return std::string(buffer, result.ptr);
}

// "12.50" -> "12.5", "3.000" -> "3".
std::string without_trailing_zeros(std::string text) {
  if (text.find('.') == std::string::npos) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string scale_number(double value, double span) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0.0 ? "inf" : "-inf";
  const double size = std::abs(value);
  if (size == 0.0 || (std::isfinite(span) && size < 1e-12 * std::abs(span))) return "0";
  // Rounded to 4 significant digits first: 99999 is 1e+05, 0.0099996 is 0.01.
  const std::string rounded_text = chars(value, std::chars_format::scientific, 3);
  double rounded = 0.0;
  std::from_chars(rounded_text.data(), rounded_text.data() + rounded_text.size(), rounded);
  const double rounded_size = std::abs(rounded);
  if (rounded_size >= 1e-3 && rounded_size < 1e5) {
    const int magnitude = static_cast<int>(std::floor(std::log10(rounded_size)));
    return without_trailing_zeros(
        chars(rounded, std::chars_format::fixed, std::max(0, 3 - magnitude)));
  }
  return chars(value, std::chars_format::general, 4);
}

std::string tick_number(double value, double step) {
  if (!(std::abs(value) >= 1e-9 * std::abs(step))) return "0";
  if (!std::isfinite(value) || !(step > 0.0) || !std::isfinite(step)) return scale_number(value, step);
  const double digits = std::floor(std::log10(std::abs(value))) - std::floor(std::log10(step)) + 1.0;
  if (digits <= 4.0) return scale_number(value, step);
  return chars(value, std::chars_format::general, static_cast<int>(std::min(digits, 17.0)));
}

double label_width(const std::string& text) {
  double width = 0.0;
  for (char c : text) width += (c == '.' || c == '-' || c == '+') ? 4.5 : 7.2;
  return width;
}

double scale_width_for(double low, double high) {
  const double span = high - low;
  return label_width(scale_number(low, span)) + label_width(scale_number(high, span)) + label_gap;
}

std::vector<scale_label> scale_labels(double low, double high, double x0, double width) {
  const double span = high - low;
  std::vector<scale_label> out;
  const std::string first = scale_number(low, span);
  out.push_back({x0, "start", first});
  if (!(high != low)) return out;
  const std::string last = scale_number(high, span);
  if (last == first) return out;
  const std::string middle = scale_number(low + span / 2.0, span);
  const double centre = x0 + width / 2.0;
  const double half = label_width(middle) / 2.0;
  const bool middle_fits = middle != first && middle != last &&
                           centre - half >= x0 + label_width(first) + label_gap &&
                           centre + half <= x0 + width - label_width(last) - label_gap;
  if (middle_fits) out.push_back({centre, "middle", middle});
  out.push_back({x0 + width, "end", last});
  return out;
}

}  // namespace som
