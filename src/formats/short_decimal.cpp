#include "formats/short_decimal.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Why the result is the correctly rounded value of w × 10^p (w < 2^64,
// |p| ≤ 22; w = 0 gives 0).
//
// p ≥ 0: w × 10^p = (w × 5^p) × 2^p, and w × 5^p < 2^64 × 2^52 is an
// integer held exactly in 128 bits. It is rounded to 53 bits exactly (its
// bits below them compared with half of their last place, ties to even),
// then scaled by 2^(p + bits dropped), which is exact: the value lies
// between 1 and 10^41, where doubles are normal.
//
// p = −q < 0: let 2^(b−1) < 5^q < 2^b, M = 127 + b and R = ⌈2^M / 5^q⌉, so
// that 2^127 < R < 2^128 (a table below). With T = w × 2^M / 5^q, the exact
// value times 2^(M + q), the integer P = w × R = T + w × ε for some
// 0 < ε < 1 (5^q never divides 2^M): T < P < T + 2^64. Let H = ⌊P / 2^64⌋
// (≥ 2^63), s = (bits of H) − 54 and t = ⌊H / 2^s⌋, the top 54 bits. When
// H mod 2^s ≠ 0, P mod 2^(64+s) ≥ 2^64 > P − T, so T lies in the same
// stretch [t, t + 1) × 2^(64+s) as P and not at its start:
// t < T / 2^(64+s) < t + 1. Rounded to 53 bits, that is never a tie, and
// gives m = ⌊(t + 1) / 2⌋ (t's last bit is the first one dropped) times
// 2^(65+s). The value is m × 2^(65 + s − M − q), exactly, since it lies
// between 10^−22 and 2^64. When H mod 2^s = 0 (about once in a thousand
// numbers or less), the rounding is left to the general conversion.
//
// Without 128-bit integers only Clinger's fast path is taken: w ≤ 2^53,
// where w and 10^|p| (|p| ≤ 22: 5^22 < 2^53) are doubles exactly and the
// one IEEE multiplication or division rounds the exact value to nearest.

namespace som {

namespace {

constexpr int largest_power = 22;
constexpr std::size_t longest_text = 32;

// 10^0 to 10^19.
struct ten_powers {
  std::uint64_t of[20] = {};
  constexpr ten_powers() {
    std::uint64_t power = 1;
    for (int i = 0; i < 20; ++i) {
      of[i] = power;
      if (i < 19) power *= 10;
    }
  }
};
constexpr ten_powers powers_of_ten;

// The bits of the text's bytes that are digits (8 ≤ length ≤ 32), read
// straight from the text: two loads that overlap where it is shorter than
// twice their width.
std::uint64_t digit_bits(const char* text, std::size_t length) {
#if defined(__SSE2__)
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const auto digits = [&](__m128i bytes) {
    const __m128i t = _mm_sub_epi8(bytes, zero);
    // A digit is t ≤ 9, as an unsigned byte.
    return static_cast<std::uint64_t>(
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(t, nine), t))));
  };
  if (length >= 16) {
    const std::uint64_t first = digits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text)));
    const std::uint64_t last =
        digits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + length - 16)));
    return first | last << (length - 16);
  }
  const std::uint64_t first =
      digits(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(text))) & 0xFF;
  const std::uint64_t last =
      digits(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(text + length - 8))) & 0xFF;
  return first | last << (length - 8);
#else
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < length; ++i)
    if (text[i] >= '0' && text[i] <= '9') bits |= std::uint64_t{1} << i;
  return bits;
#endif
}

// The value of the n ≤ 8 digits at `at` (8 ≤ length).
inline std::uint64_t eight_digits(const char* text, std::size_t length, std::size_t at,
                                  unsigned n) {
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes around them (not beyond the text), the first in the
    // lowest byte; those after the digits shifted out, those before them
    // made zero, which read as leading zeros.
    const std::size_t from = at + 8 <= length ? at : length - 8;
    std::uint64_t v;
    std::memcpy(&v, text + from, 8);
    v <<= 8 * (from + 8 - at - n);
    v &= ~std::uint64_t{0} << (8 * (8 - n));
    v = (v & 0x0F0F0F0F0F0F0F0Fu) * 2561 >> 8;
    v = (v & 0x00FF00FF00FF00FFu) * 6553601 >> 16;
    return (v & 0x0000FFFF0000FFFFu) * 42949672960001u >> 32;
  } else {
    std::uint64_t w = 0;
    for (unsigned i = 0; i < n; ++i) w = w * 10 + static_cast<std::uint64_t>(text[at + i] - '0');
    return w;
  }
}

// The value of the n ≤ 19 digits at `at`.
inline std::uint64_t digits_value(const char* text, std::size_t length, std::size_t at,
                                  unsigned n) {
  if (n == 0) return 0;
  if (length < 8) {
    std::uint64_t w = 0;
    for (unsigned i = 0; i < n; ++i) w = w * 10 + static_cast<std::uint64_t>(text[at + i] - '0');
    return w;
  }
  if (n <= 8) return eight_digits(text, length, at, n);
  if (n <= 16)
    return eight_digits(text, length, at, 8) * powers_of_ten.of[n - 8] +
           eight_digits(text, length, at + 8, n - 8);
  return (eight_digits(text, length, at, 8) * powers_of_ten.of[8] +
          eight_digits(text, length, at + 8, 8)) *
             powers_of_ten.of[n - 16] +
         eight_digits(text, length, at + 16, n - 16);
}

