// vahy.bin: the map's weights between runs, as raw little-endian binary64
// values in neuron order, components in order, with no header.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "common/file_names.hpp"
#include "common/random.hpp"
#include "som/map_storage.hpp"

namespace som {

// Fills the grid with the little-endian doubles of the input, in neuron
// order. Returns false when the input ends before the last value is whole.
bool read_weights(byte_reader& reader, weight_grid& grid);

// The refusal of a vahy.bin longer than the map of setup.txt needs: a map
// of another size or dimension, which read as this one would be scrambled.
inline constexpr const char* weights_too_long_text =
    "Soubor vahy.bin neodpovida velikosti mapy v setup.txt, trenovani se neprovede.";

// Fills the grid from vahy.bin and then the assignments from vystup.txt.
// When there is no vahy.bin, says so on the console, fills the grid with
// random weights and leaves the assignments at zero. Ends the process when
// vahy.bin is there but cannot be opened, and on a short, long or unreadable
// file.
void load_weights(weight_grid& grid, assignment_table& assignments, random_generator& gen,
                  std::FILE* console);

// The bytes of vahy.bin: every weight as a little-endian double, in neuron
// order. False as soon as the sink fails.
bool write_weights(const weight_grid& grid, byte_sink& sink);

}  // namespace som
