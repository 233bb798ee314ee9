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
  // The text ends in a line without its line end, which a run may be
  // writing right now.
  bool unfinished_line = false;
  // Complete lines that hold no epoch (a line changed by hand, a disk that
  // failed under the file), left out; the number of the first, counting the
  // header as line 1.
  std::uint64_t broken_lines = 0;
  std::uint64_t first_broken_line = 0;
};

// Parses the log after its header line; blank lines are skipped. Whatever
// cannot be read is left out and counted, so that a damaged log still shows
// the epochs it holds. A last line without its line end is left out: while
// the run may still write it (`still_written`) as unfinished, otherwise as
// broken (the run ends every line it writes, so that line's write was cut
// short).
void parse_training_log(std::string_view text, bool still_written, training_log& log);

}  // namespace som
