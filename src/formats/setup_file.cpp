#include "formats/setup_file.hpp"

#include <string>
#include <utility>

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"

namespace som {

namespace {

bool is_decimal_mark(int c) { return c == '.' || c == ','; }

// The decimal value that the reader stands at (white space skipped), as
// written: a sign, digits, '.' or ',' and the digits after it; empty when
// the digits are not followed by a mark and a digit. Nothing is consumed.
std::string decimal_value_at(byte_reader& reader) {
  std::size_t i = reader.peek() == '+' || reader.peek() == '-' ? 1 : 0;
  const std::size_t first_digit = i;
  while (is_digit(reader.peek(i))) ++i;
  if (i == first_digit || !is_decimal_mark(reader.peek(i)) || !is_digit(reader.peek(i + 1)))
    return {};
  for (i += 2; is_digit(reader.peek(i)); ++i) {
  }
  std::string text;
  for (std::size_t k = 0; k < i; ++k) text += static_cast<char>(reader.peek(k));
  return text;
}

}  // namespace

std::uint32_t read_setup_value(byte_reader& reader, std::string& echo, setup_entry* found,
                               std::string* decimal) {
  int space;
  while ((space = reader.peek()) != -1 && is_space(space)) reader.advance(1);
  if (decimal != nullptr) *decimal = decimal_value_at(reader);
  std::uint32_t value = 0;
  bool above_range = false;
  const bool number = read_u32(reader, value, above_range);
  if (found != nullptr)
    *found = !number ? setup_entry::missing
                     : above_range ? setup_entry::above_range : setup_entry::read;
  if (!number) value = 0;
  // The rest of the line, without its line end (LF or CR LF).
  std::string rest;
  int c;
  while ((c = reader.peek()) != -1) {
    reader.advance(1);
    if (c == '\n') break;
    if (c == '\r' && reader.peek() == '\n') {
      reader.advance(1);
      break;
    }
    rest += static_cast<char>(c);
  }
  append_setup_echo(echo, value, !number, rest);
  return value;
}

setup_reading read_setup(byte_reader& reader) {
  setup_reading setup;
  setup.encoding = detect_unicode_mark(reader);
  if (is_utf16(setup.encoding)) return setup;
  reader.advance(unicode_mark_length(setup.encoding));
  setup_params& p = setup.params;
  for (std::uint32_t* entry : {&p.map_rows, &p.map_cols, &p.dimension, &p.radius_decay,
                               &p.rate_decay, &p.stop_radius, &p.Krok, &p.seed}) {
    setup_entry found = setup_entry::read;
    std::string decimal;
    *entry = read_setup_value(reader, setup.echo, &found, &decimal);
    if (found == setup_entry::missing) setup.complete = false;
    if (setup.decimal.empty()) setup.decimal = std::move(decimal);
    if (found == setup_entry::above_range) setup.in_range = false;
  }
  return setup;
}

failure setup_refusal(const setup_reading& setup) {
  if (is_utf16(setup.encoding)) return failure::of(failure_kind::utf16, setup_file_name);
  if (!setup.complete) return failure::of(failure_kind::setup_incomplete, setup_file_name);
  if (!setup.decimal.empty()) {
    failure refusal = failure::of(failure_kind::setup_decimal, setup_file_name);
    refusal.detail = setup.decimal;
    return refusal;
  }
  if (!setup.in_range) return failure::of(failure_kind::setup_above_range, setup_file_name);
  return {};
}

std::string format_setup(const setup_params& p) {
  const std::pair<std::uint32_t, const char*> entries[] = {
      {p.map_rows, "map_rows: pocet radku mapy"},
      {p.map_cols, "map_cols: pocet sloupcu mapy"},
      {p.dimension, "dimension: pocet slozek kazdeho vzorku (sloupce.txt)"},
      {p.radius_decay, "radius_decay: cim vetsi, tim pomaleji se zmensuje okoli a tim vic epoch"},
      {p.rate_decay, "rate_decay: cim vetsi, tim pomaleji klesa rychlost uceni"},
      {p.stop_radius, "stop_radius: trenovani skonci, az ctverec polomeru okoli klesne na tuto hodnotu"},
      {p.Krok, "Krok: 0 pro novou mapu; pro pokracovani radek 1 souboru konecne_parametry.txt"},
      {p.seed, "seed: 0 vezme cas; jine cislo da vzdy stejne pocatecni vahy"},
  };
  std::string text;
  for (const auto& [value, comment] : entries) {
    append_u32(text, value);
    text += '\t';
    text += comment;
    text += host_line_end;
  }
  return text;
}

}  // namespace som
