#include "som/schedule.hpp"

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

}  // namespace som
