// Fuzz harness of the setup reader: any bytes as setup.txt, read as its eight
// entries. Each entry's value, echo and the position the reader is left at
// must match the reference reading; in particular the reader never consumes
// anything past the newline that ends the entry's line.
#include <cstdint>
#include <string>

#include "common/text_format.hpp"
#include "formats/setup_file.hpp"
#include "fuzz_support.hpp"

namespace {

using som_fuzz::check;

struct reference_entry {
  std::uint32_t value = 0;
  som::setup_entry found = som::setup_entry::read;
  std::string console;
  std::size_t next = 0;  // where the next entry starts
};

reference_entry reference_read(std::string_view text, std::size_t pos) {
  reference_entry entry;
  while (pos < text.size() && som_fuzz::reference_space(text[pos])) ++pos;
  const std::size_t length = som_fuzz::reference_u32(text, pos, entry.value);
  if (length == 0) {
    entry.console = "Chybi hodnota v souboru!\n";
    entry.found = som::setup_entry::missing;
  } else {
    // Above 4294967295: more than ten digits after the leading zeros, or ten
    // that compare above it as text.
    std::size_t first = pos + (text[pos] == '+' || text[pos] == '-' ? 1 : 0);
    while (first + 1 < pos + length && text[first] == '0') ++first;
    const std::string_view digits = text.substr(first, pos + length - first);
    if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295"))
      entry.found = som::setup_entry::above_range;
  }
  pos += length;
  entry.console += "Precteno ";
  som::append_u32(entry.console, entry.value);
  // The comment: the rest of the line, without the newline and without one
  // CR right before it.
  const std::size_t newline = text.find('\n', pos);
  std::size_t comment_end = newline == std::string_view::npos ? text.size() : newline;
  if (newline != std::string_view::npos && comment_end > pos && text[comment_end - 1] == '\r') {
    --comment_end;
  }
  entry.console.append(text.substr(pos, comment_end - pos));
  entry.console += '\n';
  entry.next = newline == std::string_view::npos ? text.size() : newline + 1;
  return entry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  som::byte_reader reader(text);
  std::size_t pos = 0;
  std::uint32_t values[8];
  for (int e = 0; e < 8; ++e) {
    const reference_entry expected = reference_read(text, pos);
    std::string echo;
    som::setup_entry found = som::setup_entry::read;
    values[e] = som::read_setup_value(reader, echo, &found);
    const std::string where = "entry " + std::to_string(e) + " at byte " + std::to_string(pos) +
                              " of \"" + som_fuzz::show(text) + "\"";
    check(values[e] == expected.value, "setup value as %u reads it", where);
    check(found == expected.found, "missing or above 4294967295 as the digits say", where);
    check(echo == expected.console, "setup echo",
          where + "\nexpected \"" + som_fuzz::show(expected.console) + "\"\ngot \"" +
              som_fuzz::show(echo) + "\"");
    check(reader.position() == expected.next, "reader stops right after the line's newline",
          where + ": consumed " + std::to_string(reader.position()) + ", expected " +
              std::to_string(expected.next));
    pos = expected.next;
  }

  // read_setup gives the same eight values, in order.
  som::byte_reader again(text);
  const som::setup_params p = som::read_setup(again).params;
  const std::uint32_t fields[8] = {p.map_rows,   p.map_cols,    p.dimension, p.radius_decay,
                                   p.rate_decay, p.stop_radius, p.Krok,      p.seed};
  for (int e = 0; e < 8; ++e) check(fields[e] == values[e], "read_setup order");
  return 0;
}
