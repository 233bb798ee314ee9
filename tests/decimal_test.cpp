// Decimal numbers read from text whatever the locale: which text counts as
// a number, text that ends before a number could be decided, and the
// conversion to the nearest double (ties to even, out-of-range values to
// infinity or zero with their sign).
#include "common/decimal.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace {

// Length scan_decimal gives for a complete text.
std::ptrdiff_t scan(std::string_view text) {
  return som::scan_decimal(text.data(), text.data() + text.size(), true);
}

TEST(Decimal, WhatCountsAsANumber) {
  struct token_case {
    const char* text;
    std::ptrdiff_t length;
  };
  const token_case cases[] = {
      {"12", 2},  {"-3.5", 4},  {"+.5", 3},   {"5.", 2},    {".5e3", 4},  {"1e", 1},
      {"1e+", 1}, {"1e-7x", 4}, {"2E+10", 5}, {"0x1p3", 1}, {"1,5", 1},   {"-", 0},
      {".", 0},   {"+.", 0},    {"-.e5", 0},  {"inf", 0},   {"nan", 0},   {"e5", 0},
      {"", 0},    {"1.2.3", 3}, {"7\r\n", 1}, {"--1", 0},   {"1e5.5", 3}, {"00012", 5},
  };
  for (const token_case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(scan(c.text), c.length);
  }
}

TEST(Decimal, IncompleteTextAsksForMore) {
  const std::string text = "12.5e";
  EXPECT_EQ(som::scan_decimal(text.data(), text.data() + text.size(), false), -1);
  EXPECT_EQ(som::scan_decimal(text.data(), text.data() + 2, false), -1);
  EXPECT_EQ(som::scan_decimal(text.data(), text.data() + 5, true), 4);
}

double convert(std::string_view text) { return som::convert_decimal(text.data(), text.size()); }

TEST(Decimal, ConvertsToTheNearestDouble) {
  EXPECT_EQ(convert("0.1"), 0.1);
  EXPECT_EQ(convert("+0.1"), 0.1);
  EXPECT_EQ(convert("-2.5e-3"), -2.5e-3);
  EXPECT_EQ(convert("5."), 5.0);
  EXPECT_EQ(convert(".5"), 0.5);
  EXPECT_EQ(convert("1.7976931348623157e308"), std::numeric_limits<double>::max());
  EXPECT_EQ(convert("4.9e-324"), std::numeric_limits<double>::denorm_min());
  // Halfway between 1 and the next double rounds to even; just above rounds up.
  EXPECT_EQ(convert("1.00000000000000011102230246251565404236316680908203125"), 1.0);
  EXPECT_EQ(convert("1.00000000000000011102230246251565404236316680908203126"),
            std::nextafter(1.0, 2.0));
  // A long mantissa is not cut short.
  EXPECT_EQ(convert("0." + std::string(400, '0') + "1e401"), 1.0);
}

TEST(Decimal, OutOfRangeGivesInfinityOrZeroWithSign) {
  EXPECT_EQ(convert("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(convert("-1e400"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(convert("1.8e308"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(convert("1e-400"), 0.0);
  EXPECT_TRUE(std::signbit(convert("-1e-400")));
  EXPECT_EQ(convert("2.4e-324"), 0.0);
  EXPECT_EQ(convert("0.000001e-320"), 0.0);
  EXPECT_EQ(convert("100000e304"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(convert("1e99999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(convert("1e-99999999999999999999"), 0.0);
}

}  // namespace
