#include "formats/weights_file.hpp"

#include <bit>
#include <cstdint>
#include <limits>

#include "formats/little_endian.hpp"

namespace som {

namespace {

constexpr std::size_t chunk_values = 4096;

// Every NaN is written as the same quiet NaN: which of two NaN operands an
// addition passes on depends on the order in which the compiler hands them
// to the processor, so the plain loops and the vector kernels may hold NaNs
// of different signs, and the file must not depend on that.
std::uint64_t stored_bits(double value) {
  return value == value ? std::bit_cast<std::uint64_t>(value)
                        : std::bit_cast<std::uint64_t>(std::numeric_limits<double>::quiet_NaN());
}

}  // namespace

weights_read read_weights(byte_reader& reader, weight_grid& grid) {
  const std::size_t values = grid.neurons * grid.dimension;
  std::size_t neuron = 0;
  std::uint32_t k = 0;
  for (std::size_t done = 0; done < values;) {
    const std::size_t want = values - done < chunk_values ? values - done : chunk_values;
    if (reader.fill(want * 8) < want * 8) return weights_read::too_short;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(reader.next());
    for (std::size_t v = 0; v < want; ++v) {
      grid.at(neuron, k) = std::bit_cast<double>(load_le64(bytes + v * 8));
      if (++k == grid.dimension) {
        k = 0;
        ++neuron;
      }
    }
    reader.advance(want * 8);
    done += want;
  }
  return reader.fill(1) != 0 ? weights_read::too_long : weights_read::whole;
}

bool write_weights(const weight_grid& grid, byte_sink& sink) {
  char buffer[chunk_values * 8];
  const std::size_t values = grid.neurons * grid.dimension;
  std::size_t neuron = 0;
  std::uint32_t k = 0;
  for (std::size_t done = 0; done < values;) {
    const std::size_t count = values - done < chunk_values ? values - done : chunk_values;
    for (std::size_t v = 0; v < count; ++v) {
      store_le64(stored_bits(grid.at(neuron, k)), buffer + v * 8);
      if (++k == grid.dimension) {
        k = 0;
        ++neuron;
      }
    }
    if (!sink.put(std::string_view(buffer, count * 8))) return false;
    done += count;
  }
  return true;
}

}  // namespace som
