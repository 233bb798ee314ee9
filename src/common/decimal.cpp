#include "common/decimal.hpp"

#include <charconv>
#include <limits>
#include <system_error>

namespace som {

std::ptrdiff_t scan_decimal(const char* text, const char* end, bool complete) {
  // At the end of the text the answer is final only when the text is
  // complete; otherwise more text could change it (-1).
  const char* p = text;
  if (p == end) return complete ? 0 : -1;
  if (*p == '+' || *p == '-') ++p;
  const char* run = p;
  while (p != end && is_digit(*p)) ++p;
  std::ptrdiff_t digits = p - run;
  if (p != end && *p == '.') {
    run = ++p;
    while (p != end && is_digit(*p)) ++p;
    digits += p - run;
  }
  if (p == end) return !complete ? -1 : digits != 0 ? p - text : 0;
  if (digits == 0) return 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (q != end && (*q == '+' || *q == '-')) ++q;
    if (q == end) return complete ? p - text : -1;
    if (is_digit(*q)) {
      while (q != end && is_digit(*q)) ++q;
      if (q == end && !complete) return -1;
      p = q;
    }
  }
  return p - text;
}

namespace {

// For a number whose conversion is out of range: true when it is too large
// (its leading digit's decimal order plus the exponent is not negative).
bool overflows(const char* text, std::size_t length) {
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  std::int64_t order = 0;
  bool found = false;
  std::int64_t integer_digits_after = -1;
  for (; i < length && is_digit(text[i]); ++i) {
    if (found) {
      ++integer_digits_after;
    } else if (text[i] != '0') {
      found = true;
      integer_digits_after = 0;
    }
  }
  if (found) {
    order = integer_digits_after;
  } else if (i < length && text[i] == '.') {
    ++i;
    std::int64_t position = 0;
    for (; i < length && is_digit(text[i]); ++i) {
      --position;
      if (text[i] != '0') {
        order = position;
        break;
      }
    }
  }
  while (i < length && text[i] != 'e' && text[i] != 'E') ++i;
  std::int64_t exponent = 0;
  if (i < length) {
    ++i;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    for (; i < length; ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return order + exponent >= 0;
}

}  // namespace

double convert_decimal(const char* text, std::size_t length) {
  const char* first = text;
  const char* last = text + length;
  if (*first == '+') ++first;
  double value = 0.0;
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    const bool negative = *first == '-';
    const double magnitude =
        overflows(text, length) ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
  }
  return value;
}

bool parse_decimal(const char* text, std::size_t length, double& value) {
  // from_chars reads the same notation but for a sign '+', which it does
  // not take, and "inf" and "nan", which are not numbers here: a number
  // starts with a digit or a point after its sign.
  const char* first = text;
  const char* const last = text + length;
  const char* body = first;
  if (first != last && *first == '+') {
    body = ++first;
  } else if (first != last && *first == '-') {
    body = first + 1;
  }
  if (body == last || !(is_digit(*body) || *body == '.')) return false;
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ptr != last) return false;
  if (result.ec == std::errc::result_out_of_range) {
    value = convert_decimal(text, length);
    return true;
  }
  return result.ec == std::errc();
}

bool read_decimal(byte_reader& reader, double& value) {
  // Most numbers lie in the buffer whole, with the character after them.
  if (reader.buffered() != 0) {
    const char* p = reader.next();
    const char* const buffered = p + reader.buffered();
    while (p != buffered && is_space(*p)) ++p;
    reader.advance_to(p);
    const std::ptrdiff_t length =
        p == buffered ? -1 : scan_decimal(p, buffered, reader.exhausted());
    if (length == 0) return false;
    if (length > 0) {
      value = convert_decimal(p, static_cast<std::size_t>(length));
      reader.advance(static_cast<std::size_t>(length));
      return true;
    }
  }
  std::size_t want = 64;
  while (true) {
    // Skip white space first, so that the look-ahead starts at the number.
    int c;
    while ((c = reader.peek()) != -1 && is_space(c)) reader.advance(1);
    if (c == -1) return false;
    const std::size_t available = reader.fill(want);
    const char* text = reader.next();
    const std::ptrdiff_t length = scan_decimal(text, text + available, reader.exhausted());
    if (length < 0) {
      want = available * 2;
      continue;
    }
    if (length == 0) return false;
    value = convert_decimal(text, static_cast<std::size_t>(length));
    reader.advance(static_cast<std::size_t>(length));
    return true;
  }
}

bool read_u32(byte_reader& reader, std::uint32_t& value, bool& above_range) {
  int c;
  while ((c = reader.peek()) != -1 && is_space(c)) reader.advance(1);
  std::size_t i = 0;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    i = 1;
  }
  if (!is_digit(reader.peek(i))) return false;
  reader.advance(i);
  std::uint32_t result = 0;
  std::uint64_t digits = 0;  // the digits' value, held at 2^32 once above
  int d;
  while (is_digit(d = reader.peek())) {
    result = result * 10u + static_cast<std::uint32_t>(d - '0');
    digits = digits * 10u + static_cast<std::uint64_t>(d - '0');
    if (digits > std::uint64_t{1} << 32) digits = std::uint64_t{1} << 32;
    reader.advance(1);
  }
  value = negative ? 0u - result : result;
  above_range = digits > std::numeric_limits<std::uint32_t>::max();
  return true;
}

bool read_u32(byte_reader& reader, std::uint32_t& value) {
  bool above_range = false;
  return read_u32(reader, value, above_range);
}

}  // namespace som
