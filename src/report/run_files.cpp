#include "report/run_files.hpp"

#include <bit>
#include <cmath>
#include <limits>

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"
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

void skip_line(byte_reader& reader) {
  int c;
  while ((c = reader.peek()) != -1) {
    reader.advance(1);
    if (c == '\n') return;
  }
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
    setup = read_setup(reader, nullptr);
    return true;
  });
}

bool read_weights(weight_grid& grid, std::string& message) {
  std::FILE* file = std::fopen(weights_file_name, "rb");
  if (file == nullptr) {
    message = open_failed_message(weights_file_name);
    return false;
  }
  constexpr std::size_t chunk = 4096;
  unsigned char buffer[chunk * 8];
  const std::size_t values = grid.neurons * grid.dimension;
  bool ok = true;
  for (std::size_t done = 0; done < values && ok;) {
    const std::size_t want = values - done < chunk ? values - done : chunk;
    const std::size_t got = std::fread(buffer, 8, want, file);
    for (std::size_t v = 0; v < got; ++v) {
      std::uint64_t bits = 0;
      for (int b = 7; b >= 0; --b) bits = (bits << 8) | buffer[v * 8 + b];
      grid.block[done + v] = std::bit_cast<double>(bits);
    }
    done += got;
    if (got != want) {
      ok = false;
      message = std::ferror(file) ? std::string("Nepodarila se nacist data!\n")
                                  : std::string(
                                        "Soubor vahy.bin je kratsi, nez vyzaduji rozmery "
                                        "mapy v souboru setup.txt.\n");
    }
  }
  if (ok && std::fgetc(file) != EOF) {
    ok = false;
    message = "Soubor vahy.bin je delsi, nez odpovida rozmerum mapy v souboru setup.txt.\n";
  }
  if (std::fclose(file) != 0 && ok) {
    message = close_failed_message(weights_file_name);
    ok = false;
  }
  return ok;
}

bool read_assignments(assignment_table& table, const weight_grid& grid, std::string& message) {
  return read_text_file(assignments_file_name, message, [&](byte_reader& reader) {
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
  });
}

bool read_final_parameters(final_parameters& final, std::string& message) {
  return read_text_file(final_parameters_name, message, [&](byte_reader& reader) {
    std::uint32_t* fields[] = {&final.Krok, &final.seed, &final.Rozdil};
    for (std::uint32_t* field : fields) {
      if (!read_u32(reader, *field)) {
        message = missing_value_message(final_parameters_name);
        return false;
      }
      // The label after the number.
      int c;
      while ((c = reader.peek()) != -1 && c != '\n') reader.advance(1);
    }
    return true;
  });
}

}  // namespace

bool read_training_log(byte_reader& reader, training_log& log, std::string& message) {
  skip_line(reader);
  std::uint32_t line = 1;
  while (!at_end(reader)) {
    ++line;
    std::uint32_t Rozdil = 0;
    double Radius = 0.0;
    if (!read_u32(reader, Rozdil)) {
      message = "Soubor trenovani.txt ma chybny radek ";
      append_u32(message, line);
      message += ".\n";
      return false;
    }
    if (!read_decimal(reader, Radius)) {
      // "%f" writes "nan", "-nan" or "inf" for values that are not finite.
      int c;
      while ((c = reader.peek()) == ' ' || c == '\t') reader.advance(1);
      bool any = false;
      while ((c = reader.peek()) != -1 && !is_space(c)) {
        reader.advance(1);
        any = true;
      }
      if (!any) {
        message = "Soubor trenovani.txt ma chybny radek ";
        append_u32(message, line);
        message += ".\n";
        return false;
      }
      Radius = std::numeric_limits<double>::quiet_NaN();
    }
    log.Rozdil.push_back(Rozdil);
    log.Radius.push_back(Radius);
  }
  return true;
}

bool load_run(run_state& run, std::FILE* console) {
  std::string message;
  auto fail = [&] {
    print(console, message);
    return false;
  };
  if (!read_setup_quietly(run.setup, message)) return fail();
  const setup_params& setup = run.setup;
  if (std::uint64_t{setup.map_rows} * setup.map_cols == 0) {
    message = "Mapa v souboru setup.txt nema zadny neuron.\n";
    return fail();
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
  const std::uint32_t samples = count_samples(data_file_name);
  check_run_sizes(samples, setup.dimension, setup.map_rows, setup.map_cols, 1);
  run.samples = alloc_sample_matrix(setup.dimension, samples);
  run.grid = alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension, 1);
  run.assignments = alloc_assignment_table(samples);
  if (run.assignments.count != 0 && run.assignments.records == nullptr) fatal_out_of_memory();

  if (!read_weights(run.grid, message)) return fail();
  if (!read_assignments(run.assignments, run.grid, message)) return fail();
  load_samples(run.samples, console);
  if (!read_text_file(training_log_name, message, [&](byte_reader& reader) {
        return read_training_log(reader, run.log, message);
      })) {
    return fail();
  }
  if (!read_final_parameters(run.final, message)) return fail();
  return true;
}

void free_run(run_state& run) {
  free_assignment_table(run.assignments);
  free_sample_matrix(run.samples);
  free_weight_grid(run.grid);
}

}  // namespace som
