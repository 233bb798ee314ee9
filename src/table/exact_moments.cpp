#include "table/exact_moments.hpp"

#include <cmath>
#include <cstring>

namespace som {

namespace {

using big = std::vector<std::uint32_t>;  // least significant piece first

// Pieces of 32 bits: a sum of up to 2^32 values below 2^2098 (2^4196 for
// squares), with room for the carries.
constexpr std::size_t sum_pieces = 70;
constexpr std::size_t square_pieces = 136;
// Each addition puts less than 3 × 2^32 into a slot: carry well before 2^64.
constexpr std::uint64_t carry_every = std::uint64_t{1} << 28;

// Adds v × 2^position.
inline void add_at(std::uint64_t* slots, std::uint64_t v, unsigned position) {
  const unsigned i = position / 32;
  const unsigned s = position % 32;
  if (s == 0) {
    slots[i] += v & 0xFFFFFFFFu;
    slots[i + 1] += v >> 32;
  } else {
    slots[i] += (v << s) & 0xFFFFFFFFu;
    slots[i + 1] += (v >> (32 - s)) & 0xFFFFFFFFu;
    slots[i + 2] += v >> (64 - s);
  }
}

// Adds (high × 2^64 + low) × 2^position, high < 2^63: five 32-bit pieces.
inline void add_wide_at(std::uint64_t* slots, std::uint64_t low, std::uint64_t high,
                        unsigned position) {
  const unsigned i = position / 32;
  const unsigned s = position % 32;
  if (s == 0) {
    slots[i] += low & 0xFFFFFFFFu;
    slots[i + 1] += low >> 32;
    slots[i + 2] += high & 0xFFFFFFFFu;
    slots[i + 3] += high >> 32;
  } else {
    slots[i] += (low << s) & 0xFFFFFFFFu;
    slots[i + 1] += (low >> (32 - s)) & 0xFFFFFFFFu;
    slots[i + 2] += ((low >> (64 - s)) | (high << s)) & 0xFFFFFFFFu;
    slots[i + 3] += (high >> (32 - s)) & 0xFFFFFFFFu;
    slots[i + 4] += high >> (64 - s);
  }
}

void carry_slots(std::vector<std::uint64_t>& slots) {
  std::uint64_t carry = 0;
  for (std::uint64_t& slot : slots) {
    slot += carry;
    carry = slot >> 32;
    slot &= 0xFFFFFFFFu;
  }
}

big to_big(const std::vector<std::uint64_t>& slots) {
  std::vector<std::uint64_t> copy = slots;
  carry_slots(copy);
  big out(copy.begin(), copy.end());
  while (!out.empty() && out.back() == 0) out.pop_back();
  return out;
}

int compare(const big& a, const big& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = a.size(); i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

// a - b for a >= b.
big subtract(const big& a, const big& b) {
  big out(a.size());
  std::int64_t borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::int64_t d = std::int64_t{a[i]} - borrow - (i < b.size() ? std::int64_t{b[i]} : 0);
    borrow = d < 0 ? 1 : 0;
    if (d < 0) d += std::int64_t{1} << 32;
    out[i] = static_cast<std::uint32_t>(d);
  }
  while (!out.empty() && out.back() == 0) out.pop_back();
  return out;
}

big multiply(const big& a, const big& b) {
  if (a.empty() || b.empty()) return {};
  std::vector<std::uint64_t> acc(a.size() + b.size() + 1, 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.size(); ++j) {
      const std::uint64_t t = std::uint64_t{a[i]} * b[j] + acc[i + j] + carry;
      acc[i + j] = t & 0xFFFFFFFFu;
      carry = t >> 32;
    }
    std::size_t k = i + b.size();
    while (carry != 0) {
      const std::uint64_t t = acc[k] + carry;
      acc[k++] = t & 0xFFFFFFFFu;
      carry = t >> 32;
    }
  }
  big out(acc.begin(), acc.end());
  while (!out.empty() && out.back() == 0) out.pop_back();
  return out;
}

big multiply(const big& a, std::uint32_t m) { return multiply(a, big{m}); }

// a / d in place; returns the remainder.
std::uint32_t divide(big& a, std::uint32_t d) {
  std::uint64_t remainder = 0;
  for (std::size_t i = a.size(); i-- > 0;) {
    const std::uint64_t t = (remainder << 32) | a[i];
    a[i] = static_cast<std::uint32_t>(t / d);
    remainder = t % d;
  }
  while (!a.empty() && a.back() == 0) a.pop_back();
  return static_cast<std::uint32_t>(remainder);
}

unsigned bit_length(const big& a) {
  if (a.empty()) return 0;
  unsigned bits = static_cast<unsigned>(a.size() - 1) * 32;
  for (std::uint32_t top = a.back(); top != 0; top >>= 1) ++bits;
  return bits;
}

// The 64 bits of `a` from bit `from` up (bits below `from` set `sticky`).
std::uint64_t bits_from(const big& a, int from, bool& sticky) {
  std::uint64_t out = 0;
  for (int k = 0; k < 64; ++k) {
    const int bit = from + k;
    if (bit < 0) continue;
    const std::size_t piece = static_cast<std::size_t>(bit) / 32;
    if (piece < a.size() && ((a[piece] >> (bit % 32)) & 1u) != 0) out |= std::uint64_t{1} << k;
  }
  for (int bit = 0; bit < from && bit < static_cast<int>(a.size() * 32); ++bit) {
    if (((a[static_cast<std::size_t>(bit) / 32] >> (bit % 32)) & 1u) != 0) {
      sticky = true;
      break;
    }
  }
  return out;
}

// A non-negative integer quotient (with whether a remainder was dropped) as
// its leading 64 bits `top` (bit 63 set) and the exponent of their last bit.
struct leading_bits {
  std::uint64_t top = 0;
  int exponent = 0;
  bool sticky = false;
};

leading_bits quotient_bits(const big& a, std::uint32_t d1, std::uint32_t d2, int exponent) {
  // Shifted so that the quotient keeps at least 64 bits.
  big q(4, 0u);
  q.insert(q.end(), a.begin(), a.end());
  bool sticky = divide(q, d1) != 0;
  sticky = (divide(q, d2) != 0) || sticky;
  leading_bits out;
  const int length = static_cast<int>(bit_length(q));
  if (length == 0) return out;
  out.top = bits_from(q, length - 64, sticky);
  out.sticky = sticky;
  out.exponent = exponent - 128 + (length - 64);
  return out;
}

// Rounds top × 2^exponent (+ sticky) to `keep` bits, ties to even; the
// result is an integer below 2^(keep+1) and `exponent` is moved to match.
std::uint64_t round_bits(std::uint64_t top, bool sticky, int drop, int& exponent) {
  if (drop <= 0) return top;
  std::uint64_t kept;
  std::uint64_t rest;
  std::uint64_t half;
  if (drop >= 64) {
    kept = 0;
    rest = top;
    half = drop == 64 ? std::uint64_t{1} << 63 : 0;
    if (drop > 64) {
      // Less than half of the last place: rounds to 0.
      exponent += drop;
      return 0;
    }
  } else {
    kept = top >> drop;
    rest = top & ((std::uint64_t{1} << drop) - 1);
    half = std::uint64_t{1} << (drop - 1);
  }
  exponent += drop;
  if (rest > half || (rest == half && (sticky || (kept & 1u) != 0))) ++kept;
  return kept;
}

}  // namespace

