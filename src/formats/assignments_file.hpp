// vystup.txt: each sample's best-matching neuron, "row<TAB>col" per line, in
// sample order.
#pragma once

#include <cstdint>
#include <optional>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "som/map/map_storage.hpp"

namespace som {

struct assignments_reading {
  enum class outcome {
    read,
    ended,      // only white space was left where record `record` begins
    malformed,  // record `record` is not two numbers
    outside,    // record `record` names a neuron outside the map
  };
  outcome result = outcome::read;
  std::uint32_t record = 0;  // 1-based, where the reading stopped
};

// Reads the first N records (N = assignments.count), two numbers each in any
// layout of white space; what follows them is left unread. With `map`, a
// record beyond its rows or columns is refused (som_train accepts them: a
// saved map from a larger grid only enters the first epoch's Rozdil).
assignments_reading read_assignments(byte_reader& reader, assignment_table& assignments,
                                     std::optional<grid_pos> map = std::nullopt);

// Skips white space; true when nothing else is left.
bool only_white_space_left(byte_reader& reader);

// The bytes of vystup.txt: "row<TAB>col" and the host's line end per
// record, in sample order. False as soon as the sink fails.
bool write_assignments(const assignment_table& assignments, byte_sink& sink);

}  // namespace som
