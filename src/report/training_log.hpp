// trenovani.txt as the report reads it: the Rozdil and Radius of each epoch,
// parsed from the file's bytes in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace som {

// Rozdil and Radius of each epoch of the last run. A Radius that is not a
// number ("nan", "inf") is kept as NaN.
struct training_log {
  std::vector<std::uint32_t> Rozdil;
  std::vector<double> Radius;
  // The text ends in a line without its line end (left out when only
  // complete lines were asked for).
  bool unfinished_line = false;
};

// Parses the log after its header line; blank lines are skipped. With
// `complete_lines_only`, a last line without a line end is left out: the run
// may be writing it right now. Returns false with a message (ending in a
// newline) when a line does not hold an epoch.
bool parse_training_log(std::string_view text, bool complete_lines_only, training_log& log,
                        std::string& message);

}  // namespace som
