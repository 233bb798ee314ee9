#include "som/training/train_map.hpp"

#include <optional>

#include "som/map/schedule.hpp"
#include "som/map/train_epoch_plain.hpp"
#include "som/training/fast_trainer.hpp"

namespace som {

training_engine shipped_engine() {
  training_engine engine;
  const kernels::kernel_entry& best = kernels::best_kernel();
  if (best.beats_plain) engine.kernel = &best;
  return engine;
}

training_engine plain_engine() { return training_engine{}; }

std::uint32_t grid_lanes(const training_engine& engine) {
  return engine.kernel != nullptr ? kernels::tile_lanes : 1;
}

void train_map(const epoch_sink& epochs, const training_params& params,
               const sample_matrix& samples, weight_grid& grid, assignment_table& assignments,
               std::uint32_t& Krok, std::uint32_t& Rozdil) {
  const double radius_decay = static_cast<double>(params.radius_decay);
  const double rate_decay = static_cast<double>(params.rate_decay);
  const double stop_radius = static_cast<double>(params.stop_radius);
  const double squared_size = squared_map_size(grid.map_rows, grid.map_cols);
  const training_engine& engine = params.engine;
  std::optional<fast_trainer> trainer;
  std::optional<fast_trainer::session> session;
  if (engine.kernel != nullptr && grid.lanes == kernels::tile_lanes) {
    const unsigned threads =
        engine.threads != 0 ? engine.threads
                            : pool::threads_that_pay(grid.map_rows, grid.map_cols, grid.dimension);
    trainer.emplace(*engine.kernel, threads, engine.pool, engine.search, params.counters);
    session.emplace(*trainer, grid);
  }
  epoch_schedule schedule;
  do {
    Rozdil = 0;
    ++Krok;
    schedule = schedule_at(Krok, radius_decay, rate_decay, squared_size);
    Rozdil = session ? session->train_epoch(samples, assignments.records, schedule.learning_rate,
                                            schedule.radius)
                     : train_epoch_plain(samples, grid, assignments.records, schedule.learning_rate,
                                         schedule.radius);
    epochs.record(epochs.context, Rozdil, schedule.radius);
  } while (schedule.radius > stop_radius);
}

}  // namespace som