// m × 2^exponent, m ≤ 2^53, for results that are normal doubles.
double scaled(std::uint64_t m, int exponent) {
  const std::uint64_t bits = static_cast<std::uint64_t>(1023 + exponent) << 52;
  double power;
  std::memcpy(&power, &bits, sizeof power);
  return static_cast<double>(m) * power;
}

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 u128;

struct reciprocal {
  u128 r = 0;  // ⌈2^m / 5^q⌉
  int m = 0;
};

constexpr reciprocal make_reciprocal(int q) {
  std::uint64_t d = 1;
  for (int i = 0; i < q; ++i) d *= 5;
  int b = 0;
  for (std::uint64_t t = d; t != 0; t >>= 1) ++b;
  reciprocal out;
  out.m = 127 + b;
  // 2^m / d, one bit of the quotient at a time.
  std::uint64_t remainder = 0;
  for (int k = out.m; k >= 0; --k) {
    remainder = remainder * 2 + (k == out.m ? 1 : 0);
    const bool bit = remainder >= d;
    if (bit) remainder -= d;
    out.r = out.r * 2 + (bit ? 1 : 0);
  }
  if (remainder != 0) ++out.r;
  return out;
}

struct reciprocal_table {
  reciprocal of[largest_power + 1];
  constexpr reciprocal_table() {
    for (int q = 1; q <= largest_power; ++q) of[q] = make_reciprocal(q);
  }
};

constexpr reciprocal_table reciprocals;

constexpr std::uint64_t power_of_five(int p) {
  std::uint64_t v = 1;
  for (int i = 0; i < p; ++i) v *= 5;
  return v;
}

int bit_length(u128 v) {
  const auto high = static_cast<std::uint64_t>(v >> 64);
  if (high != 0) return 128 - std::countl_zero(high);
  return 64 - std::countl_zero(static_cast<std::uint64_t>(v));
}

// w × 10^power, w ≥ 1; false where the rounding is left undecided.
bool convert(std::uint64_t w, int power, double& value) {
  if (power >= 0) {
    const u128 product = u128{w} * power_of_five(power);
    const int bits = bit_length(product);
    if (bits <= 53) {
      value = scaled(static_cast<std::uint64_t>(product), power);
      return true;
    }
    const int drop = bits - 53;
    auto kept = static_cast<std::uint64_t>(product >> drop);
    const u128 rest = product & ((u128{1} << drop) - 1);
    const u128 half = u128{1} << (drop - 1);
    if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
    value = scaled(kept, power + drop);
    return true;
  }
  const int q = -power;
  const reciprocal& r = reciprocals.of[q];
  const u128 low = u128{w} * static_cast<std::uint64_t>(r.r);
  const u128 high = u128{w} * static_cast<std::uint64_t>(r.r >> 64) + (low >> 64);
  const int s = bit_length(high) - 54;
  // Whether the s bits below the top 54 are all 0.
  const auto high_low = static_cast<std::uint64_t>(high);
  const int zeros = high_low != 0 ? std::countr_zero(high_low)
                                  : 64 + std::countr_zero(static_cast<std::uint64_t>(high >> 64));
  if (zeros >= s) return false;
  const auto top = static_cast<std::uint64_t>(high >> s);
  value = scaled((top + 1) >> 1, 65 + s - r.m - q);
  return true;
}
#else
constexpr double exact_powers[largest_power + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool convert(std::uint64_t w, int power, double& value) {
  if (w > std::uint64_t{1} << 53) return false;
  const auto exact = static_cast<double>(w);
  value = power >= 0 ? exact * exact_powers[power] : exact / exact_powers[-power];
  return true;
}
#endif

}  // namespace

bool short_decimal(const char* text, std::size_t length, char mark, double& value) {
  if (length == 0 || length > longest_text) return false;
  std::uint64_t digits = 0;
  if (length >= 8) {
    digits = digit_bits(text, length);
  } else {
    for (std::size_t k = 0; k < length; ++k)
      if (text[k] >= '0' && text[k] <= '9') digits |= std::uint64_t{1} << k;
  }
  // The byte at `at`, or 0 past the end.
  const auto byte = [&](std::size_t at) { return at < length ? text[at] : '\0'; };
  const bool negative = text[0] == '-';
  std::size_t i = negative || text[0] == '+' ? 1 : 0;
  const std::size_t whole_at = i;
  const auto whole = static_cast<unsigned>(std::countr_one(digits >> whole_at));
  i += whole;
  std::size_t fraction_at = i;
  unsigned fraction = 0;
  if (byte(i) == mark) {
    fraction_at = i + 1;
    fraction = static_cast<unsigned>(std::countr_one(digits >> fraction_at));
    i = fraction_at + fraction;
  }
  if (whole + fraction == 0 || whole + fraction > 19) return false;
  int exponent = 0;
  if (byte(i) == 'e' || byte(i) == 'E') {
    ++i;
    const bool exponent_negative = byte(i) == '-';
    if (byte(i) == '-' || byte(i) == '+') ++i;
    const std::size_t first = i;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (i - first == 4) return false;  // beyond any power taken here
      exponent = exponent * 10 + (text[i] - '0');
    }
    if (i == first) return false;
    if (exponent_negative) exponent = -exponent;
  }
  if (i != length) return false;
  const int power = exponent - static_cast<int>(fraction);
  if (power < -largest_power || power > largest_power) return false;
  // At most 19 digits: below 10^19, no overflow.
  const std::uint64_t w = digits_value(text, length, whole_at, whole) * powers_of_ten.of[fraction] +
                          digits_value(text, length, fraction_at, fraction);
  double magnitude = 0.0;
  if (w != 0 && !convert(w, power, magnitude)) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace som
