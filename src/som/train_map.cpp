#include "som/train_map.hpp"

#include <string>

#include "common/log_writer.hpp"
#include "common/text_format.hpp"
#include "som/train_epoch.hpp"

#ifndef SOM_PLAIN_KERNELS
#include "som/fast_epoch.hpp"
#endif

namespace som {

#ifdef SOM_PLAIN_KERNELS
std::uint32_t default_grid_lanes() { return 1; }
#else
// Without vector instructions the tiled kernel is slower than the plain
// loops, so such machines keep the plain layout and loops.
std::uint32_t default_grid_lanes() {
  return best_kernel_path() == kernel_path::portable ? 1 : fast_grid_lanes;
}
#endif

namespace {

void train(std::FILE* log, const sample_matrix& samples, weight_grid& grid, std::uint32_t& Krok,
           std::uint32_t radius_decay, std::uint32_t rate_decay, std::uint32_t stop_radius,
           std::uint32_t& Rozdil, assignment_table& assignments) {
  const double radius_decay_d = static_cast<double>(radius_decay);
  const double rate_decay_d = static_cast<double>(rate_decay);
  const double stop_radius_d = static_cast<double>(stop_radius);
  const double squared_size = squared_map_size(grid.map_rows, grid.map_cols);
  std::string line;
  epoch_schedule schedule;
  // Each epoch's line reaches the file, flushed, while training goes on.
  log_writer writer(log);
#ifndef SOM_PLAIN_KERNELS
  // A grid in the plain layout (lanes = 1) still trains with the plain loops.
  const bool fast = grid.lanes == fast_grid_lanes;
  fast_trainer trainer(best_kernel_path(),
                       fast ? fast_thread_count(grid.map_rows, grid.map_cols, grid.dimension) : 1);
#else
  const bool fast = false;
#endif
  do {
    Rozdil = 0;
    ++Krok;
    schedule = schedule_at(Krok, radius_decay_d, rate_decay_d, squared_size);
#ifndef SOM_PLAIN_KERNELS
    if (fast) {
      Rozdil = trainer.train_epoch(samples, grid, assignments.records, schedule.learning_rate,
                                   schedule.radius);
    }
#endif
    if (!fast) {
      Rozdil = train_epoch_plain(samples, grid, assignments.records, schedule.learning_rate,
                                 schedule.radius);
    }
    line.clear();
    append_u32(line, Rozdil);
    line += '\t';
    append_fixed6(line, schedule.radius);
    line += host_line_end;
    writer.write(line);
  } while (schedule.radius > stop_radius_d);
}

}  // namespace

void train_map(std::FILE* log, const sample_matrix& samples, weight_grid& grid,
               std::uint32_t& Krok, std::uint32_t radius_decay, std::uint32_t rate_decay,
               std::uint32_t stop_radius, std::uint32_t& Rozdil, assignment_table& assignments) {
  train(log, samples, grid, Krok, radius_decay, rate_decay, stop_radius, Rozdil, assignments);
}

}  // namespace som
