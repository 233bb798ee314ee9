#include "report/time_left.hpp"

#include <algorithm>
#include <cmath>

namespace som {

namespace {

// Looks kept besides those of the window, so that a slow run (an epoch a
// minute) still has a pace.
constexpr std::size_t least_looks = 3;

}  // namespace

void note_progress(pace_history& history, double seconds, std::uint64_t done) {
  if (!history.looks.empty() && done < history.looks.back().done) history.looks.clear();
  if (!history.looks.empty() && done == history.looks.back().done) return;  // no news
  history.looks.push_back({seconds, done});
  // Drops looks older than the window while enough stay.
  std::size_t drop = 0;
  while (history.looks.size() - drop > least_looks &&
         seconds - history.looks[drop].seconds > pace_window_seconds)
    ++drop;
  history.looks.erase(history.looks.begin(), history.looks.begin() + static_cast<long>(drop));
}

double seconds_left(const pace_history& history, std::uint64_t total) {
  if (history.looks.size() < 2) return -1.0;
  const pace_history::look& first = history.looks.front();
  const pace_history::look& last = history.looks.back();
  if (last.done <= first.done || !(last.seconds > first.seconds)) return -1.0;
  if (last.done >= total) return 0.0;
  const double per_epoch =
      (last.seconds - first.seconds) / static_cast<double>(last.done - first.done);
  return per_epoch * static_cast<double>(total - last.done);
}

std::string time_left_text(double seconds) {
  if (seconds < 59.5) {
    return "zbyva asi " + std::to_string(std::max(1L, std::lround(seconds))) + " s";
  }
  const long minutes = std::lround(seconds / 60.0);
  if (minutes < 60) return "zbyva asi " + std::to_string(minutes) + " min";
  return "zbyva asi " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) +
         " min";
}

}  // namespace som
