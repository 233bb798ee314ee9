// Fuzz harness of load_assignments: any bytes as vystup.txt. The records that
// the file holds (pairs of %u numbers in any white-space layout) are counted
// by a reference reading; load_assignments must read that many records to the
// same values (it ends the process when asked for more, which the tests of the
// program cover). read_u32 must leave the file exactly after each number, and
// after the white space before text that is not a number.
#include <cstdint>
#include <string>
#include <vector>

#include "common/decimal.hpp"
#include "fuzz_support.hpp"
#include "som/map_storage.hpp"
#include "state/results_file.hpp"

namespace {

using som_fuzz::check;

struct reference_number {
  std::uint32_t value = 0;
  std::size_t end = 0;  // position after the number
};

// The numbers that %u reads one after another from the start, and where the
// reading stops (after the white space before the first thing that is not a
// number).
std::vector<reference_number> reference_numbers(std::string_view text, std::size_t& stop) {
  std::vector<reference_number> numbers;
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && som_fuzz::reference_space(text[pos])) ++pos;
    reference_number number;
    const std::size_t length = som_fuzz::reference_u32(text, pos, number.value);
    if (length == 0) break;
    pos += length;
    number.end = pos;
    numbers.push_back(number);
  }
  stop = pos;
  return numbers;
}

std::size_t consumed(som::byte_reader& reader) {
  return static_cast<std::size_t>(std::ftell(reader.file)) - (reader.end - reader.begin);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  som_fuzz::write_bytes(som::assignments_file_name, text);
  std::size_t stop = 0;
  const std::vector<reference_number> numbers = reference_numbers(text, stop);

  // The whole-file view of read_u32.
  som::byte_reader reader;
  check(som::open_reader(reader, som::assignments_file_name), "vystup.txt opens");
  for (const reference_number& number : numbers) {
    std::uint32_t value = 0;
    check(som::read_u32(reader, value), "read_u32 reads a number");
    check(value == number.value, "read_u32 value",
          std::to_string(value) + " for " + std::to_string(number.value));
    check(consumed(reader) == number.end, "read_u32 stops right after the number");
  }
  std::uint32_t value = 7;
  check(!som::read_u32(reader, value), "read_u32 finds no number after the last one");
  check(value == 7, "a failed read leaves the value alone");
  check(consumed(reader) == stop, "a failed read consumes only white space",
        std::to_string(consumed(reader)) + " for " + std::to_string(stop) + " in \"" +
            som_fuzz::show(text) + "\"");
  check(som::close_reader(reader), "vystup.txt closes");

  // load_assignments with as many records as the file holds, and with none.
  for (const std::uint32_t records : {static_cast<std::uint32_t>(numbers.size() / 2), 0u}) {
    som::assignment_table table = som::alloc_assignment_table(records);
    som::load_assignments(table);
    for (std::uint32_t s = 0; s < records; ++s) {
      check(table.records[s].row == numbers[2 * s].value, "record row");
      check(table.records[s].col == numbers[2 * s + 1].value, "record col");
    }
    som::free_assignment_table(table);
  }
  return 0;
}
