// The two passes over data.txt: counting the lines that begin with a
// number and checking their shape, and reading the values as one stream;
// each whole and a few bytes per read alike.
#include "formats/sample_data.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/byte_sources.hpp"

namespace {

// The counting pass over the bytes at once, a few bytes per read, with each
// classifier: all must agree.
som::sample_lines scan_text(const std::string& content, std::uint32_t dimension) {
  som::byte_reader whole(content);
  const som::sample_lines out = som::scan_sample_lines(whole, dimension);
  som_test::piecewise_source pieces(content, 7);
  som::byte_reader piecewise(pieces.source());
  som::byte_reader baseline(content);
  som::byte_reader portable(content);
  for (const som::sample_lines& again :
       {som::scan_sample_lines(piecewise, dimension),
        som::scan_sample_lines(baseline, dimension, som::byte_classifier::baseline),
        som::scan_sample_lines(portable, dimension, som::byte_classifier::portable)}) {
    EXPECT_EQ(again.count, out.count);
    EXPECT_EQ(again.misshapen_line, out.misshapen_line);
  }
  return out;
}

std::string crlf(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

struct count_case {
  const char* name;
  std::string text;
  std::uint32_t dimension;
  std::uint32_t count;
  std::uint64_t misshapen_line;  // 0: none
};

// Each case with LF and again with CR LF line ends.
void expect_cases(const std::vector<count_case>& cases) {
  for (const count_case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& text : {c.text, crlf(c.text)}) {
      const som::sample_lines out = scan_text(text, c.dimension);
      EXPECT_EQ(out.count, c.count);
      EXPECT_EQ(out.misshapen_line, c.misshapen_line);
    }
  }
}

TEST(CountSamples, SamplesOfTheRightShape) {
  expect_cases({
      {"three samples", "0.1 0.2\n0.9 0.8\n0.4 0.6\n", 2, 3, 0},
      {"no line end at the end", "1 2\n3 4", 2, 2, 0},
      {"blank lines and white space", "\n1 2\n\n \t\v\f\n  3\t4  \n\n", 2, 2, 0},
      {"every notation", "-1 +.5 .5 5. 1e5 -2.5E-3 +7e+0 00\n", 8, 1, 0},
      {"a note after the last sample", "1 2\n3 4\nnote: 2 columns, see x.csv\n", 2, 2, 0},
      {"empty file", "", 3, 0, 0},
      {"only line ends", "\n\n", 3, 0, 0},
      {"lone CR is white space", "1\r2\n", 2, 1, 0},
  });
}

TEST(CountSamples, TheFirstLineThatIsNotASampleIsNamed) {
  expect_cases({
      {"title line", "red green blue\n0.9 0.1 0.5\n", 3, 1, 1},
      {"comment between samples", "1 2\n# second\n3 4\n", 2, 2, 2},
      {"csv", "0.97,0.04,0.51\n", 3, 1, 1},
      {"decimal comma", "0,97 0,04 0,51\n", 3, 1, 1},
      {"semicolons", "1;2;3\n", 3, 1, 1},
      {"comment after the numbers", "1 2 3\n4 5 6 # x\n", 3, 2, 2},
      {"dimension smaller than the columns", "1 2 3\n4 5 6\n", 2, 2, 1},
      {"dimension larger than the columns", "1 2 3\n4 5 6\n", 4, 2, 1},
      {"one short line", "1 2 3\n4 5 6\n7 8\n9 1 2\n", 3, 4, 3},
      {"last line without a line end", "1 2\n3", 2, 2, 2},
      {"exponent without digits", "1e 2\n", 2, 1, 1},
      {"two points", "1.5.3 2\n", 2, 1, 1},
      {"infinity is not a number", "1 inf\n", 2, 1, 1},
      {"lone sign and point", "1 -\n1 .\n", 2, 2, 1},
      {"sign in the middle", "1-2 3\n", 2, 1, 1},
      {"a sample after a note", "1 2\nnote\n3 4\n", 2, 2, 2},
      {"dimension 0 with samples", "\n1\n", 0, 1, 2},
      {"NUL in a sample", std::string("1 2\n3\0 4\n", 9), 2, 2, 2},
      {"NUL hides a sample", std::string("\0 5\n5 6\n", 8), 2, 1, 1},
  });
}

// Text without a single sample (a table that some other format turned into
// text) is refused at its first line that is not blank; only a file of blank
// lines holds no samples.
TEST(CountSamples, TextWithoutSamplesNamesItsFirstLine) {
  expect_cases({
      {"a title alone", "red green blue\n", 3, 0, 1},
      {"quoted cells", "\"r\" \"g\" \"b\"\n\"0.5\" \"0.1\" \"0.2\"\n", 3, 0, 1},
      {"after blank lines", "\n \t\n# none yet\nx\n", 3, 0, 3},
      {"no line end", "\n\nabc", 3, 0, 3},
      {"a lone point", ".\n", 1, 0, 1},
      {"a NUL", std::string("\n\0\n", 3), 1, 0, 2},
      {"blank lines and white space alone", "\n \r\n\t\v\f\n", 3, 0, 0},
  });
  // However far the first text stands.
  for (std::size_t blanks : {63u, 64u, 65u, 200u}) {
    SCOPED_TRACE(blanks);
    EXPECT_EQ(scan_text(std::string(blanks, '\n') + "a\n", 1).misshapen_line, blanks + 1);
    EXPECT_EQ(scan_text(std::string(blanks, ' ') + "\na", 1).misshapen_line, 2u);
  }
}

TEST(CountSamples, LongLinesCountOnce) {
  // 3000 components, some 60000 characters: one sample, as any line is.
  std::string line;
  for (int j = 0; j < 3000; ++j) line += (j == 0 ? "" : " ") + std::to_string(j) + ".125";
  const std::string text = line + "\n" + line + "\n";
  for (const std::string& t : {text, crlf(text)}) {
    const som::sample_lines out = scan_text(t, 3000);
    EXPECT_EQ(out.count, 2u);
    EXPECT_EQ(out.misshapen_line, 0u);
    EXPECT_EQ(scan_text(t, 2999).misshapen_line, 1u);
  }
  const std::string digits(20000, '7');
  EXPECT_EQ(scan_text(digits + "\n", 1).count, 1u);
  EXPECT_EQ(scan_text(digits + "\n", 1).misshapen_line, 0u);
}

// The counting pass looks at 64 bytes at a time: a fault must be found
// wherever it falls against those blocks, and a word that spans two must
// still read as one.
TEST(CountSamples, FaultsAtEveryPlaceAgainstTheBlocks) {
  const std::string good = "0.25 -1.5e-3 +.75 12.";
  const std::vector<std::pair<std::string, std::string>> faults = {
      {"0.25", "0.2.5"}, {"-1.5e-3", "-1.5e-"}, {"-1.5e-3", "-1.5e-3e1"}, {"+.75", "+."},
      {"+.75", "+,75"},  {"12.", "12.e"},       {"12.", "1-2."},          {"0.25", "0.25x"},
      {"+.75", "+.7.5"}, {" 12.", ""},          {"-1.5e-3", "-1.5e.3"},   {"-1.5e-3", "e-3"},
  };
  for (std::size_t pad = 0; pad < 70; ++pad) {
    const std::string first = std::string(pad, ' ') + good + "\n";
    for (const auto& [from, to] : faults) {
      std::string bad = good;
      bad.replace(bad.find(from), from.size(), to);
      SCOPED_TRACE(std::to_string(pad) + ": " + bad);
      const som::sample_lines out = scan_text(first + first + bad + "\n" + first, 4);
      EXPECT_EQ(out.count, 4u);
      EXPECT_EQ(out.misshapen_line, 3u);
    }
    const som::sample_lines fine = scan_text(first + first + first, 4);
    EXPECT_EQ(fine.count, 3u);
    EXPECT_EQ(fine.misshapen_line, 0u);
  }
}

struct loaded {
  std::vector<double> values;
  bool read_all;
};

// The values read from the bytes at once and a few bytes per read: both must
// give the same values and messages.
loaded load_text(const std::string& content, std::uint32_t dimension, std::uint32_t count) {
  std::vector<double> block(std::size_t{dimension} * count, -99.0);
  som::sample_matrix matrix{block.data(), count, dimension};
  som::byte_reader whole(content);
  const bool read_all = som::read_sample_values(whole, matrix);

  std::vector<double> piecewise(block.size(), -99.0);
  som::sample_matrix piecewise_matrix{piecewise.data(), count, dimension};
  som_test::piecewise_source pieces(content, 5);
  som::byte_reader reader(pieces.source());
  EXPECT_EQ(som::read_sample_values(reader, piecewise_matrix), read_all);
  EXPECT_EQ(std::memcmp(piecewise.data(), block.data(), block.size() * sizeof(double)), 0);
  return {block, read_all};
}

TEST(LoadSamples, ReadsValuesAsOneStream) {
  const loaded out = load_text("0.1 0.2\n0.9 0.8\n0.4 0.6\n", 2, 3);
  EXPECT_EQ(out.values, (std::vector<double>{0.1, 0.2, 0.9, 0.8, 0.4, 0.6}));
  EXPECT_TRUE(out.read_all);
  // Line breaks are only white space to this pass.
  EXPECT_EQ(load_text("1\r\n2 3\t4\f5\v6", 3, 2).values, (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

TEST(LoadSamples, StopsAtTheFirstValueThatCannotBeRead) {
  // Only a file changed since the counting pass gets here: the reading stops.
  const loaded short_file = load_text("1 2\n3", 2, 2);
  EXPECT_FALSE(short_file.read_all);
  EXPECT_EQ(short_file.values, (std::vector<double>{1, 2, 3, -99.0}));
  const loaded titled = load_text("r g\n1 2\n", 2, 1);
  EXPECT_FALSE(titled.read_all);
  // "1e" reads as 1 and leaves the "e".
  const loaded exponent = load_text("1e 2", 2, 1);
  EXPECT_FALSE(exponent.read_all);
  EXPECT_EQ(exponent.values[0], 1.0);
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
