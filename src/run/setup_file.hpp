// setup.txt: the eight parameters of a run, each a number followed by a free
// comment on the rest of its line.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"

namespace som {

struct setup_params {
  std::uint32_t map_rows = 0;
  std::uint32_t map_cols = 0;
  std::uint32_t dimension = 0;
  std::uint32_t radius_decay = 0;
  std::uint32_t rate_decay = 0;
  std::uint32_t stop_radius = 0;
  std::uint32_t Krok = 0;
  std::uint32_t seed = 0;
};

// Reads one entry: a number (0 with a warning when none stands there), then
// the rest of its line, which is echoed after "Precteno %u". The reader is
// left just after the line's end. With console == nullptr nothing is printed.
std::uint32_t read_setup_value(byte_reader& reader, std::FILE* console);

// Reads the eight entries in their order.
setup_params read_setup(byte_reader& reader, std::FILE* console);

}  // namespace som
