// konecne_parametry.txt: the final Krok, the seed used and the last Rozdil,
// each with its label, in the entry shape of setup.txt (so that line 1 can
// be copied into entry 7 to continue the schedule).
#pragma once

#include <cstdint>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"

namespace som {

struct final_parameters {
  std::uint32_t Krok = 0;
  std::uint32_t seed = 0;
  std::uint32_t Rozdil = 0;
};

// Reads the three numbers, each followed by the rest of its line. False when
// one is missing.
bool read_final_parameters(byte_reader& reader, final_parameters& values);

// The Krok that the file begins with, read as a setup entry is read (a
// UTF-8 byte order mark skipped). False when it does not begin with a
// number.
bool read_final_Krok(byte_reader& reader, std::uint32_t& Krok);

// False as soon as the sink fails.
bool write_final_parameters(const final_parameters& values, byte_sink& sink);

}  // namespace som
