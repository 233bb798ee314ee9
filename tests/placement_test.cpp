// zarazeni.txt: the lines read back as written, the lines that are not the
// format, and the figures made of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "formats/placement_file.hpp"
#include "formats/placement_summary.hpp"
#include "support/program_runner.hpp"

namespace {

using som_test::host_lines;

som::placement row(std::uint32_t r, std::uint32_t c, double distance, bool neighbour,
                   std::string label = "", bool borrowed = false, std::uint32_t cluster = 0,
                   std::string true_label = "") {
  som::placement p;
  p.unit = {r, c};
  p.distance = distance;
  p.neighbour = neighbour;
  p.label = std::move(label);
  p.borrowed = borrowed;
  p.cluster = cluster;
  p.true_label = std::move(true_label);
  return p;
}

bool same_rows(const som::placement_table& a, const som::placement_table& b) {
  if (a.rows.size() != b.rows.size()) return false;
  for (std::size_t i = 0; i < a.rows.size(); ++i) {
    const som::placement &x = a.rows[i], &y = b.rows[i];
    if (x.unit.row != y.unit.row || x.unit.col != y.unit.col || x.neighbour != y.neighbour ||
        x.label != y.label || x.borrowed != y.borrowed || x.cluster != y.cluster ||
        x.true_label != y.true_label || std::memcmp(&x.distance, &y.distance, sizeof(double)) != 0)
      return false;
  }
  return true;
}

TEST(PlacementFile, EveryShapeReadsBackBitForBit) {
  const double tiny = std::numeric_limits<double>::denorm_min();
  for (int shape = 0; shape < 8; ++shape) {
    som::placement_table table;
    table.labels = (shape & 1) != 0;
    table.clusters = (shape & 2) != 0;
    table.true_labels = (shape & 4) != 0;
    table.rows = {row(0, 0, 0.1, true, table.labels ? "setosa" : "", false, table.clusters ? 1 : 0,
                      table.true_labels ? "setosa" : ""),
                  row(4294967295u, 7, 1.0 / 3.0, false, table.labels ? "jiny druh" : "",
                      table.labels, table.clusters ? 4294967295u : 0),
                  row(2, 3, tiny, true, "", false, table.clusters ? 2 : 0,
                      table.true_labels ? "virginica" : ""),
                  row(5, 5, std::numeric_limits<double>::infinity(), true, "", false,
                      table.clusters ? 3 : 0)};
    std::string bytes;
    som::byte_sink sink = som::string_sink(bytes);
    ASSERT_TRUE(som::write_placements(table, sink));
    som::byte_reader reader(bytes);
    const som::placements_reading read = som::read_placements(reader);
    ASSERT_TRUE(read.ok()) << "line " << read.bad_line << " of\n" << bytes;
    EXPECT_EQ(read.table.labels, table.labels);
    EXPECT_EQ(read.table.clusters, table.clusters);
    EXPECT_EQ(read.table.true_labels, table.true_labels);
    EXPECT_TRUE(same_rows(read.table, table)) << bytes;
  }
}

TEST(PlacementFile, TheWrittenLines) {
  som::placement_table table;
  table.labels = table.clusters = table.true_labels = true;
  table.rows = {row(3, 11, 0.1, true, "7", false, 2, "7"), row(0, 1, 2.5e-7, false, "", true, 1, "")};
  std::string bytes;
  som::byte_sink sink = som::string_sink(bytes);
  ASSERT_TRUE(som::write_placements(table, sink));
  EXPECT_EQ(bytes, host_lines("radek\tsloupec\tvzdalenost\tsousedni\tpopisek\todhad\tshluk\tskutecny\n"
                              "3\t11\t0.1\t1\t7\t0\t2\t7\n"
                              "0\t1\t2.5e-07\t0\t\t1\t1\t\n"));
}

TEST(PlacementFile, LinesThatAreNotTheFormat) {
  const std::string header = "radek\tsloupec\tvzdalenost\tsousedni\tshluk\n";
  struct bad_case {
    const char* name;
    std::string bytes;
    std::uint64_t bad_line;
  };
  const bad_case cases[] = {
      {"no header", "0\t0\t0.5\t1\t1\n", 1},
      {"columns out of order", "radek\tsloupec\tvzdalenost\tsousedni\tskutecny\tshluk\n", 1},
      {"a column too few", header + "0\t0\t0.5\t1\n", 2},
      {"a column too many", header + "0\t0\t0.5\t1\t1\t1\n", 2},
      {"a negative row", header + "-1\t0\t0.5\t1\t1\n", 2},
      {"a row beyond 32 bits", header + "4294967296\t0\t0.5\t1\t1\n", 2},
      {"a negative distance", header + "0\t0\t-0.5\t1\t1\n", 2},
      {"a distance in words", header + "0\t0\tnan\t1\t1\n", 2},
      {"a flag that is not 0 or 1", header + "0\t0\t0.5\t2\t1\n", 2},
      {"cluster 0", header + "0\t0\t0.5\t1\t0\n", 2},
      {"a line after a blank one", header + "0\t0\t0.5\t1\t1\n\n0\t0\t0.5\t1\t1\n", 4},
      {"a CR in a label",
       "radek\tsloupec\tvzdalenost\tsousedni\tskutecny\n0\t0\t0.5\t1\ta\r\r\n", 2},
  };
  for (const bad_case& c : cases) {
    som::byte_reader reader(c.bytes);
    EXPECT_EQ(som::read_placements(reader).bad_line, c.bad_line) << c.name;
  }
  // CR LF line ends and blank lines at the end are fine.
  const std::string good = "radek\tsloupec\tvzdalenost\tsousedni\r\n1\t2\t3\t1\r\n\r\n  \n";
  som::byte_reader reader(good);
  const som::placements_reading read = som::read_placements(reader);
  EXPECT_TRUE(read.ok());
  ASSERT_EQ(read.table.rows.size(), 1u);
  EXPECT_EQ(read.table.rows[0].distance, 3.0);
}

TEST(PlacementSummary, ErrorsAccuracyAndTheConfusionMatrix) {
  som::placement_table table;
  table.labels = table.true_labels = true;
  table.rows = {row(0, 0, 0.5, true, "10", false, 0, "10"), row(0, 1, 1.5, false, "9", true, 0, "10"),
                row(1, 0, 1.0, true, "9", false, 0, "9"),   row(1, 1, 2.0, false, "", false, 0, "b"),
                row(1, 1, 3.0, true, "a", true, 0, "")};
  const som::placement_summary summary = som::summarize_placements(table);
  EXPECT_EQ(summary.samples, 5u);
  EXPECT_EQ(summary.quantization, (0.5 + 1.5 + 1.0 + 2.0 + 3.0) / 5.0);
  EXPECT_EQ(summary.topographic_count, 2u);
  EXPECT_EQ(summary.topographic, 0.4);
  EXPECT_EQ(summary.borrowed, 2u);
  // The last sample has no true label and counts for nothing below.
  EXPECT_EQ(summary.judged, 4u);
  EXPECT_EQ(summary.correct, 2u);
  EXPECT_EQ(summary.accuracy, 0.5);
  // Numbers by value (9 before 10), then text, then no label.
  EXPECT_EQ(summary.matrix_labels, (std::vector<std::string>{"9", "10", "b", ""}));
  const std::vector<std::vector<std::uint64_t>> confusion = {
      {1, 0, 0, 0}, {1, 1, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}};
  EXPECT_EQ(summary.confusion, confusion);
}

}  // namespace
