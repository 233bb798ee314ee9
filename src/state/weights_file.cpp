#include "state/weights_file.hpp"

#include <bit>
#include <cstring>
#include <limits>

#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "state/results_file.hpp"

namespace som {

namespace {

constexpr std::size_t chunk_values = 4096;
constexpr const char* read_failed_text = "Nepodarila se nacist data!";

double decode_le(const unsigned char* bytes) {
  std::uint64_t bits = 0;
  for (int b = 7; b >= 0; --b) bits = (bits << 8) | bytes[b];
  return std::bit_cast<double>(bits);
}

// Every NaN is written as the same quiet NaN: which of two NaN operands an
// addition passes on depends on the order in which the compiler hands them
// to the processor, so the plain loops and the vector kernels may hold NaNs
// of different signs, and the file must not depend on that.
void encode_le(double value, char* bytes) {
  std::uint64_t bits = value == value
                           ? std::bit_cast<std::uint64_t>(value)
                           : std::bit_cast<std::uint64_t>(std::numeric_limits<double>::quiet_NaN());
  for (int b = 0; b < 8; ++b) {
    bytes[b] = static_cast<char>(bits & 0xFFu);
    bits >>= 8;
  }
}

}  // namespace

bool read_weights(byte_reader& reader, weight_grid& grid) {
  const std::size_t values = grid.neurons * grid.dimension;
  std::size_t n = 0;
  std::uint32_t k = 0;
  for (std::size_t done = 0; done < values;) {
    const std::size_t want = values - done < chunk_values ? values - done : chunk_values;
    if (reader.fill(want * 8) < want * 8) return false;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(reader.next());
    for (std::size_t v = 0; v < want; ++v) {
      grid.at(n, k) = decode_le(bytes + v * 8);
      if (++k == grid.dimension) {
        k = 0;
        ++n;
      }
    }
    reader.advance(want * 8);
    done += want;
  }
  return true;
}

void load_weights(weight_grid& grid, assignment_table& assignments, random_generator& gen,
                  std::FILE* console) {
  input_file file;
  // Only a map that is not there is no map: one that cannot be opened (or a
  // folder in its place) would otherwise be replaced by random weights.
  const bool opened = file.open(weights_file_name);
  if (opened ? file.is_folder() : !file.missing())
    fatal_exit(open_failed_message(weights_file_name));
  if (!opened) {
    std::string text = open_failed_message(weights_file_name);
    text.back() = ' ';
    print(console, text);
    print_line(console, "Sit se bude ucit z nahodnych vah.");
    init_random_weights(grid, gen);
    return;
  }
  byte_reader reader(file.source());
  if (!read_weights(reader, grid)) fatal_exit(std::string(read_failed_text) + "\n");
  if (reader.fill(1) != 0) fatal_exit(std::string(weights_too_long_text) + "\n");
  if (!file.close()) fatal_exit(close_failed_message(weights_file_name));
  load_assignments(assignments);
}

bool write_weights(const weight_grid& grid, byte_sink& sink) {
  char buffer[chunk_values * 8];
  const std::size_t values = grid.neurons * grid.dimension;
  std::size_t n = 0;
  std::uint32_t k = 0;
  for (std::size_t done = 0; done < values;) {
    const std::size_t count = values - done < chunk_values ? values - done : chunk_values;
    for (std::size_t v = 0; v < count; ++v) {
      encode_le(grid.at(n, k), buffer + v * 8);
      if (++k == grid.dimension) {
        k = 0;
        ++n;
      }
    }
    if (!sink.put(std::string_view(buffer, count * 8))) return false;
    done += count;
  }
  return true;
}

}  // namespace som
