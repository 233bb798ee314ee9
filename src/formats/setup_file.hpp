// setup.txt: the eight parameters of a run, each a number followed by a free
// comment on the rest of its line.
#pragma once

#include <cstdint>
#include <string>

#include "common/byte_reader.hpp"
#include "common/failure.hpp"
#include "formats/text_encoding.hpp"

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
//
// An entry whose digits are followed directly by '.' or ',' and a digit is a
// decimal value (0.5, 1,5): its number is read as the digits before the mark
// give it and the rest is echoed as ever, and `decimal` gets the entry as
// written, its sign and the digits after the mark included; otherwise
// `decimal` is left empty.
std::uint32_t read_setup_value(byte_reader& reader, std::string& echo, setup_entry* found = nullptr,
                               std::string* decimal = nullptr);

struct setup_reading {
  // The file's encoding: in UTF-16 nothing of it is read (no entry, no echo).
  unicode_mark encoding = unicode_mark::none;
  setup_params params;
  bool complete = true;  // every entry had a number
  std::string decimal;   // the first entry that is a decimal value, as written
  bool in_range = true;  // and none was above 4294967295
  std::string echo;      // what a run prints of the entries, line by line
};

// Reads the eight entries in their order, after a UTF-8 byte order mark.
setup_reading read_setup(byte_reader& reader);

// The refusal of a setup.txt that a run cannot use as it stands, or none
// when it can: a file in UTF-16 (before any echo), then entries
// without a number, then a decimal value (which would be read as its whole
// part: 0.5 as 0), then numbers out of range. A run with wrong parameters
// would train a wrong map and save it over the good one.
failure setup_refusal(const setup_reading& setup);

// A setup.txt for these parameters: each entry on its own line, its value,
// a tab and a comment that says what the entry is (Czech, without
// diacritics), with the host's line ends.
std::string format_setup(const setup_params& params);

}  // namespace som
