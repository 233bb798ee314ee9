// som_data's passes over a table read in blocks on several threads against
// the plain reading, row after row: the same statistics to the bit, the same
// data.txt and popisky.txt bytes, the same refusals naming the same first
// row and column, whatever the threads, the blocks' size and where the cuts
// fall (inside quoted cells with line breaks too).
#include "table/table_blocks.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/byte_sources.hpp"
#include "table/ordered_workers.hpp"
#include "table/scaling.hpp"
#include "table/table_survey.hpp"
#include "table/table_writing.hpp"

namespace {

std::uint64_t bits_of(double x) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// All that the two passes make of a table, in a form compared at once.
struct conversion {
  std::string refusal;
  std::vector<std::uint64_t> counts;  // rows, samples, ..., bytes, hash
  std::vector<std::string> names;
  std::vector<std::uint64_t> statistics;  // per component: bits of each figure
  std::string data;
  std::string labels;
  std::vector<std::uint64_t> selection;
  int failure = -1;

  bool operator==(const conversion&) const = default;
};

conversion convert(const std::string& table, const som::table_options& options,
                   const som::table_split& split, std::size_t piece = 4096) {
  conversion out;
  som_test::piecewise_source first(table, piece);
  const som::table_survey survey = som::survey_table(first.source(), "t.csv", options, split);
  out.refusal = survey.refusal;
  out.counts = {survey.data_rows, survey.samples,  survey.incomplete,    survey.blank_rows,
                survey.raw_bytes, survey.raw_hash, survey.utf8 ? 1u : 0u};
  if (!survey.refusal.empty()) return out;
  for (const som::table_column& column : survey.columns) out.names.push_back(column.name);
  for (const som::component_statistics& s : survey.statistics) {
    out.statistics.insert(out.statistics.end(),
                          {bits_of(s.moments.mean()), bits_of(s.moments.sample_sd()),
                           s.moments.count(), s.moments.constant() ? 1u : 0u, bits_of(s.minimum),
                           bits_of(s.maximum), s.row_numbers ? 1u : 0u});
  }
  const som::scaling_choice scaling = som::choose_scaling(survey, options.scaling, "t.csv");
  out.refusal = scaling.refusal;
  if (!scaling.refusal.empty()) return out;
  som_test::piecewise_source second(table, piece);
  som::byte_sink data = som::string_sink(out.data);
  som::byte_sink labels = som::string_sink(out.labels);
  const som::table_writing written =
      som::write_samples(second.source(), options, survey, scaling, data,
                         options.labels.empty() ? nullptr : &labels, split);
  out.failure = static_cast<int>(written.failure);
  for (double x : written.selection) out.selection.push_back(bits_of(x));
  return out;
}

// The splits the blocks are read with: threads, the calling thread alone,
// blocks of a byte and of a few (a cut after nearly every line end), odd
// sizes, and cuts that do not look at quotes (so that many fall inside
// quoted cells and their blocks are read again).
std::vector<som::table_split> block_splits() {
  std::vector<som::table_split> splits;
  for (unsigned threads : {0u, 1u, 2u, 3u}) {
    for (std::size_t size :
         {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{64}, std::size_t{1000}}) {
      for (bool balanced : {true, false}) {
        som::table_split split;
        split.blocks = true;
        split.threads = threads;
        split.block_bytes = size;
        split.balanced_cuts = balanced;
        splits.push_back(split);
      }
    }
  }
  return splits;
}

void expect_blocks_as_plain(const std::string& table, const som::table_options& options,
                            const std::string& what) {
  const conversion plain = convert(table, options, som::table_split{});
  for (const som::table_split& split : block_splits()) {
    const conversion blocks = convert(table, options, split, 1 + split.block_bytes % 5);
    EXPECT_TRUE(blocks == plain) << what << ": " << split.threads << " threads, blocks of "
                                 << split.block_bytes << (split.balanced_cuts ? "" : ", any cut")
                                 << "\nplain: " << plain.refusal << "blocks: " << blocks.refusal;
  }
}

// A table as exports hold them, from a seed: a title row, numbers in many
// notations, a label column with separators, doubled quotes and line
// breaks in quoted cells, blank rows, short rows, missing values.
struct table_style {
  char separator = ',';
  char mark = '.';
  const char* line_end = "\n";
  bool quote_labels = true;
  int missing_percent = 0;
};

std::string random_number(std::mt19937& random, char mark) {
  std::string text;
  switch (random() % 5) {
    case 0: text = std::to_string(static_cast<int>(random() % 2001) - 1000); break;
    case 1: text = std::to_string(random() % 100) + "." + std::to_string(random() % 100000); break;
    case 2: text = "-0." + std::to_string(random() % 1000000000); break;
    case 3:
      text = std::to_string(random() % 10) + "." + std::to_string(random()) + "e-" +
             std::to_string(random() % 30);
      break;
    default: text = std::to_string(random() % 100000) + "e" + std::to_string(random() % 5); break;
  }
  if (mark == ',')
    for (char& c : text)
      if (c == '.') c = ',';
  return text;
}

std::string random_table(unsigned seed, const table_style& style, int rows, int components) {
  std::mt19937 random(seed);
  const std::string sep(1, style.separator);
  std::string t = "\"label\"";
  for (int c = 0; c < components; ++c) t += sep + "\"x" + std::to_string(c) + "\"";
  t += style.line_end;
  const char* labels[] = {"a",         "b c", "d\"\"q\"\"", "line\nbreak", "two\r\nlines",
                          "comma, in", "long"};
  for (int r = 0; r < rows; ++r) {
    if (random() % 11 == 0) t += style.line_end;  // a blank row
    const std::string label = labels[random() % 7] + std::string(random() % 3, 'z');
    if (style.quote_labels) {
      t += "\"" + label + "\"";
    } else {
      std::string plain = label;
      for (char& ch : plain)
        if (ch == '\n' || ch == '\r' || ch == '"') ch = '_';
      t += plain;
    }
    const int shown = random() % 13 == 0 ? components - 1 : components;  // a short row
    for (int c = 0; c < shown; ++c) {
      t += sep;
      if (static_cast<int>(random() % 100) < style.missing_percent) {
        t += random() % 2 == 0 ? "NA" : "";
      } else {
        t += random_number(random, style.mark);
      }
    }
    t += style.line_end;
  }
  return t;
}

TEST(TableBlocks, ManyTablesReadAsThePlainReading) {
  const table_style styles[] = {
      {',', '.', "\n", true, 0}, {';', ',', "\r\n", true, 3}, {'\t', '.', "\n", false, 0},
      {',', '.', "\r", true, 0}, {';', '.', "\n", true, 10},
  };
  unsigned seed = 1;
  for (const table_style& style : styles) {
    for (int table = 0; table < 3; ++table, ++seed) {
      const std::string bytes = random_table(seed, style, 30 + 20 * table, 1 + table);
      som::table_options options;
      options.labels = "label";
      options.drop_incomplete = style.missing_percent > 0;
      for (som::scaling_kind kind : {som::scaling_kind::standard, som::scaling_kind::range}) {
        options.scaling = kind;
        expect_blocks_as_plain(bytes, options, "seed " + std::to_string(seed));
      }
      // Without the label option its text is refused, naming the first row.
      expect_blocks_as_plain(bytes, som::table_options{},
                             "unlabelled, seed " + std::to_string(seed));
    }
  }
}

TEST(TableBlocks, RefusalsNameTheFirstFaultInTableOrder) {
  struct fault_case {
    const char* what;
    std::string bytes;
  };
  const std::string rows = "a,b\n1,2\n\"x\ny\",3\n4,5\n6,7\n8,9\n";
  const fault_case cases[] = {
      {"an open quote to the end, across many blocks", rows + "1,\"2\n3,4\n5,6\n7,8\n"},
      {"text after a closing quote", rows + "\"3\"x,4\n5,6\n\"7\"y,8\n"},
      {"a cell beyond the columns", rows + "1,2,3\n4,5\n6,7,8\n"},
      {"text in a component, then a fault later", rows + "1,abc\n2,3\n4,5,6\n"},
      {"text in a component, named with its first row", "a,b\n1,2\n3,x\n4,y\n5,6\n"},
      {"a missing value", "a,b\n1,2\n3,NA\n4,\n5,6\n"},
      {"a number beyond the doubles", "a,b\n1,2\n3,1e999\n4,5\n"},
      {"a quote inside an unquoted cell, then an open quote", "a,b\n1,2\"3\n4,5\n\"6,7\n8,9\n"},
  };
  for (const fault_case& c : cases) {
    som::table_options options;
    const conversion plain = convert(c.bytes, options, som::table_split{});
    EXPECT_FALSE(plain.refusal.empty()) << c.what;
    expect_blocks_as_plain(c.bytes, options, c.what);
  }
}

TEST(TableBlocks, QuotedCellsAcrossCutsAreReadAgain) {
  // Every record's label spans lines, and one cell spans thousands of bytes
  // (many blocks): its block is read again only when it has doubled.
  std::string table = "name,v\n";
  for (int r = 0; r < 40; ++r)
    table += "\"row " + std::to_string(r) + "\nsecond, line\n\"\"third\"\"\"," + std::to_string(r) +
             "\n";
  table += "\"" + std::string(5000, '\n') + "x\",1.5\n";
  table += "last,2\n";
  som::table_options options;
  options.labels = "name";
  expect_blocks_as_plain(table, options, "line breaks in quoted cells");
  const conversion plain = convert(table, options, som::table_split{});
  EXPECT_TRUE(plain.refusal.empty()) << plain.refusal;
  EXPECT_EQ(plain.counts[1], 42u);
}

TEST(TableBlocks, DialectsAndEncodings) {
  const std::string cp1250_title = "\"D\xE9lka\";\"\x9A\xED\xF8ka\"\r\n";
  using namespace std::string_literals;
  const std::string cases[] = {
      // R's write.table: blanks, quoted names, row names.
      "\"x\" \"y\"\n\"1\" 1.5 2\n\"2\" 3   4\n\"3\" -1e-3 5\n",
      // Trailing blanks and blank rows.
      "a b\n1 2   \n\n  3 4\n5 6",
      // No line end at the end, CR LF.
      "a;b\r\n1,5;2\r\n3;4,25",
      // UTF-16 with its mark.
      "\xFF\xFE"
      "a\0,\0b\0\n\0"
      "1\0,\0"
      "2\0\n\0"
      "3\0,\0"
      "4\0\n\0"s,
  };
  for (const std::string& bytes : cases)
    expect_blocks_as_plain(bytes, som::table_options{}, bytes.substr(0, 12));
  std::string windows = cp1250_title;
  for (int r = 0; r < 30; ++r)
    windows +=
        std::to_string(r) + "," + std::to_string(r % 7) + ";" + std::to_string(r * r) + "\r\n";
  expect_blocks_as_plain(windows, som::table_options{}, "Windows-1250");
}

TEST(TableBlocks, ExtremesAndRowNumbersAcrossBlocks) {
  // Of equal extremes the first stays: 0 and -0 are equal, but a centre
  // of -0 is written as such. Index columns counted from 0 and from 1 stay
  // row numbers only where every block continues the count.
  for (const char* first_zero : {"0", "-0"}) {
    const std::string other_zero = first_zero[0] == '-' ? "0" : "-0.0";
    std::string table = ",i1,z,broken\n";
    for (int r = 0; r < 60; ++r) {
      const std::string zero = r == 3 ? std::string(first_zero) : r == 40 ? other_zero : "2";
      table += std::to_string(r) + "," + std::to_string(r + 1) + "," + zero + "," +
               std::to_string(r == 30 ? 99 : r) + "\n";
    }
    som::table_options options;
    options.scaling = som::scaling_kind::range;
    expect_blocks_as_plain(table, options, first_zero);
    const conversion plain = convert(table, options, som::table_split{});
    ASSERT_EQ(plain.statistics.size(), 4u * 7u);
    EXPECT_EQ(plain.statistics[2 * 7 + 4], bits_of(first_zero[0] == '-' ? -0.0 : 0.0));
    EXPECT_EQ(plain.statistics[0 * 7 + 6], 1u);  // 0, 1, 2, ...
    EXPECT_EQ(plain.statistics[1 * 7 + 6], 1u);  // 1, 2, 3, ...
    EXPECT_EQ(plain.statistics[3 * 7 + 6], 0u);
  }
}

TEST(TableBlocks, ASecondPassThatFindsOtherBytesWritesNothing) {
  // The same rows and length, one digit changed in the last bytes, which
  // make no whole word of the hash.
  const std::string first = "a,b\n1,2\n3,4\n5,6\n7,81\n";
  std::string second = first;
  second[second.size() - 2] = '2';
  for (const som::table_split& split : {som::table_split{}, block_splits()[4]}) {
    som_test::piecewise_source source(first, 5);
    const som::table_options options;
    const som::table_survey survey = som::survey_table(source.source(), "t.csv", options, split);
    ASSERT_TRUE(survey.refusal.empty());
    const som::scaling_choice scaling = som::choose_scaling(survey, options.scaling, "t.csv");
    som_test::piecewise_source changed(second, 3);
    std::string data;
    som::byte_sink sink = som::string_sink(data);
    const som::table_writing written =
        som::write_samples(changed.source(), options, survey, scaling, sink, nullptr, split);
    EXPECT_EQ(written.failure, som::writing_failure::changed) << split.blocks;
  }
}

TEST(TableBlocks, ThreadsForTheMachine) {
  EXPECT_FALSE(som::split_for_threads(1).blocks);
  EXPECT_TRUE(som::split_for_threads(3).blocks);
  EXPECT_EQ(som::split_for_threads(3).threads, 3u);
  const som::table_split automatic = som::split_for_threads(0);
  EXPECT_GE(automatic.threads, 1u);
  EXPECT_LE(automatic.threads, som::most_table_threads);
  EXPECT_EQ(automatic.blocks, automatic.threads > 1);
}

TEST(OrderedWorkers, JobsComeBackInTheOrderHandedIn) {
  for (unsigned threads : {0u, 1u, 4u}) {
    som::ordered_workers workers(threads);
    std::vector<int> done(200, 0);
    std::vector<int> seen;
    for (int job = 0; job < 200; ++job) {
      // Later jobs are shorter, so that they tend to end first.
      workers.hand_in([&done, job] {
        volatile int spin = 0;
        for (int i = 0; i < (200 - job) * 50; ++i) spin = spin + i;
        done[static_cast<std::size_t>(job)] = job + 1;
      });
      if (workers.outstanding() == 8) {
        workers.wait_oldest();
        seen.push_back(done[seen.size()]);
      }
    }
    while (workers.outstanding() != 0) {
      workers.wait_oldest();
      seen.push_back(done[seen.size()]);
    }
    std::vector<int> expected(200);
    for (int job = 0; job < 200; ++job) expected[static_cast<std::size_t>(job)] = job + 1;
    EXPECT_EQ(seen, expected) << threads << " threads";
  }
  // Jobs still waiting when the workers go are run first.
  std::atomic<int> ran{0};
  {
    som::ordered_workers workers(2);
    for (int job = 0; job < 20; ++job) workers.hand_in([&ran] { ++ran; });
  }
  EXPECT_EQ(ran.load(), 20);
}

}  // namespace
