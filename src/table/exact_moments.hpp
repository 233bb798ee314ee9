// The mean and the sample standard deviation of a column, computed from the
// exact sums of its values and of their squares. Every double is an integer
// multiple of 2^-1074 and its square one of 2^-2148, so both sums are kept as
// integers wide enough for any doubles and up to 2^32 of them: nothing is
// rounded while they grow, the order of the rows does not matter, and there
// is no cancellation however far the values lie from 0. Only the results are
// rounded:
//
//   mean = the exact mean, rounded once to the nearest double;
//   variance = the exact n/(n-1)-corrected variance, sum((x - exact mean)^2)
//              / (n - 1), rounded once to 53 bits (its exponent unbounded);
//   sd = the square root of that, rounded once (then scaled by a power of
//        two, exact but for results below 2^-1022).
#pragma once

#include <cstdint>
#include <vector>

namespace som {

class exact_moments {
 public:
  exact_moments();

  // Adds a finite value.
  void add(double x);
  // Adds the values that `other` holds (the sums are exact: the order in
  // which values and sums are added does not matter).
  void add(const exact_moments& other);

  std::uint64_t count() const { return count_; }
  // 0 without values.
  double mean() const;
  // 0 for fewer than two values or values all alike.
  double sample_sd() const;
  // Whether every value was the same (also for fewer than two).
  bool constant() const;

 private:
  void carry();

  // 32-bit pieces of each sum in 64-bit slots, so that additions carry only
  // now and then: the positive and the negative values apart, and the
  // squares.
  std::vector<std::uint64_t> positive_;
  std::vector<std::uint64_t> negative_;
  std::vector<std::uint64_t> squares_;
  std::uint64_t count_ = 0;
  std::uint64_t since_carry_ = 0;
};

// Rounds A / (d1 d2) × 2^exponent to the nearest double, ties to even (A a
// non-negative integer in 32-bit pieces, least significant first; d1, d2 not
// 0). Exposed for the tests.
double round_quotient(const std::vector<std::uint32_t>& a, std::uint32_t d1, std::uint32_t d2,
                      int exponent);

}  // namespace som
