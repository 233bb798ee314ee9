// setup.txt: the eight parameters of a run, each a number followed by a free
// comment on the rest of its line.
#pragma once

#include <cstdint>
#include <string>

#include "common/byte_reader.hpp"

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

// What reading an entry found.
enum class setup_entry {
  read,
  missing,      // no number stood there
  above_range,  // its digits give a number above 4294967295 (the value wraps)
};

// Reads one entry: a number (0 when none stands there), then the rest of its
// line. Appends the entry's echo to `echo`: the warning "Chybi hodnota v
// souboru!" where the number is missing, then "Precteno %u" with the rest
// of the line. The reader is left just after the line's end.
std::uint32_t read_setup_value(byte_reader& reader, std::string& echo,
                               setup_entry* found = nullptr);

struct setup_reading {
  setup_params params;
  bool complete = true;  // every entry had a number
  bool in_range = true;  // and none was above 4294967295
  std::string echo;      // what a run prints of the entries, line by line
};

// Reads the eight entries in their order.
setup_reading read_setup(byte_reader& reader);

// The refusal of a setup.txt that a run cannot use as it stands (as a line),
// or empty when it can: entries without a number first, then numbers out of
// range. A run with wrong parameters would train a wrong map and save it
// over the good one.
std::string setup_refusal(const setup_reading& setup);

// A setup.txt for these parameters: each entry on its own line, its value,
// a tab and a comment that says what the entry is (Czech, without
// diacritics), with the host's line ends.
std::string format_setup(const setup_params& params);

}  // namespace som
