#include "run/run_sequence.hpp"

#include <cstdio>
#include <ctime>

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/random.hpp"
#include "formats/sample_data.hpp"
#include "formats/setup_file.hpp"
#include "run/training_log_lines.hpp"
#include "som/map/map_storage.hpp"
#include "som/map/schedule.hpp"
#include "som/training/train_map.hpp"
#include "state/run_lock.hpp"
#include "state/state_load.hpp"
#include "state/state_recovery.hpp"
#include "state/state_save.hpp"

namespace som {

namespace {

// Where a run ends early: the failure in words, then status 1. The buffers
// and the lock go as the run returns; the normal process exit flushes the
// console.
int fail(std::FILE* console, const failure& what) {
  print(console, message_of(what));
  return 1;
}

}  // namespace

int run_sequence(const training_engine& engine) {
  std::FILE* console = stdout;

  setup_reading setup_read;
  failure fault = read_input_file(setup_file_name, [&](byte_reader& reader) {
    setup_read = read_setup(reader);
    if (!reader.out_of_memory() && !reader.read_failed()) print(console, setup_read.echo);
    return failure();
  });
  if (fault) return fail(console, fault);
  if (fault = setup_refusal(setup_read); fault) return fail(console, fault);
  setup_params setup = setup_read.params;
  if (!training_can_end(setup.map_rows, setup.map_cols, setup.radius_decay, setup.stop_radius)) {
    print_line(console, endless_training_text);
    return 1;
  }
  // One run per folder, from here to the end of the process.
  run_lock folder_lock;
  if (fault = take_run_lock(folder_lock); fault) return fail(console, fault);

  if (setup.seed == 0) setup.seed = static_cast<std::uint32_t>(std::time(nullptr));
  random_generator gen;
  seed_random(gen, setup.seed);

  sample_lines lines;
  fault = read_input_file(data_file_name, [&](byte_reader& reader) {
    return count_sample_lines(reader, setup.dimension, lines);
  });
  if (fault) return fail(console, fault);
  // A file that the values pass would misread is refused before anything
  // is allocated or the saved map is looked at.
  if (lines.misshapen_line != 0) {
    print(console, misshapen_sample_message(lines.misshapen_line, setup.dimension));
    return 1;
  }
  const std::uint32_t samples_count = lines.count;

  const std::uint32_t lanes = grid_lanes(engine);
  const failure out_of_memory = failure::of(failure_kind::out_of_memory);
  if (!run_sizes_fit(samples_count, setup.dimension, setup.map_rows, setup.map_cols, lanes))
    return fail(console, out_of_memory);
  // Declared in the reverse of their release order.
  owned_grid grid;
  owned_samples samples(alloc_sample_matrix(setup.dimension, samples_count));
  if (allocation_failed(*samples)) return fail(console, out_of_memory);
  grid = alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension, lanes);
  if (allocation_failed(*grid)) return fail(console, out_of_memory);
  owned_assignments assignments(alloc_assignment_table(samples_count));
  if (allocation_failed(*assignments)) return fail(console, out_of_memory);

  // A save that an earlier run left unfinished is completed or undone
  // before the saved map is read.
  if (fault = recover_state(); fault) return fail(console, fault);
  map_origin origin = map_origin::random;
  fault = load_saved_map(*grid, *assignments, gen, origin);
  if (fault) return fail(console, fault);
  if (origin == map_origin::random) print_line(console, random_start_text);
  if (origin == map_origin::saved) {
    if (const auto saved_Krok = saved_Krok_if_other(setup.Krok))
      print(console, saved_Krok_warning(*saved_Krok, setup.Krok));
  }
  fault = read_input_file(
      data_file_name, [&](byte_reader& reader) { return load_sample_values(reader, *samples); });
  if (fault) return fail(console, fault);

  training_log_lines log;
  if (fault = log.open(); fault) return fail(console, fault);
  training_params params;
  params.radius_decay = setup.radius_decay;
  params.rate_decay = setup.rate_decay;
  params.stop_radius = setup.stop_radius;
  params.engine = engine;
  std::uint32_t Rozdil = 0;
  train_map(log.sink(), params, *samples, *grid, *assignments, setup.Krok, Rozdil);
  bool log_whole = false;
  if (fault = log.close(log_whole); fault) return fail(console, fault);
  if (!log_whole) print_line(console, log_incomplete_text);

  // The lock must still be the file at its name (someone may have removed
  // it meanwhile), or another run could save beside this one.
  if (fault = keep_run_lock(folder_lock); fault) return fail(console, fault);

  // Whatever happens to the save, the console so far is already out.
  std::fflush(console);
  // The three state files replace the old ones together or not at all.
  fault = save_state(*assignments, setup.Krok, setup.seed, Rozdil, *grid);
  assignments.reset();
  samples.reset();
  grid.reset();
  if (fault) return fail(console, fault);

  print_line(console, run_done_text);
  return 0;
}

int run_sequence() { return run_sequence(shipped_engine()); }

}  // namespace som
