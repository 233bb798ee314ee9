#include "run/run_sequence.hpp"

#include <cstdio>
#include <ctime>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/random.hpp"
#include "common/text_format.hpp"
#include "run/sample_data.hpp"
#include "run/setup_file.hpp"
#include "som/map_storage.hpp"
#include "som/schedule.hpp"
#include "som/train_map.hpp"
#include "state/run_lock.hpp"
#include "state/state_save.hpp"
#include "state/weights_file.hpp"

namespace som {

int run_sequence(const training_engine& engine) {
  std::FILE* console = stdout;

  input_file setup_file;
  if (!setup_file.open(setup_file_name)) {
    print(console, open_failed_message(setup_file_name));
    return 1;
  }
  byte_reader setup_reader(setup_file.source());
  const setup_reading reading = read_setup(setup_reader, console);
  if (!setup_file.close()) {
    print(console, close_failed_message(setup_file_name));
    return 1;
  }
  if (const std::string refusal = setup_refusal(reading); !refusal.empty()) {
    print(console, refusal);
    return 1;
  }
  setup_params setup = reading.params;
  if (!training_can_end(setup.map_rows, setup.map_cols, setup.radius_decay, setup.stop_radius)) {
    print_line(console, "Polomer nikdy neklesne na stop_radius, trenovani by neskoncilo!");
    return 1;
  }
  // One run per folder, from here to the end of the process.
  native_lock folder_lock;
  if (!take_run_lock(folder_lock, console)) return 1;

  if (setup.seed == 0) setup.seed = static_cast<std::uint32_t>(std::time(nullptr));
  random_generator gen;
  seed_random(gen, setup.seed);

  const sample_lines lines = count_samples(data_file_name, setup.dimension);
  // A file that the values pass would misread is refused before anything
  // is allocated or the saved map is looked at.
  if (lines.misshapen_line != 0) {
    print(console, misshapen_sample_message(lines.misshapen_line, setup.dimension));
    return 1;
  }
  const std::uint32_t samples_count = lines.count;

  const std::uint32_t lanes = grid_lanes(engine);
  check_run_sizes(samples_count, setup.dimension, setup.map_rows, setup.map_cols, lanes);
  // Declared in the reverse of their release order; the run's own failures
  // after this point release them as they return (the stages that end the
  // process themselves leave that to the process exit).
  owned_grid grid;
  owned_samples samples(alloc_sample_matrix(setup.dimension, samples_count));
  grid.reset(alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension, lanes));
  owned_assignments assignments(alloc_assignment_table(samples_count));
  if (assignments->count != 0 && assignments->records == nullptr) {
    print_line(console, out_of_memory_text);
    return 1;
  }

  // A save that an earlier run left unfinished is completed or undone
  // before the saved map is read.
  if (!recover_state(console)) return 1;
  load_weights(*grid, *assignments, gen, console);
  load_samples(*samples);

  std::FILE* log = std::fopen(training_log_file_name, "wb");
  if (log == nullptr) {
    print(console, open_failed_message(training_log_file_name));
    return 1;
  }
  // The header is in the file before the first epoch trains.
  std::fputs("Rozdil\tRadius", log);
  std::fputs(host_line_end, log);
  std::fflush(log);
  training_params params;
  params.radius_decay = setup.radius_decay;
  params.rate_decay = setup.rate_decay;
  params.stop_radius = setup.stop_radius;
  params.engine = engine;
  std::uint32_t Rozdil = 0;
  train_map(log, params, *samples, *grid, *assignments, setup.Krok, Rozdil);
  if (std::fclose(log) != 0) {
    print(console, close_failed_message(training_log_file_name));
    return 1;
  }

  // Whatever happens to the save, the console so far is already out.
  std::fflush(console);
  // The three state files replace the old ones together or not at all.
  const bool saved = save_state(*assignments, setup.Krok, setup.seed, Rozdil, *grid, console);
  assignments.release();
  samples.release();
  grid.release();
  if (!saved) return 1;

  print_line(console, "Hello world!");
  return 0;
}

int run_sequence() { return run_sequence(shipped_engine()); }

}  // namespace som
