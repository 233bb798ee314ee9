// The samples som_map places on the map, with their true labels where the
// user gave them: the one door through which every kind of input comes in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "som/map/map_storage.hpp"

namespace som {

struct new_samples {
  owned_samples samples;
  // One per sample when given (--popisky), empty for a sample without one.
  std::optional<std::vector<std::string>> true_labels;
  // Where they came from, for messages: the file or the column.
  std::string true_labels_source;
};

// Reads the samples of the file `path` for a map of `dimension` components
// in data.txt's format, with data.txt's rules (a map without sloupce.txt;
// with it, new samples come as tables: mapping/new_table.hpp). `labels`
// (--popisky) is a file of one label per line, in the order of the samples
// (as popisky.txt is).
// Returns the refusal, ending in a line end, or nothing.
std::string read_new_samples(const std::string& path, std::uint32_t dimension,
                             const std::optional<std::string>& labels, new_samples& out);

// What is not done when the samples are refused.
inline constexpr const char* placing_not_done = "zarazeni se neprovede";

}  // namespace som
