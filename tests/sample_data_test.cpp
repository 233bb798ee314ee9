// The two passes over data.txt: counting the lines that begin with a
// number, and reading the values as one stream; each whole and a few bytes
// per read alike.
#include "run/sample_data.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/byte_sources.hpp"
#include "support/console_capture.hpp"
#include "support/program_runner.hpp"

namespace {

using som_test::console_capture;
using som_test::temp_folder;

// The count over the bytes at once, a few bytes per read, and from a file:
// all three must agree.
std::uint32_t count_text(const std::string& content) {
  som::byte_reader whole(content);
  const std::uint32_t count = som::count_sample_lines(whole);
  som_test::piecewise_source pieces(content, 7);
  som::byte_reader piecewise(pieces.source());
  EXPECT_EQ(som::count_sample_lines(piecewise), count);
  temp_folder folder;
  folder.write("data.txt", content);
  EXPECT_EQ(som::count_samples((folder / "data.txt").string().c_str()), count);
  return count;
}

std::string crlf(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(CountSamples, LinesThatBeginWithANumber) {
  struct count_case {
    const char* name;
    std::string text;
    std::uint32_t count;
  };
  const std::vector<count_case> cases = {
      {"three samples", "0.1 0.2\n0.9 0.8\n0.4 0.6\n", 3},
      {"no line end at the end", "1 2\n3 4", 2},
      {"blank lines", "\n1 2\n\n   \n3 4\n\n", 2},
      {"leading white space", "  \t 1 2\n", 1},
      {"title line", "red green\n1 2\n", 1},
      {"too few or too many numbers", "1\n1 2 3 4\n", 2},
      {"sign and point starts", "-1\n+.5\n.5\n-.x\n+\n.\n", 3},
      {"not numbers", "inf\nnan\nx1\n,5\n", 0},
      {"empty file", "", 0},
      {"only a line end", "\n", 0},
      {"number after a NUL is not seen", std::string("\0 5\n5\n", 6), 1},
  };
  for (const count_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(count_text(c.text), c.count);
    EXPECT_EQ(count_text(crlf(c.text)), c.count);
  }
}

TEST(CountSamples, LongLinesAreTakenInPiecesOf16383Characters) {
  // 20000 characters: the second piece starts at character 16384.
  std::string line = "1";
  while (line.size() < 16383) line += ' ';
  std::string second = "2";
  while (line.size() + second.size() < 20000) second += ' ';
  EXPECT_EQ(count_text(line + second + "\n"), 2u);
  EXPECT_EQ(count_text(crlf(line + second + "\n")), 2u);

  // The second piece beginning in the middle of a number still counts.
  std::string digits(20000, '7');
  EXPECT_EQ(count_text(digits + "\n"), 2u);

  // A second piece of white space and text does not count.
  std::string spaced = "1" + std::string(16382, ' ') + "   x" + "\n";
  EXPECT_EQ(count_text(spaced), 1u);

  // 16383 characters and the line end: the line end forms a piece of its own.
  std::string exact = "1" + std::string(16382, '0') + "\n5\n";
  EXPECT_EQ(count_text(exact), 2u);
  // With CR LF the CR does not count, so the result is the same.
  EXPECT_EQ(count_text(crlf(exact)), 2u);

  // A lone CR is a character like any other.
  std::string with_cr = std::string(16382, ' ') + "\r5\n";
  EXPECT_EQ(count_text(with_cr), 1u);
}

struct loaded {
  std::vector<double> values;
  std::string console;
};

// The values read from the bytes at once and a few bytes per read: both must
// give the same values and messages.
loaded load_text(const std::string& content, std::uint32_t dimension, std::uint32_t count) {
  std::vector<double> block(std::size_t{dimension} * count, -99.0);
  som::sample_matrix matrix{block.data(), count, dimension};
  console_capture console;
  som::byte_reader whole(content);
  som::read_sample_values(whole, matrix, console.stream());

  std::vector<double> piecewise(block.size(), -99.0);
  som::sample_matrix piecewise_matrix{piecewise.data(), count, dimension};
  console_capture piecewise_console;
  som_test::piecewise_source pieces(content, 5);
  som::byte_reader reader(pieces.source());
  som::read_sample_values(reader, piecewise_matrix, piecewise_console.stream());
  EXPECT_EQ(piecewise_console.text(), console.text());
  EXPECT_EQ(std::memcmp(piecewise.data(), block.data(), block.size() * sizeof(double)), 0);
  return {block, console.text()};
}

TEST(LoadSamples, ReadsValuesAsOneStream) {
  const loaded out = load_text("0.1 0.2\n0.9 0.8\n0.4 0.6\n", 2, 3);
  EXPECT_EQ(out.values, (std::vector<double>{0.1, 0.2, 0.9, 0.8, 0.4, 0.6}));
  EXPECT_EQ(out.console, "");
  // Line breaks are only white space to this pass.
  EXPECT_EQ(load_text("1\r\n2 3\t4\f5\v6", 3, 2).values, (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

TEST(LoadSamples, MissingValuesAreReportedAndZero) {
  const std::string message = "Chybi hodnota v souboru data.txt!\n";
  // The title stops the reading for good: every component is reported.
  const loaded titled = load_text("r g\n1 2\n", 2, 1);
  EXPECT_EQ(titled.values, (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(titled.console, message + message);
  // Running out of numbers.
  const loaded short_file = load_text("1 2\n3", 2, 2);
  EXPECT_EQ(short_file.values, (std::vector<double>{1, 2, 3, 0}));
  EXPECT_EQ(short_file.console, message);
  // A lone sign is not skipped either.
  const loaded sign = load_text("1 - 2", 3, 1);
  EXPECT_EQ(sign.values, (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(sign.console, message + message);
  // "1e" reads as 1 and leaves the "e", which then stops the reading.
  const loaded exponent = load_text("1e 2", 2, 1);
  EXPECT_EQ(exponent.values, (std::vector<double>{1, 0}));
}

TEST(LoadSamples, NumbersAcrossTheReadBuffer) {
  // Enough values that numbers straddle the reader's buffer refills.
  std::string text;
  std::vector<double> expected;
  for (int i = 0; i < 30000; ++i) {
    const double v = i * 0.001 + 0.0000001;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g ", v);
    text += buf;
    expected.push_back(std::strtod(buf, nullptr));
    if (i % 3 == 2) text += '\n';
  }
  const loaded out = load_text(text, 3, 10000);
  EXPECT_EQ(out.values, expected);
}

}  // namespace
