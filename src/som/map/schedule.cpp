#include "som/map/schedule.hpp"

namespace som {

double squared_map_size(std::uint32_t map_rows, std::uint32_t map_cols) {
  return static_cast<double>(map_rows * map_rows + map_cols * map_cols);
}

namespace {
double decay_ratio(double t, double decay) { return t == 0.0 && decay == 0.0 ? 0.0 : t / decay; }
}  // namespace

epoch_schedule schedule_at(std::uint32_t t, double radius_decay, double rate_decay,
                           double squared_size) {
  const double time = static_cast<double>(t);
  epoch_schedule schedule;
  schedule.learning_rate = 1.0 / (decay_ratio(time, rate_decay) + 1.0);
  schedule.radius = (1.0 / (decay_ratio(time, radius_decay) + 1.0)) * squared_size;
  return schedule;
}

bool training_can_end(std::uint32_t map_rows, std::uint32_t map_cols, std::uint32_t radius_decay,
                      std::uint32_t stop_radius) {
  const epoch_schedule last = schedule_at(0xFFFFFFFFu, static_cast<double>(radius_decay), 1.0,
                                          squared_map_size(map_rows, map_cols));
  return !(last.radius > static_cast<double>(stop_radius));
}

std::uint64_t epochs_in_run(std::uint32_t map_rows, std::uint32_t map_cols,
                            std::uint32_t radius_decay, std::uint32_t stop_radius,
                            std::uint32_t Krok) {
  if (!training_can_end(map_rows, map_cols, radius_decay, stop_radius)) return 0;
  const double stop = static_cast<double>(stop_radius);
  const double squared_size = squared_map_size(map_rows, map_cols);
  auto ends = [&](std::uint32_t t) {
    return !(schedule_at(t, static_cast<double>(radius_decay), 1.0, squared_size).radius > stop);
  };
  // Within one pass of t from 0 to 4294967295, R never rises (each step of
  // its formula is monotone), and the last t ends the run (it can end), so
  // the first t that ends it is found by halving. A run that starts at the
  // last Krok begins its pass at t = 0.
  const std::uint64_t first = Krok == 0xFFFFFFFFu ? 0 : std::uint64_t{Krok} + 1;
  std::uint64_t low = first, high = 0xFFFFFFFFu;  // ends(high) holds
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    if (ends(static_cast<std::uint32_t>(middle))) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return high - first + 1;
}

}  // namespace som
