// Fuzz harness of load_saved_map (and write_weights): the first five input bytes
// pick the map's rows (0 to 3), columns (0 to 3), dimension (0 to 4), the
// tile width of the grid in memory (1 to 8) and the number of samples (0 to 3,
// with bit 7 asking for a fresh map); the rest is vahy.bin, padded with zero
// bytes or cut to the size the map needs (a file of another size is refused,
// which the tests of the formats and of the program cover). Checked:
// - each weight is bit for bit the little-endian double at its place in the
//   file, the unused lanes of the last tile stay NaN, and the records of
//   vystup.txt are loaded;
// - saving the grid writes back exactly the bytes that were needed, every NaN
//   as the one quiet NaN;
// - without vahy.bin the grid holds the generator's weights in order, the
//   map counts as random (the run says so), and vystup.txt is not read.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "common/file_names.hpp"
#include "common/random.hpp"
#include "formats/weights_file.hpp"
#include "fuzz_support.hpp"
#include "som/map/map_storage.hpp"
#include "state/state_load.hpp"

namespace {

using som_fuzz::check;

double little_endian(std::string_view bytes, std::size_t value) {
  std::uint64_t bits = 0;
  for (int b = 7; b >= 0; --b)
    bits = (bits << 8) | static_cast<unsigned char>(bytes[value * 8 + b]);
  return std::bit_cast<double>(bits);
}

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint32_t rows = data[0] % 4u;
  const std::uint32_t cols = data[1] % 4u;
  const std::uint32_t dimension = data[2] % 5u;
  const std::uint32_t lanes = 1u + data[3] % 8u;
  const std::uint32_t samples = data[4] % 4u;
  const bool fresh = (data[4] & 0x80u) != 0;
  std::string payload(reinterpret_cast<const char*>(data + 5), size - 5);

  som::owned_grid grid_memory = som::alloc_weight_grid(rows, cols, dimension, lanes);
  som::weight_grid& grid = *grid_memory;
  som::owned_assignments table_memory = som::alloc_assignment_table(samples);
  som::assignment_table& table = *table_memory;
  const std::size_t values = grid.neurons * dimension;
  som::random_generator gen;
  std::uint32_t seed = 0;
  for (std::size_t b = 0; b < 4 && b < payload.size(); ++b) {
    seed = (seed << 8) | static_cast<unsigned char>(payload[b]);
  }
  som::seed_random(gen, seed);
  som::map_origin origin = som::map_origin::saved;

  if (fresh) {
    std::remove(som::weights_file_name);
    std::remove(som::assignments_file_name);
    check(!som::load_saved_map(grid, table, gen, origin), "the map loads");
    check(origin == som::map_origin::random, "no vahy.bin: random weights");
    som::random_generator reference;
    som::seed_random(reference, seed);
    for (std::size_t n = 0; n < grid.neurons; ++n) {
      for (std::uint32_t k = 0; k < dimension; ++k) {
        check(same_bits(grid.at(n, k), som::random_weight(som::draw_random(reference))),
              "random weights in neuron and component order");
      }
    }
    for (std::uint32_t s = 0; s < samples; ++s) {
      check(table.records[s].row == 0 && table.records[s].col == 0, "assignments stay zero");
    }
  } else {
    payload.resize(values * 8, '\0');
    som_fuzz::write_bytes(som::weights_file_name, payload);
    std::string records;
    for (std::uint32_t s = 0; s < samples; ++s) {
      records += std::to_string(s) + "\t" + std::to_string(4294967295u - s) + "\n";
    }
    som_fuzz::write_bytes(som::assignments_file_name, records);
    check(!som::load_saved_map(grid, table, gen, origin), "the map loads");
    check(origin == som::map_origin::saved, "the map comes from the files");
    for (std::size_t n = 0; n < grid.neurons; ++n) {
      for (std::uint32_t k = 0; k < dimension; ++k) {
        check(same_bits(grid.at(n, k), little_endian(payload, n * dimension + k)),
              "weight is the little-endian double of the file",
              "neuron " + std::to_string(n) + " component " + std::to_string(k));
      }
    }
    for (std::uint32_t s = 0; s < samples; ++s) {
      check(table.records[s].row == s && table.records[s].col == 4294967295u - s,
            "assignments loaded after the weights");
    }
    std::string saved;
    som::byte_sink sink = som::string_sink(saved);
    check(som::write_weights(grid, sink), "writing into memory succeeds");
    // Every NaN comes back as the one quiet NaN.
    std::string expected = payload.substr(0, values * 8);
    for (std::size_t v = 0; v < values; ++v) {
      if (!std::isnan(little_endian(expected, v))) continue;
      const std::uint64_t bits =
          std::bit_cast<std::uint64_t>(std::numeric_limits<double>::quiet_NaN());
      for (int b = 0; b < 8; ++b) expected[v * 8 + b] = static_cast<char>(bits >> (8 * b));
    }
    check(saved == expected, "saving writes back the bytes that were loaded, NaNs alike");
  }
  for (std::size_t n = grid.neurons; n < grid.tiles * lanes; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      check(std::isnan(grid.at(n, k)), "lanes past the last neuron stay NaN");
    }
  }
  return 0;
}
