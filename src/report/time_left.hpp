// How long a run in progress still needs: from the pace of its last epochs,
// as a watch has seen them, and the epochs its schedule has left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace som {

// When a watch looked (seconds on a steady clock) and how many epochs the log
// held then; the oldest first.
struct pace_history {
  struct look {
    double seconds;
    std::uint64_t done;
  };
  std::vector<look> looks;
};

// The looks that set the pace: those of the last half minute, and at least
// the last few.
inline constexpr double pace_window_seconds = 30.0;

// Adds a look. A log that holds fewer epochs than before belongs to a new
// run: what was seen of the old one is forgotten.
void note_progress(pace_history& history, double seconds, std::uint64_t done);

// Seconds until epoch `total`, at the pace between the oldest look of the
// window and the last; negative when no pace is known yet (fewer than two
// looks with different epochs).
double seconds_left(const pace_history& history, std::uint64_t total);

// "zbyva asi 40 s", "zbyva asi 3 min", "zbyva asi 2 h 10 min".
std::string time_left_text(double seconds);

}  // namespace som
