#include "run/setup_file.hpp"

#include <string>

#include "common/decimal.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"

namespace som {

std::uint32_t read_setup_value(byte_reader& reader, std::FILE* console) {
  std::uint32_t value = 0;
  const bool found = read_u32(reader, value);
  std::string line;
  if (!found) {
    value = 0;
    line += "Chybi hodnota v souboru!\n";
  }
  line += "Precteno ";
  append_u32(line, value);
  // The rest of the line, without its line end (LF or CR LF).
  int c;
  while ((c = reader.peek()) != -1) {
    reader.advance(1);
    if (c == '\n') break;
    if (c == '\r' && reader.peek() == '\n') {
      reader.advance(1);
      break;
    }
    line += static_cast<char>(c);
  }
  line += '\n';
  if (console != nullptr) print(console, line);
  return value;
}

setup_params read_setup(byte_reader& reader, std::FILE* console) {
  setup_params params;
  params.map_rows = read_setup_value(reader, console);
  params.map_cols = read_setup_value(reader, console);
  params.dimension = read_setup_value(reader, console);
  params.radius_decay = read_setup_value(reader, console);
  params.rate_decay = read_setup_value(reader, console);
  params.stop_radius = read_setup_value(reader, console);
  params.Krok = read_setup_value(reader, console);
  params.seed = read_setup_value(reader, console);
  return params;
}

}  // namespace som
