#include "formats/setup_file.hpp"

#include <string>
#include <utility>

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "common/text_format.hpp"

namespace som {

std::uint32_t read_setup_value(byte_reader& reader, std::string& echo, setup_entry* found) {
  std::uint32_t value = 0;
  bool above_range = false;
  const bool number = read_u32(reader, value, above_range);
  if (found != nullptr)
    *found = !number ? setup_entry::missing
                     : above_range ? setup_entry::above_range : setup_entry::read;
  if (!number) {
    value = 0;
    echo += "Chybi hodnota v souboru!\n";
  }
  echo += "Precteno ";
  append_u32(echo, value);
  // The rest of the line, without its line end (LF or CR LF).
  int c;
  while ((c = reader.peek()) != -1) {
    reader.advance(1);
    if (c == '\n') break;
    if (c == '\r' && reader.peek() == '\n') {
      reader.advance(1);
      break;
    }
    echo += static_cast<char>(c);
  }
  echo += '\n';
  return value;
}

setup_reading read_setup(byte_reader& reader) {
  setup_reading setup;
  setup_params& p = setup.params;
  for (std::uint32_t* entry : {&p.map_rows, &p.map_cols, &p.dimension, &p.radius_decay,
                               &p.rate_decay, &p.stop_radius, &p.Krok, &p.seed}) {
    setup_entry found = setup_entry::read;
    *entry = read_setup_value(reader, setup.echo, &found);
    if (found == setup_entry::missing) setup.complete = false;
    if (found == setup_entry::above_range) setup.in_range = false;
  }
  return setup;
}

std::string setup_refusal(const setup_reading& setup) {
  if (!setup.complete)
    return std::string("Soubor ") + setup_file_name +
           " nema vsech osm hodnot, trenovani se neprovede.\n";
  if (!setup.in_range)
    return std::string("Hodnota v souboru ") + setup_file_name +
           " je vetsi nez 4294967295, trenovani se neprovede.\n";
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
