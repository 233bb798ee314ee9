#include "report/run_files.hpp"

#include <vector>

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "formats/sample_data.hpp"
#include "report/run_phase.hpp"
#include "state/map_reading.hpp"
#include "state/run_lock.hpp"

namespace som {

namespace {

bool parse_final_parameters(const std::string& bytes, final_parameters& values,
                            std::string& message) {
  byte_reader reader(bytes);
  if (read_final_parameters(reader, values)) return true;
  message = missing_value_text(final_parameters_file_name) + "\n";
  return false;
}

// The whole file as bytes; false after a message.
bool read_whole_file(const char* name, std::string& bytes, std::string& message) {
  message = file_read_message(som::read_whole_file(name, bytes), name);
  return message.empty();
}

// Why a run in progress shows no saved map.
std::string missing_map_note(const std::vector<std::string>& missing) {
  if (missing.size() == 3) return "Beh zacal z nahodnych vah; mapa bude ulozena az na jeho konci.";
  std::string note = "Ulozena mapa neni uplna (chybi ";
  for (std::size_t i = 0; i < missing.size(); ++i) note += (i == 0 ? "" : ", ") + missing[i];
  return note + ").";
}

std::string without_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The saved map's files as they are now, unless `map` already holds them as
// they are (the same times and sizes). Each file is read whole at once and
// closed, so that som_train, renaming its new files over these at the end of
// a run, finds them closed (on Windows a file open for reading cannot be
// replaced).
void read_map_files(const folder_stamp& stamp, saved_map_bytes& map) {
  if (map.read && map.stamp == stamp.map) return;
  map = saved_map_bytes{};
  map.read = true;
  map.stamp = stamp.map;
  map.ok = true;
  for (std::size_t i = 0; i < saved_map_file_names.size() && map.ok; ++i)
    map.ok = read_whole_file(saved_map_file_names[i], map.bytes[i], map.message);
}

// Allocates the grid and the assignments and fills them from the bytes of
// vahy.bin and vystup.txt. Sets `out_of_memory` when memory runs out.
bool parse_saved_map(run_state& run, saved_map_bytes& map, std::string& message,
                     bool& out_of_memory) {
  const setup_params& setup = run.setup;
  run.grid = alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension, 1);
  run.assignments = alloc_assignment_table(run.samples->count);
  if (allocation_failed(*run.grid) || allocation_failed(*run.assignments)) {
    message = std::string(out_of_memory_text) + "\n";
    out_of_memory = true;
    return false;
  }
  failure problem = parse_saved_weights(map.bytes[2], *run.grid);
  if (!problem) problem = parse_saved_assignments(map.bytes[0], *run.assignments, *run.grid);
  message = message_of(problem);
  return message.empty();
}

// Whether a save has begun since `stamp` was taken (the record is there, or
// a file of the saved map has changed): what was read of the map since may
// be a mix.
bool save_began_since(const folder_stamp& stamp) {
  const folder_stamp now = stamp_folder();
  return now.save_record || !(now.map == stamp.map);
}

// After a save that was cut off: the log alone (when it is there), which no
// run is writing.
load_result load_interrupted_save(run_state& run, const folder_times& times, std::string& message) {
  run.save_interrupted = true;
  run.has_map = false;
  if (!times.log_present) return load_result::loaded;
  std::string log_text;
  if (!read_whole_file(training_log_file_name, log_text, message)) return load_result::failed;
  parse_training_log(log_text, false, run.log);
  return load_result::loaded;
}

}  // namespace

load_result load_run(run_state& run, std::string& message, saved_map_bytes& map) {
  message.clear();
  auto fail = [] { return load_result::failed; };
  // The lock, held shared while the files are read, unless a run holds it:
  // then no run can start its save meanwhile. Without a lock file (a
  // folder of an older som_train) none is made, and the times decide.
  const reader_lock lock(false);
  // The times first: whatever is written after this look belongs to the
  // next look.
  const folder_stamp stamp = stamp_folder(lock.state());
  const folder_times times = times_of(stamp);
  message = message_of(read_setup_quietly(run.setup));
  if (!message.empty()) return fail();
  const setup_params& setup = run.setup;
  if (std::uint64_t{setup.map_rows} * setup.map_cols == 0) {
    message = message_of(failure::of(failure_kind::no_neurons));
    return fail();
  }
  if (save_interrupted(stamp)) return load_interrupted_save(run, times, message);
  if (!times.log_present) {
    if (times.missing_map_files.size() == 3) return load_result::not_started;
    message = open_failed_message(training_log_file_name);
    return fail();
  }
  std::string log_text;
  if (!read_whole_file(training_log_file_name, log_text, message)) return fail();
  parse_training_log(log_text, true, run.log);

  const bool map_files = times.missing_map_files.empty();
  // The run that holds the lock is saving its map: its files change places.
  bool saving = stamp.save_record;
  std::string final_message;
  bool final_read = false;
  if (map_files && !saving) {
    read_map_files(stamp, map);
    final_message = map.message;
    final_read = map.ok && parse_final_parameters(map.bytes[1], run.saved, final_message);
    saving = save_began_since(stamp);
  }
  run.finished =
      !saving && !run_in_progress(stamp.lock, times, run.log.Rozdil.size(), setup, run.saved.Krok);
  if (run.finished) {
    // No run writes the log any more.
    if (run.log.unfinished_line) parse_training_log(log_text, false, run.log);
    if (!final_read) {
      message = final_message;
      return fail();
    }
  }

  sample_lines lines;
  message = message_of(read_input_file(data_file_name, [&](byte_reader& reader) {
    return count_sample_lines(reader, setup.dimension, lines);
  }));
  if (!message.empty()) return fail();
  if (lines.misshapen_line != 0) {
    message = misshapen_sample_message(lines.misshapen_line, setup.dimension);
    return fail();
  }
  const std::uint32_t samples = lines.count;
  message = std::string(out_of_memory_text) + "\n";
  if (!run_sizes_fit(samples, setup.dimension, setup.map_rows, setup.map_cols, 1)) return fail();
  run.samples = alloc_sample_matrix(setup.dimension, samples);
  if (allocation_failed(*run.samples)) return fail();
  message.clear();

  run.has_map = map_files && final_read && !saving;
  if (saving) {
    run.map_note = "Beh prave uklada mapu; ukaze se, az bude ulozena cela.";
  } else if (!run.has_map) {
    run.map_note = map_files ? "Ulozenou mapu nelze nacist: " + without_line_end(final_message)
                             : missing_map_note(times.missing_map_files);
  } else if (bool out_of_memory = false; !parse_saved_map(run, map, message, out_of_memory)) {
    if (run.finished || out_of_memory) return fail();
    // While a run trains, a saved map that does not fit is shown as a note.
    run.has_map = false;
    run.map_note = "Ulozenou mapu nelze nacist: " + without_line_end(message);
    run.assignments.reset();
    run.grid.reset();
  }
  message = message_of(read_input_file(data_file_name, [&](byte_reader& reader) {
    return load_sample_values(reader, *run.samples);
  }));
  if (!message.empty()) return fail();
  return load_result::loaded;
}

void free_run(run_state& run) {
  run.assignments.reset();
  run.samples.reset();
  run.grid.reset();
}

}  // namespace som
