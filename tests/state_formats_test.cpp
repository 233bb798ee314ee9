// The state files' formats over bytes in memory: what the writers give, what
// the readers take back, and where a reader finds its input short.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "common/byte_sink.hpp"
#include "som/map_storage.hpp"
#include "state/results_file.hpp"
#include "state/weights_file.hpp"
#include "support/byte_sources.hpp"
#include "support/program_runner.hpp"

namespace {

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

    // Read back, whole and a few bytes per read; a short input is refused.
    som::owned_grid back(som::alloc_weight_grid(1, 3, 2, lanes));
    som::byte_reader whole(bytes);
    ASSERT_TRUE(som::read_weights(whole, *back));
    EXPECT_EQ(back->at(0, 0), 0.5);
    EXPECT_TRUE(std::signbit(back->at(1, 0)));
    som_test::piecewise_source pieces(bytes, 3);
    som::byte_reader piecewise(pieces.source());
    EXPECT_TRUE(som::read_weights(piecewise, *back));
    som::byte_reader short_input(std::string_view(bytes).substr(0, 47));
    EXPECT_FALSE(som::read_weights(short_input, *back));
    som_test::piecewise_source failing(bytes, 5, 40);
    som::byte_reader read_error(failing.source());
    EXPECT_FALSE(som::read_weights(read_error, *back));
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
  ASSERT_TRUE(som::write_final_parameters(7150, 2026, 60, final_sink));
  EXPECT_EQ(final, som_test::host_lines("7150\tKrok\n2026\tSeed for random number generator\n"
                                        "60\tRozdil\n"));

  // Any white space between the numbers; a missing record is found.
  std::vector<som::assignment> read(2);
  som::assignment_table back{read.data(), 2};
  som::byte_reader spaced(std::string_view("0 2\r\n\n 4294967295   7"));
  ASSERT_TRUE(som::read_assignments(spaced, back));
  EXPECT_EQ(read[1].row, 4294967295u);
  EXPECT_EQ(read[1].col, 7u);
  som::byte_reader missing(std::string_view("0 2\n5"));
  EXPECT_FALSE(som::read_assignments(missing, back));
}

}  // namespace
