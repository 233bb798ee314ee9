// The formats of the saved map, the log and the labels over bytes in memory:
// what the writers give, what the readers take back, and where a reader
// stops.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_sink.hpp"
#include "common/messages.hpp"
#include "formats/assignments_file.hpp"
#include "formats/columns_file.hpp"
#include "formats/final_parameters.hpp"
#include "formats/labels_file.hpp"
#include "formats/training_log.hpp"
#include "formats/weights_file.hpp"
#include "som/map/map_storage.hpp"
#include "support/byte_sources.hpp"
#include "support/label_names.hpp"
#include "support/program_runner.hpp"

namespace {

using som_test::names_of;

std::string le_bytes(std::uint64_t bits) {
  std::string out;
  for (int b = 0; b < 8; ++b) out += static_cast<char>(bits >> (8 * b));
  return out;
}

TEST(WeightsFormat, LittleEndianDoublesInNeuronOrderAndEveryNaNAlike) {
  for (const std::uint32_t lanes : {1u, 8u}) {
    SCOPED_TRACE(lanes);
    som::owned_grid grid(som::alloc_weight_grid(1, 3, 2, lanes));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double values[] = {0.5, 1.0, -0.0, nan, -nan, std::bit_cast<double>(0x7FF0000000000001u)};
    for (std::size_t v = 0; v < 6; ++v)
      grid->at(v / 2, static_cast<std::uint32_t>(v % 2)) = values[v];
    std::string bytes;
    som::byte_sink sink = som::string_sink(bytes);
    ASSERT_TRUE(som::write_weights(*grid, sink));
    const std::string quiet = le_bytes(std::bit_cast<std::uint64_t>(nan));
    EXPECT_EQ(bytes, std::string("\0\0\0\0\0\0\xE0\x3F", 8) +
                         std::string("\0\0\0\0\0\0\xF0\x3F", 8) + le_bytes(0x8000000000000000u) +
                         quiet + quiet + quiet);

    // Read back, whole and a few bytes per read; a short input (or a read
    // error, which ends it) and a long one are told apart.
    som::owned_grid back(som::alloc_weight_grid(1, 3, 2, lanes));
    som::byte_reader whole(bytes);
    ASSERT_EQ(som::read_weights(whole, *back), som::weights_read::whole);
    EXPECT_EQ(back->at(0, 0), 0.5);
    EXPECT_TRUE(std::signbit(back->at(1, 0)));
    som_test::piecewise_source pieces(bytes, 3);
    som::byte_reader piecewise(pieces.source());
    EXPECT_EQ(som::read_weights(piecewise, *back), som::weights_read::whole);
    som::byte_reader short_input(std::string_view(bytes).substr(0, 47));
    EXPECT_EQ(som::read_weights(short_input, *back), som::weights_read::too_short);
    som_test::piecewise_source failing(bytes, 5, 40);
    som::byte_reader read_error(failing.source());
    EXPECT_EQ(som::read_weights(read_error, *back), som::weights_read::too_short);
    const std::string longer = bytes + '\0';
    som::byte_reader long_input(longer);
    EXPECT_EQ(som::read_weights(long_input, *back), som::weights_read::too_long);
  }
}

TEST(ResultsFormat, RecordsAndFinalParametersWithTheHostsLineEnd) {
  std::vector<som::assignment> records = {{0, 2}, {4294967295u, 7}};
  som::assignment_table table{records.data(), 2};
  std::string bytes;
  som::byte_sink sink = som::string_sink(bytes);
  ASSERT_TRUE(som::write_assignments(table, sink));
  EXPECT_EQ(bytes, som_test::host_lines("0\t2\n4294967295\t7\n"));
  std::string final;
  som::byte_sink final_sink = som::string_sink(final);
  ASSERT_TRUE(som::write_final_parameters({7150, 2026, 60}, final_sink));
  EXPECT_EQ(final, som_test::host_lines("7150\tKrok\n2026\tSeed for random number generator\n"
                                        "60\tRozdil\n"));
  som::final_parameters values;
  som::byte_reader final_reader(final);
  ASSERT_TRUE(som::read_final_parameters(final_reader, values));
  EXPECT_EQ(values.Krok, 7150u);
  EXPECT_EQ(values.seed, 2026u);
  EXPECT_EQ(values.Rozdil, 60u);
  som::byte_reader no_Rozdil(std::string_view("7150\tKrok\n2026\tSeed\n\tRozdil\n"));
  EXPECT_FALSE(som::read_final_parameters(no_Rozdil, values));

  // Any white space between the numbers; a record that is missing, is not
  // two numbers, or lies outside a given map is named, and so is anything
  // after the last record.
  using outcome = som::assignments_reading::outcome;
  const struct {
    const char* text;
    std::optional<som::grid_pos> map;
    outcome result;
    std::uint32_t record;
    bool only_white_space_after;
  } cases[] = {
      {"0 2\r\n\n 4294967295   7", std::nullopt, outcome::read, 0, true},
      {"0 2\n1 1\n \r\n", som::grid_pos{2, 3}, outcome::read, 0, true},
      {"0 2\n1 1\n1 1\n", som::grid_pos{2, 3}, outcome::read, 0, false},
      {"0 2\n \n", std::nullopt, outcome::ended, 2, true},
      {"0 2\n5", std::nullopt, outcome::malformed, 2, true},
      {"x 2\n5 5", std::nullopt, outcome::malformed, 1, false},
      {"0 3\n5 x", som::grid_pos{2, 3}, outcome::outside, 1, false},
      {"0 2\n2 0", som::grid_pos{2, 3}, outcome::outside, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<som::assignment> read(2);
    som::assignment_table back{read.data(), 2};
    som::byte_reader reader{std::string_view(c.text)};
    const som::assignments_reading got = som::read_assignments(reader, back, c.map);
    EXPECT_EQ(got.result, c.result);
    EXPECT_EQ(got.record, c.record);
    if (c.result == outcome::read) {
      EXPECT_EQ(read[1].col, c.map ? 1u : 7u);
      EXPECT_EQ(som::only_white_space_left(reader), c.only_white_space_after);
    }
  }
}

TEST(TrainingLogFormat, HeaderAndLinesReadBack) {
  std::string text = som::training_log_header();
  som::append_log_line(text, 4, 6.0 + 2.0 / 3.0);
  som::append_log_line(text, 0, 0.0);
  EXPECT_EQ(text, som_test::host_lines("Rozdil\tRadius\n4\t6.666667\n0\t0.000000\n"));
  som::training_log log;
  som::parse_training_log(text, true, log);
  EXPECT_EQ(log.broken_lines, 0u);
  EXPECT_EQ(log.Rozdil, (std::vector<std::uint32_t>{4, 0}));
  EXPECT_EQ(log.Radius, (std::vector<double>{6.666667, 0.0}));
}

// popisky.txt: one label per line, in the order of the samples.
TEST(LabelsFormat, LinesBlanksAndOrderByFrequency) {
  // CR LF and LF alike, blanks around a label dropped, an empty or blank
  // line is no label, the last line needs no line end; "b" and "a" appear
  // twice each ("b" first), "<c>" once.
  const som::labels_reading read = som::read_labels("b\r\n a \n\n<c>\n  \t\na\nb", 7);
  ASSERT_TRUE(read.ok()) << som::message_of(read.problem);
  EXPECT_EQ(read.lines, 7u);
  const som::sample_labels& labels = read.labels;
  EXPECT_TRUE(labels.present);
  EXPECT_EQ(names_of(labels), (std::vector<std::string>{"b", "a", "<c>"}));
  EXPECT_EQ(labels.counts, (std::vector<std::uint32_t>{2, 2, 1}));
  const std::uint32_t none = som::no_label;
  EXPECT_EQ(labels.of_sample, (std::vector<std::uint32_t>{0, 1, none, 2, none, 1, 0}));

  // No samples and an empty file agree; a trailing line end adds no line.
  EXPECT_TRUE(som::read_labels("", 0).ok());
  EXPECT_TRUE(som::read_labels("x\n", 1).ok());

  struct wrong_count {
    std::string bytes;
    std::uint32_t samples;
    std::uint64_t lines;
    const char* message;
  };
  const std::vector<wrong_count> cases = {
      {"a\nb\n", 3, 2, "Soubor popisky.txt ma 2 radku, ale v souboru data.txt je 3 vzorku.\n"},
      {"a\nb\n\n", 2, 3, "Soubor popisky.txt ma 3 radku, ale v souboru data.txt je 2 vzorku.\n"},
      {"", 1, 0, "Soubor popisky.txt ma 0 radku, ale v souboru data.txt je 1 vzorku.\n"},
  };
  for (const wrong_count& c : cases) {
    SCOPED_TRACE(c.bytes);
    const som::labels_reading wrong = som::read_labels(c.bytes, c.samples);
    EXPECT_FALSE(wrong.ok());
    EXPECT_EQ(wrong.lines, c.lines);
    EXPECT_EQ(som::message_of(wrong.problem), c.message);
    EXPECT_FALSE(wrong.labels.present);
  }
}

}  // namespace

namespace {

TEST(ColumnsFormat, ShortestDecimalsReadBackToTheSameDoublesAndBadLinesAreNamed) {
  // Awkward doubles: the shortest form of each must read back bit for bit.
  std::vector<som::column_scaling> columns = {
      {"sepal length", 5.843333333333334, 0.828066127977863},
      {"Délka (cm)", -0.1, 1e-300},
      {"", 4.9406564584124654e-324, 1.7976931348623157e308},
      {"x", -0.0, 0.30000000000000004}};
  std::uint64_t state = 12345;
  for (int i = 0; i < 200; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    double value = std::bit_cast<double>(state >> 1);
    if (!std::isfinite(value) || value == 0.0) value = 1.0;
    columns.push_back({"c" + std::to_string(i), value, value});
  }
  std::string bytes;
  som::byte_sink sink = som::string_sink(bytes);
  ASSERT_TRUE(som::write_columns(columns, sink));
  EXPECT_EQ(bytes.substr(0, bytes.find('\n') + 1),
            som_test::host_lines("nazev\tstred\tmeritko\n"));
  EXPECT_NE(bytes.find(som_test::host_lines("x\t-0\t0.30000000000000004\n")), std::string::npos);
  som::byte_reader reader(bytes);
  const som::columns_reading back = som::read_columns(reader);
  ASSERT_TRUE(back.ok()) << back.bad_line;
  ASSERT_EQ(back.columns.size(), columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) {
    EXPECT_EQ(back.columns[c].name, columns[c].name);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back.columns[c].centre),
              std::bit_cast<std::uint64_t>(columns[c].centre));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back.columns[c].scale),
              std::bit_cast<std::uint64_t>(columns[c].scale));
  }

  // Which line is refused: the header, a field too many or missing, a number
  // that is not whole or not finite, a zero scale, text after a blank line.
  const struct {
    const char* text;
    std::uint64_t bad_line;
    std::size_t columns;
  } cases[] = {
      {"nazev\tstred\tmeritko\r\na\t1\t2\r\n\r\n\n", 0, 1},
      {"nazev\tstred\tmeritko\n", 0, 0},
      {"nazev stred meritko\na\t1\t2\n", 1, 0},
      {"", 1, 0},
      {"nazev\tstred\tmeritko\na\t1\t2\nb\t1\n", 3, 1},
      {"nazev\tstred\tmeritko\na\t1\t2\t3\n", 2, 0},
      {"nazev\tstred\tmeritko\na\t1,5\t2\n", 2, 0},
      {"nazev\tstred\tmeritko\na\t1e999\t2\n", 2, 0},
      {"nazev\tstred\tmeritko\na\t1\t0\n", 2, 0},
      {"nazev\tstred\tmeritko\na\t1\t2\n\nb\t1\t2\n", 4, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    som::byte_reader r{std::string_view(c.text)};
    const som::columns_reading read = som::read_columns(r);
    EXPECT_EQ(read.bad_line, c.bad_line);
    EXPECT_EQ(read.columns.size(), c.columns);
  }
  EXPECT_EQ(som::scaled_value({"a", 1.0, 4.0}, 3.0), 0.5);
  EXPECT_EQ(som::unscaled_value({"a", 1.0, 4.0}, 0.5), 3.0);
}

}  // namespace
