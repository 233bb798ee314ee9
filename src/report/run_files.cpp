#include "report/run_files.hpp"

#include <bit>
#include <vector>

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"
#include "report/run_phase.hpp"
#include "run/sample_data.hpp"
#include "state/results_file.hpp"
#include "state/weights_file.hpp"

namespace som {

namespace {

std::string missing_value_message(const char* file_name) {
  return std::string("Chybi hodnota v souboru ") + file_name + "!\n";
}

// Skips white space; true when nothing but white space is left.
bool at_end(byte_reader& reader) {
  int c;
  while ((c = reader.peek()) != -1 && is_space(c)) reader.advance(1);
  return c == -1;
}

// Opens, reads with `body` and closes a text file; false after a message.
template <typename Body>
bool read_text_file(const char* name, std::string& message, Body body) {
  input_file file;
  if (!file.open(name)) {
    message = open_failed_message(name);
    return false;
  }
  byte_reader reader(file.source());
  const bool ok = body(reader);
  if (!file.close() && ok) {
    message = close_failed_message(name);
    return false;
  }
  return ok;
}

bool read_setup_quietly(setup_params& setup, std::string& message) {
  return read_text_file(setup_file_name, message, [&](byte_reader& reader) {
    const setup_reading reading = read_setup(reader, nullptr);
    setup = reading.params;
    message = setup_refusal(reading);
    return message.empty();
  });
}

// vahy.bin: little-endian binary64 values, exactly as many as the sizes need.
bool parse_weights(const std::string& bytes, weight_grid& grid, std::string& message) {
  const std::size_t values = grid.neurons * grid.dimension;
  if (bytes.size() / 8 < values) {
    message = "Soubor vahy.bin je kratsi, nez vyzaduji rozmery mapy v souboru setup.txt.\n";
    return false;
  }
  if (bytes.size() > values * 8) {
    message = std::string(weights_too_long_text) + "\n";
    return false;
  }
  for (std::size_t v = 0; v < values; ++v) {
    std::uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | static_cast<unsigned char>(bytes[v * 8 + b]);
    grid.block[v] = std::bit_cast<double>(bits);
  }
  return true;
}

bool parse_assignments(std::string& bytes, assignment_table& table, const weight_grid& grid,
                       std::string& message) {
  byte_reader reader(bytes);
  for (std::uint32_t s = 0; s < table.count; ++s) {
    assignment& record = table.records[s];
    if (at_end(reader)) {
      message = "Soubor vystup.txt ma mene zaznamu, nez je vzorku v souboru data.txt.\n";
      return false;
    }
    if (!read_u32(reader, record.row) || !read_u32(reader, record.col)) {
      message = "Soubor vystup.txt ma chybny zaznam ";
      append_u32(message, s + 1);
      message += ".\n";
      return false;
    }
    if (record.row >= grid.map_rows || record.col >= grid.map_cols) {
      message = "Zaznam ";
      append_u32(message, s + 1);
      message += " souboru vystup.txt lezi mimo mapu (radek ";
      append_u32(message, record.row);
      message += ", sloupec ";
      append_u32(message, record.col);
      message += ").\n";
      return false;
    }
  }
  if (!at_end(reader)) {
    message = "Soubor vystup.txt ma vice zaznamu, nez je vzorku v souboru data.txt.\n";
    return false;
  }
  return true;
}

bool parse_final_parameters(std::string& bytes, final_parameters& final, std::string& message) {
  byte_reader reader(bytes);
  std::uint32_t* fields[] = {&final.Krok, &final.seed, &final.Rozdil};
  for (std::uint32_t* field : fields) {
    if (!read_u32(reader, *field)) {
      message = missing_value_message(final_parameters_file_name);
      return false;
    }
    // The label after the number.
    int c;
    while ((c = reader.peek()) != -1 && c != '\n') reader.advance(1);
  }
  return true;
}

// The whole file as bytes; false after a message.
bool read_whole_file(const char* name, std::string& bytes, std::string& message) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) {
    message = open_failed_message(name);
    return false;
  }
  bytes.clear();
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) != 0) bytes.append(buffer, got);
  bool ok = true;
  if (std::ferror(file)) {
    message = "Nepodarila se nacist data!\n";
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    message = close_failed_message(name);
    ok = false;
  }
  return ok;
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
// vahy.bin and vystup.txt.
bool parse_saved_map(run_state& run, saved_map_bytes& map, std::string& message) {
  const setup_params& setup = run.setup;
  run.grid = alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension, 1);
  run.assignments = alloc_assignment_table(run.samples.count);
  if (run.assignments.count != 0 && run.assignments.records == nullptr) fatal_out_of_memory();
  return parse_weights(map.bytes[2], run.grid, message) &&
         parse_assignments(map.bytes[0], run.assignments, run.grid, message);
}

