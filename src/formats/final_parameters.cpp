#include "formats/final_parameters.hpp"

#include <string>

#include "common/decimal.hpp"
#include "common/text_format.hpp"
#include "formats/text_encoding.hpp"

namespace som {

bool read_final_parameters(byte_reader& reader, final_parameters& values) {
  for (std::uint32_t* field : {&values.Krok, &values.seed, &values.Rozdil}) {
    if (!read_u32(reader, *field)) return false;
    // The label after the number.
    int c;
    while ((c = reader.peek()) != -1 && c != '\n') reader.advance(1);
  }
  return true;
}

bool read_final_Krok(byte_reader& reader, std::uint32_t& Krok) {
  const unicode_mark encoding = detect_unicode_mark(reader);
  if (is_utf16(encoding)) return false;
  reader.advance(unicode_mark_length(encoding));
  return read_u32(reader, Krok);
}

bool write_final_parameters(const final_parameters& values, byte_sink& sink) {
  std::string text;
  append_u32(text, values.Krok);
  text += "\tKrok";
  text += host_line_end;
  append_u32(text, values.seed);
  text += "\tSeed for random number generator";
  text += host_line_end;
  append_u32(text, values.Rozdil);
  text += "\tRozdil";
  text += host_line_end;
  return sink.put(text);
}

}  // namespace som
