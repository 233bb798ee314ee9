// The quick conversion of a table's numbers against the general one: it
// takes only what the general reading takes (every short text of a few
// characters tried), and gives the same double to the bit, near the
// halfway points between two doubles too.
#include "formats/short_decimal.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "common/decimal.hpp"

namespace {

// How a cell is read the general way: the decimal comma made a point
// where the text holds no point.
bool general(std::string text, char mark, double& value) {
  if (mark == ',') {
    if (text.find('.') != std::string::npos) return false;
    for (char& c : text)
      if (c == ',') c = '.';
  }
  return som::parse_decimal(text.data(), text.size(), value);
}

// Taken only where the general reading takes it, with the same bits;
// returns whether it was taken.
bool expect_as_general(const std::string& text, char mark) {
  double quick = 0.0;
  if (!som::short_decimal(text.data(), text.size(), mark, quick)) return false;
  double expected = 0.0;
  EXPECT_TRUE(general(text, mark, expected)) << "'" << text << "' is no number";
  EXPECT_EQ(std::memcmp(&quick, &expected, sizeof quick), 0)
      << "'" << text << "' with " << mark << ": " << quick << " not " << expected;
  return true;
}

TEST(ShortDecimal, EveryShortTextTakenOnlyAsTheGeneralReading) {
  const char alphabet[] = "0159.,eE+-x ";
  const std::size_t letters = sizeof alphabet - 1;
  std::size_t taken = 0;
  for (std::size_t length = 1; length <= 5; ++length) {
    std::size_t count = 1;
    for (std::size_t i = 0; i < length; ++i) count *= letters;
    std::string text(length, ' ');
    for (std::size_t code = 0; code < count; ++code) {
      std::size_t c = code;
      for (std::size_t i = 0; i < length; ++i, c /= letters) text[i] = alphabet[c % letters];
      for (char mark : {'.', ','}) taken += expect_as_general(text, mark) ? 1 : 0;
    }
  }
  EXPECT_GT(taken, 10000u);
}

TEST(ShortDecimal, RandomNumbersConvertAsTheGeneralReading) {
  std::mt19937_64 random(2026);
  std::size_t taken = 0;
  const std::size_t tries = 200000;
  for (std::size_t k = 0; k < tries; ++k) {
    std::string text;
    if (k % 3 == 0) {
      // The shortest form of a double of any size.
      double x;
      const std::uint64_t bits = random();
      std::memcpy(&x, &bits, sizeof x);
      if (!std::isfinite(x)) continue;
      char buffer[64];
      text.assign(buffer, std::to_chars(buffer, buffer + sizeof buffer, x).ptr);
    } else {
      // Up to 20 digits around a mark, an exponent now and then.
      if (random() % 2 == 0) text += random() % 4 == 0 ? '+' : '-';
      const std::size_t whole = random() % 12;
      const std::size_t fraction = random() % 13;
      for (std::size_t i = 0; i < whole; ++i) text += static_cast<char>('0' + random() % 10);
      if (fraction != 0 || random() % 2 == 0) text += '.';
      for (std::size_t i = 0; i < fraction; ++i) text += static_cast<char>('0' + random() % 10);
      if (random() % 4 == 0) text += "e" + std::to_string(static_cast<int>(random() % 60) - 30);
    }
    taken += expect_as_general(text, '.') ? 1 : 0;
    for (char& c : text)
      if (c == '.') c = ',';
    expect_as_general(text, ',');
  }
  EXPECT_GT(taken, tries / 2);
}

TEST(ShortDecimal, HalfwayPointsAndLimits) {
  const char* near_halfway[] = {
      // Within 10^-19 of a point halfway between two doubles, either side.
      "865742.285249921551",
      "507841.2730622711534",
      "6298827.2021680199",
      "41880336369.8460122",
      "653922.5335338404984",
      "157494095140.16247",
      "6316492.0058482182",
      "590959.44346805761",
      "23364563.7633589711",
      "45937.721613759092",
      "654801.639006755489",
      "995691641.65619928",
      "25399474289474.791",
      "28903994.731420214",
      "7662878864.10407018",
      "3754632.098999540089",
      "4197.914009767647712",
      "198490133721.4622956",
      "0.336892836445154247",
      "1.51495111292317975",
      "1776781.281983661581",
      "9.9790371868658890",
      "576959834250.30682",
      "3.8616995568125357",
      // Exactly halfway: ties to even.
      "9007199254740993",
      "9007199254740995",
      "18014398509481986",
      "900719925474099.3e1",
      // The limits: 19 digits, 10^±22.
      "9999999999999999999",
      "1844674407370955161",
      "1e22",
      "1e-22",
      "-1.5e-21",
      "0",
      "-0",
      "0.0e-21",
  };
  for (const char* text : near_halfway)
    EXPECT_TRUE(expect_as_general(text, '.')) << text << " was left to the general conversion";
  // Beyond the limits: 20 digits, 10^23, more than 32 characters; not numbers.
  const char* left[] = {"12345678901234567890",
                        "1e23",
                        "1e-23",
                        "0.000000000000000000000000000000001",
                        "1e",
                        "1.5.3",
                        "--1",
                        ".",
                        "e5",
                        "1e00001",
                        "0x10",
                        "inf"};
  for (const char* text : left) {
    double value;
    EXPECT_FALSE(som::short_decimal(text, std::strlen(text), '.', value)) << text;
  }
}

}  // namespace
