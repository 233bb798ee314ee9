// trenovani.txt, the training log: the header "Rozdil<TAB>Radius", then one
// "%u<TAB>%f" line per epoch with its Rozdil and squared radius, each line
// with the host's line end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace som {

// The header line, line end included.
std::string training_log_header();

// Appends one epoch's line, line end included.
void append_log_line(std::string& out, std::uint32_t Rozdil, double Radius);

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
