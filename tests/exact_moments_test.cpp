// The mean and sample standard deviation of som_data's scaling, from exact
// sums: against values whose moments are known exactly, against a two-pass
// computation in wider arithmetic, in any order, and at the ends of the
// doubles' range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "table/exact_moments.hpp"

namespace {

som::exact_moments moments_of(const std::vector<double>& values) {
  som::exact_moments m;
  for (double x : values) m.add(x);
  return m;
}

TEST(ExactMoments, KnownMoments) {
  struct known {
    const char* what;
    std::vector<double> values;
    double mean;
    double sd;  // the square root of the variance rounded once
  };
  std::vector<double> offset;
  for (int k = 0; k < 1000; ++k) offset.push_back(1e9 + 0.5 * k);
  const known cases[] = {
      {"1 to 10", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 5.5, std::sqrt(55.0 / 6.0)},
      {"one value", {42.0}, 42.0, 0.0},
      {"all alike", {3.25, 3.25, 3.25}, 3.25, 0.0},
      {"signs", {-2.0, 2.0}, 0.0, std::sqrt(8.0)},
      // A naive sum of squares loses everything here: 1e18 against 0.25.
      {"huge offset", offset, 1e9 + 0.25 * 999, std::sqrt(0.25 * 1000.0 * 1001.0 / 12.0)},
  };
  for (const known& c : cases) {
    const som::exact_moments m = moments_of(c.values);
    EXPECT_EQ(m.mean(), c.mean) << c.what;
    EXPECT_EQ(m.sample_sd(), c.sd) << c.what;
    EXPECT_EQ(m.constant(), c.sd == 0.0) << c.what;
    EXPECT_EQ(m.count(), c.values.size()) << c.what;
  }
}

// Against a two-pass computation in long double (64-bit mantissa where the
// host has it): the results agree to the last bit or, where the wider sums
// themselves round, within one unit.
TEST(ExactMoments, AgreesWithTwoPassInWiderArithmetic) {
  std::mt19937_64 random(2026);
  for (int trial = 0; trial < 40; ++trial) {
    std::normal_distribution<double> normal(trial % 3 == 0 ? 1e6 : 0.0,
                                            std::pow(10.0, trial % 7 - 3));
    std::vector<double> values(1 + trial * 37);
    for (double& x : values) x = normal(random);
    long double sum = 0;
    for (double x : values) sum += x;
    const long double mean = sum / values.size();
    long double squares = 0;
    for (double x : values) squares += (x - mean) * (x - mean);
    const som::exact_moments m = moments_of(values);
    // What the wider sums may have lost: n units of their last place.
    double largest = 0.0;
    for (double x : values) largest = std::max(largest, std::abs(x));
    const double wide = largest * static_cast<double>(values.size()) * std::ldexp(1.0, -62);
    const double eps = std::numeric_limits<double>::epsilon();
    EXPECT_LE(std::abs(m.mean() - static_cast<double>(mean)),
              std::abs(static_cast<double>(mean)) * eps + wide)
        << trial;
    if (values.size() >= 2) {
      const double sd = static_cast<double>(std::sqrt(squares / (values.size() - 1)));
      EXPECT_LE(std::abs(m.sample_sd() - sd), sd * 2 * eps + wide) << trial;
    }
  }
}

TEST(ExactMoments, TheOrderOfTheRowsDoesNotMatter) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(-1e12, 1e12);
  std::vector<double> values(5000);
  for (double& x : values) x = uniform(random) * (random() % 2 == 0 ? 1e-20 : 1.0);
  const som::exact_moments first = moments_of(values);
  std::shuffle(values.begin(), values.end(), random);
  const som::exact_moments second = moments_of(values);
  EXPECT_EQ(first.mean(), second.mean());
  EXPECT_EQ(first.sample_sd(), second.sample_sd());
}

TEST(ExactMoments, TheEndsOfTheRange) {
  const double big = std::numeric_limits<double>::max();
  const double tiny = std::numeric_limits<double>::denorm_min();
  // A sum beyond the doubles: the mean is still exact.
  EXPECT_EQ(moments_of({big, big, big}).mean(), big);
  EXPECT_EQ(moments_of({big, big, big}).sample_sd(), 0.0);
  // The variance is beyond the doubles, the deviation is not.
  EXPECT_EQ(moments_of({-1e300, 1e300}).mean(), 0.0);
  EXPECT_EQ(moments_of({-1e300, 1e300}).sample_sd(), std::sqrt(2.0) * 1e300);
  // Subnormal values: the mean of 1 and 2 units of 2^-1074 is 1.5 units,
  // which rounds to the even 2 units.
  EXPECT_EQ(moments_of({tiny, 2 * tiny}).mean(), 2 * tiny);
  EXPECT_EQ(moments_of({tiny, 3 * tiny}).mean(), 2 * tiny);
  EXPECT_EQ(moments_of({-tiny, -2 * tiny}).mean(), -2 * tiny);
  EXPECT_EQ(moments_of({0.0, -0.0}).mean(), 0.0);
  EXPECT_GT(moments_of({tiny, 3 * tiny}).sample_sd(), 0.0);
}

TEST(ExactMoments, QuotientsRoundToNearestEven) {
  struct quotient {
    std::vector<std::uint32_t> a;
    std::uint32_t d1, d2;
    int exponent;
    double expected;
  };
  const quotient cases[] = {
      {{1}, 3, 1, 0, 1.0 / 3.0},
      {{2}, 3, 1, 0, 2.0 / 3.0},
      {{10}, 4, 1, 0, 2.5},
      {{1}, 1, 1, -1074, std::numeric_limits<double>::denorm_min()},
      {{3}, 2, 1, -1074, 2 * std::numeric_limits<double>::denorm_min()},  // 1.5 units: even 2
      {{5}, 2, 1, -1074, 2 * std::numeric_limits<double>::denorm_min()},  // 2.5 units: even 2
      {{1}, 2, 1, -1074, 0.0},                                           // half a unit: even 0
      {{0, 1}, 1, 1, 0, 4294967296.0},
      {{1}, 1, 1, 1024, std::numeric_limits<double>::infinity()},
      {{7}, 7, 1, 0, 1.0},
      {{1}, 65536, 65536, 0, std::ldexp(1.0, -32)},
      {{0, 0, 1}, 0xFFFFFFFFu, 1, 0, 4294967297.0},  // 2^64 / (2^32 - 1), a little above
  };
  for (const quotient& q : cases)
    EXPECT_EQ(som::round_quotient(q.a, q.d1, q.d2, q.exponent), q.expected)
        << q.a[0] << " / " << q.d1 << " / " << q.d2 << " * 2^" << q.exponent;
}

}  // namespace