double round_quotient(const std::vector<std::uint32_t>& a, std::uint32_t d1, std::uint32_t d2,
                      int exponent) {
  big value(a);
  while (!value.empty() && value.back() == 0) value.pop_back();
  const leading_bits bits = quotient_bits(value, d1, d2, exponent);
  if (bits.top == 0) return 0.0;
  // The value lies in [2^(exponent+63), 2^(exponent+64)); a double keeps 53
  // bits, fewer below 2^-1022 (its last place never below 2^-1074).
  int e = bits.exponent;
  int drop = 11;
  if (e + drop < -1074) drop = -1074 - e;
  const std::uint64_t kept = round_bits(bits.top, bits.sticky, drop, e);
  return std::ldexp(static_cast<double>(kept), e);
}

exact_moments::exact_moments()
    : positive_(sum_pieces, 0), negative_(sum_pieces, 0), squares_(square_pieces, 0) {}

void exact_moments::add(double x) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const unsigned biased = static_cast<unsigned>((bits >> 52) & 0x7FF);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  // x = m × 2^(position - 1074).
  unsigned position = 0;
  if (biased != 0) {
    m |= std::uint64_t{1} << 52;
    position = biased - 1;
  }
  ++count_;
  if (m != 0) {
    add_at((bits >> 63) != 0 ? negative_.data() : positive_.data(), m, position);
    // m² = a² 2^64 + 2ab 2^32 + b² with m = a 2^32 + b (a < 2^21), as two
    // words, at twice the position.
    const std::uint64_t a = m >> 32;
    const std::uint64_t b = m & 0xFFFFFFFFu;
    const std::uint64_t cross = 2 * a * b;  // below 2^54
    const std::uint64_t cross_low = cross << 32;
    const std::uint64_t low = b * b + cross_low;
    const std::uint64_t high = a * a + (cross >> 32) + (low < cross_low ? 1 : 0);
    add_wide_at(squares_.data(), low, high, 2 * position);
  }
  if (++since_carry_ == carry_every) carry();
}

