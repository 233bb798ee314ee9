// Fuzz harness of the setup reader: any bytes as setup.txt, read as its eight
// entries. Each entry's value, echo, decimal value and the position the
// reader is left at must match the reference reading; in particular the
// reader never consumes anything past the newline that ends the entry's
// line. The whole file read at once gives the same entries (after a UTF-8
// byte order mark) and the refusal of the reference: UTF-16 first, then a
// missing entry, then the first decimal value, then a number above the
// range.
#include <cstdint>
#include <string>

#include "common/messages.hpp"
#include "common/text_format.hpp"
#include "formats/setup_file.hpp"
#include "fuzz_support.hpp"

namespace {

using som_fuzz::check;

struct reference_entry {
  std::uint32_t value = 0;
  som::setup_entry found = som::setup_entry::read;
  std::string console;
  std::string decimal;   // the entry as written when it is a decimal value
  std::size_t next = 0;  // where the next entry starts
};

bool digit_at(std::string_view text, std::size_t i) {
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

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
  // A decimal value: the number's digits, then '.' or ',' and a digit.
  if (length != 0 && (text.size() > pos + length) &&
      (text[pos + length] == '.' || text[pos + length] == ',') &&
      digit_at(text, pos + length + 1)) {
    std::size_t end = pos + length + 1;
    while (digit_at(text, end)) ++end;
    entry.decimal = std::string(text.substr(pos, end - pos));
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
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  // The entries are read from the text after a UTF-8 byte order mark.
  const som_fuzz::reference_text encoding = som_fuzz::reference_encoding(file);
  const std::string_view text =
      encoding == som_fuzz::reference_text::utf8_mark ? file.substr(3) : file;
  som::byte_reader reader(text);
  std::size_t pos = 0;
  std::uint32_t values[8];
  std::string echoes;
  bool missing = false, above = false;
  std::string first_decimal;
  for (int e = 0; e < 8; ++e) {
    const reference_entry expected = reference_read(text, pos);
    missing = missing || expected.found == som::setup_entry::missing;
    above = above || expected.found == som::setup_entry::above_range;
    if (first_decimal.empty()) first_decimal = expected.decimal;
    std::string echo;
    som::setup_entry found = som::setup_entry::read;
    std::string decimal = "not set";
    values[e] = som::read_setup_value(reader, echo, &found, &decimal);
    const std::string where = "entry " + std::to_string(e) + " at byte " + std::to_string(pos) +
                              " of \"" + som_fuzz::show(text) + "\"";
    check(values[e] == expected.value, "setup value as %u reads it", where);
    check(found == expected.found, "missing or above 4294967295 as the digits say", where);
    check(decimal == expected.decimal, "decimal value as written",
          where + "\nexpected \"" + som_fuzz::show(expected.decimal) + "\"\ngot \"" +
              som_fuzz::show(decimal) + "\"");
    echoes += echo;
    check(echo == expected.console, "setup echo",
          where + "\nexpected \"" + som_fuzz::show(expected.console) + "\"\ngot \"" +
              som_fuzz::show(echo) + "\"");
    check(reader.position() == expected.next, "reader stops right after the line's newline",
          where + ": consumed " + std::to_string(reader.position()) + ", expected " +
              std::to_string(expected.next));
    pos = expected.next;
  }

  // read_setup over the whole file: a file in UTF-16 is refused before any
  // echo; otherwise the same eight values in order, the same echo.
  som::byte_reader again(file);
  const som::setup_reading read = som::read_setup(again);
  const std::string refusal = som::message_of(som::setup_refusal(read));
  if (encoding == som_fuzz::reference_text::utf16) {
    check(read.echo.empty() && refusal == som_fuzz::reference_utf16_refusal("setup.txt"),
          "a file in UTF-16 is refused before any echo", som_fuzz::show(file.substr(0, 200)));
    return 0;
  }
  const som::setup_params& p = read.params;
  const std::uint32_t fields[8] = {p.map_rows,   p.map_cols,    p.dimension, p.radius_decay,
                                   p.rate_decay, p.stop_radius, p.Krok,      p.seed};
  for (int e = 0; e < 8; ++e) check(fields[e] == values[e], "read_setup order");
  check(read.echo == echoes, "read_setup echo");
  const std::string expected_refusal =
      missing                  ? "Soubor setup.txt nema vsech osm hodnot, trenovani se neprovede.\n"
      : !first_decimal.empty() ? "Hodnota v souboru setup.txt neni cele cislo (" + first_decimal +
                                     "), trenovani se neprovede.\n"
      : above ? "Hodnota v souboru setup.txt je vetsi nez 4294967295, trenovani se neprovede.\n"
              : "";
  check(refusal == expected_refusal, "refusal: missing, then decimal, then above the range",
        "expected \"" + som_fuzz::show(expected_refusal) + "\"\ngot \"" + som_fuzz::show(refusal) +
            "\" in \"" + som_fuzz::show(text.substr(0, 400)) + "\"");
  return 0;
}
