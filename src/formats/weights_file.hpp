// vahy.bin: the map's weights between runs, as raw little-endian binary64
// values in neuron order, components in order, with no header.
#pragma once

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "som/map/map_storage.hpp"

namespace som {

enum class weights_read {
  whole,
  too_short,  // the input ends before the grid's last value is whole
  too_long,   // more bytes follow the grid's last value
};

// Fills the grid with the little-endian doubles of the input, in neuron
// order, and looks for bytes beyond them: a longer file holds a map of
// another size or dimension, which read as this one would be scrambled.
weights_read read_weights(byte_reader& reader, weight_grid& grid);

// The bytes of vahy.bin: every weight as a little-endian double, in neuron
// order. False as soon as the sink fails.
bool write_weights(const weight_grid& grid, byte_sink& sink);

}  // namespace som