void exact_moments::add(const exact_moments& other) {
  // Between carries a slot grows by less than 3 × 2^32 an addition, for
  // fewer than 2^28 additions, from below 2^32: below 2^62. Two such slots
  // add up without overflow, and are carried at once.
  for (std::size_t i = 0; i < sum_pieces; ++i) {
    positive_[i] += other.positive_[i];
    negative_[i] += other.negative_[i];
  }
  for (std::size_t i = 0; i < square_pieces; ++i) squares_[i] += other.squares_[i];
  count_ += other.count_;
  carry();
}

void exact_moments::carry() {
  carry_slots(positive_);
  carry_slots(negative_);
  carry_slots(squares_);
  since_carry_ = 0;
}

namespace {

// The signed sum as a magnitude and a sign.
big signed_sum(const std::vector<std::uint64_t>& positive,
               const std::vector<std::uint64_t>& negative, bool& is_negative) {
  const big p = to_big(positive);
  const big n = to_big(negative);
  is_negative = compare(p, n) < 0;
  return is_negative ? subtract(n, p) : subtract(p, n);
}

}  // namespace

double exact_moments::mean() const {
  if (count_ == 0) return 0.0;
  bool is_negative = false;
  const big sum = signed_sum(positive_, negative_, is_negative);
  const double magnitude = round_quotient(sum, static_cast<std::uint32_t>(count_), 1, -1074);
  return is_negative ? -magnitude : magnitude;
}

namespace {

// n Σx² − (Σx)², in units of 2^-2148: n(n-1) times the sample variance.
big spread(const std::vector<std::uint64_t>& positive, const std::vector<std::uint64_t>& negative,
           const std::vector<std::uint64_t>& squares, std::uint64_t count) {
  bool is_negative = false;
  const big sum = signed_sum(positive, negative, is_negative);
  const big n_squares = multiply(to_big(squares), static_cast<std::uint32_t>(count));
  const big sum_squared = multiply(sum, sum);
  // Never negative (Cauchy-Schwarz); equal when every value is the same.
  return subtract(n_squares, sum_squared);
}

}  // namespace

bool exact_moments::constant() const {
  if (count_ < 2) return true;
  return spread(positive_, negative_, squares_, count_).empty();
}

double exact_moments::sample_sd() const {
  if (count_ < 2) return 0.0;
  const big d = spread(positive_, negative_, squares_, count_);
  if (d.empty()) return 0.0;
  // The variance to 53 bits, its exponent unbounded.
  const leading_bits bits = quotient_bits(d, static_cast<std::uint32_t>(count_),
                                          static_cast<std::uint32_t>(count_ - 1), -2148);
  int e = bits.exponent;
  std::uint64_t kept = round_bits(bits.top, bits.sticky, 11, e);
  // An even exponent for the square root: f × 2^e with e even.
  if ((e & 1) != 0) {
    kept <<= 1;
    --e;
  }
  const double root = std::sqrt(static_cast<double>(kept));
  return std::ldexp(root, e / 2);
}

}  // namespace som
