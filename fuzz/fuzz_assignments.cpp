// Fuzz harness of the vystup.txt reader: any bytes as its text. The records that
// the text holds (pairs of %u numbers in any white-space layout) are counted
// by a reference reading; read_assignments must read that many records to the
// same values and find one more missing. read_u32 must leave the reader
// exactly after each number, and after the white space before text that is
// not a number.
#include <cstdint>
#include <string>
#include <vector>

#include "common/decimal.hpp"
#include "formats/assignments_file.hpp"
#include "fuzz_support.hpp"
#include "som/map/map_storage.hpp"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t stop = 0;
  const std::vector<reference_number> numbers = reference_numbers(text, stop);

  // The whole-file view of read_u32.
  som::byte_reader reader(text);
  for (const reference_number& number : numbers) {
    std::uint32_t value = 0;
    check(som::read_u32(reader, value), "read_u32 reads a number");
    check(value == number.value, "read_u32 value",
          std::to_string(value) + " for " + std::to_string(number.value));
    check(reader.position() == number.end, "read_u32 stops right after the number");
  }
  std::uint32_t value = 7;
  check(!som::read_u32(reader, value), "read_u32 finds no number after the last one");
  check(value == 7, "a failed read leaves the value alone");
  check(reader.position() == stop, "a failed read consumes only white space",
        std::to_string(reader.position()) + " for " + std::to_string(stop) + " in \"" +
            som_fuzz::show(text) + "\"");

  // The records: as many as the text holds and none are read whole; one
  // more is missing.
  const std::uint32_t held = static_cast<std::uint32_t>(numbers.size() / 2);
  for (const std::uint32_t records : {held, 0u, held + 1}) {
    som::owned_assignments table_memory = som::alloc_assignment_table(records);
    som::assignment_table& table = *table_memory;
    som::byte_reader records_reader(text);
    const bool complete = som::read_assignments(records_reader, table).result ==
                          som::assignments_reading::outcome::read;
    check(complete == (records <= held), "a record is missing only past the last one");
    for (std::uint32_t s = 0; s < records && s < held; ++s) {
      check(table.records[s].row == numbers[2 * s].value, "record row");
      check(table.records[s].col == numbers[2 * s + 1].value, "record col");
    }
  }
  return 0;
}