// Whether a save has begun since `stamp` was taken (the record is there, or
// a file of the saved map has changed): what was read of the map since may
// be a mix.
bool save_began_since(const folder_stamp& stamp) {
  const folder_stamp now = stamp_folder();
  return now.save_record || !(now.map == stamp.map);
}

// After a save that was cut off: the log alone (when it is there), read
// whole, since no run is writing it.
load_result load_interrupted_save(run_state& run, const folder_times& times, std::FILE* console) {
  run.save_interrupted = true;
  run.has_map = false;
  if (!times.log_present) return load_result::loaded;
  std::string log_text;
  std::string message;
  if (!read_whole_file(training_log_file_name, log_text, message) ||
      !parse_training_log(log_text, false, run.log, message)) {
    print(console, message);
    return load_result::failed;
  }
  return load_result::loaded;
}

}  // namespace

load_result load_run(run_state& run, std::FILE* console, saved_map_bytes& map) {
  std::string message;
  auto fail = [&] {
    print(console, message);
    return load_result::failed;
  };
  // The times first: whatever is written after this look belongs to the
  // next look.
  const folder_stamp stamp = stamp_folder();
  const folder_times times = times_of(stamp);
  if (!read_setup_quietly(run.setup, message)) return fail();
  const setup_params& setup = run.setup;
  if (std::uint64_t{setup.map_rows} * setup.map_cols == 0) {
    message = "Mapa v souboru setup.txt nema zadny neuron.\n";
    return fail();
  }
  if (save_interrupted(stamp)) return load_interrupted_save(run, times, console);
  if (!times.log_present) {
    if (times.missing_map_files.size() == 3) return load_result::not_started;
    message = open_failed_message(training_log_file_name);
    return fail();
  }
  std::string log_text;
  if (!read_whole_file(training_log_file_name, log_text, message)) return fail();
  if (!parse_training_log(log_text, true, run.log, message)) return fail();

  const bool map_files = times.missing_map_files.empty();
  // The run that holds the lock is saving its map: its files change places.
  bool saving = stamp.save_record;
  std::string final_message;
  bool final_read = false;
  if (map_files && !saving) {
    read_map_files(stamp, map);
    final_message = map.message;
    final_read = map.ok && parse_final_parameters(map.bytes[1], run.final, final_message);
    saving = save_began_since(stamp);
  }
  run.finished =
      !saving && !run_in_progress(stamp.lock, times, run.log.Rozdil.size(), setup, run.final.Krok);
  if (run.finished) {
    // A finished log is complete: its last line counts even without a line end.
    if (run.log.unfinished_line && !parse_training_log(log_text, false, run.log, message))
      return fail();
    if (!final_read) {
      message = final_message;
      return fail();
    }
  }

  // count_samples ends the process itself when it cannot open the file;
  // ask first so that the report's own message and cleanup apply.
  {
    input_file probe;
    if (!probe.open(data_file_name)) {
      message = open_failed_message(data_file_name);
      return fail();
    }
  }
  const sample_lines lines = count_samples(data_file_name, setup.dimension);
  if (lines.misshapen_line != 0) {
    message = misshapen_sample_message(lines.misshapen_line, setup.dimension);
    return fail();
  }
  const std::uint32_t samples = lines.count;
  check_run_sizes(samples, setup.dimension, setup.map_rows, setup.map_cols, 1);
  run.samples = alloc_sample_matrix(setup.dimension, samples);

  run.has_map = map_files && final_read && !saving;
  if (saving) {
    run.map_note = "Beh prave uklada mapu; ukaze se, az bude ulozena cela.";
  } else if (!run.has_map) {
    run.map_note = map_files ? "Ulozenou mapu nelze nacist: " + without_line_end(final_message)
                             : missing_map_note(times.missing_map_files);
  } else if (!parse_saved_map(run, map, message)) {
    if (run.finished) return fail();
    // While a run trains, a saved map that does not fit is shown as a note.
    run.has_map = false;
    run.map_note = "Ulozenou mapu nelze nacist: " + without_line_end(message);
    free_assignment_table(run.assignments);
    free_weight_grid(run.grid);
  }
  load_samples(run.samples);
  return load_result::loaded;
}

void free_run(run_state& run) {
  free_assignment_table(run.assignments);
  free_sample_matrix(run.samples);
  free_weight_grid(run.grid);
}

}  // namespace som
