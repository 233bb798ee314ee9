// The saved map of a test folder: the bytes of its three state files, and
// whatever a save leaves beside them while it runs (which must be gone once
// a save or a recovery is over); and a short schedule of runs to save maps
// with.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

namespace som_test {

inline constexpr const char* state_file_names[] = {"vystup.txt", "konecne_parametry.txt",
                                                   "vahy.bin"};

// Each state file's bytes by name; a missing file is missing here too.
using saved_state = std::map<std::string, std::string>;

inline saved_state read_saved_state(const std::filesystem::path& folder) {
  saved_state files;
  for (const char* name : state_file_names) {
    if (std::filesystem::exists(folder / name)) files[name] = read_file(folder / name);
  }
  return files;
}

// The save's own files found in these folders.
inline std::vector<std::string> save_leftovers(const std::vector<std::filesystem::path>& folders) {
  std::vector<std::string> found;
  for (const std::filesystem::path& folder : folders) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name == "ukladani.txt" || name.ends_with(".tmp") || name.ends_with(".predchozi")) {
        found.push_back(name);
      }
    }
  }
  return found;
}

// A 4 x 4 map of dimension 3: S = 32 and R = 32 / (t + 1), so every run
// trains exactly one epoch (stop_radius 16) and advances Krok by one.
inline std::string setup_text(unsigned Krok) {
  return host_lines(
      "4\tmap_rows\n4\tmap_cols\n3\tdimension\n1\tradius_decay\n1\trate_decay\n"
      "16\tstop_radius\n" +
      std::to_string(Krok) + "\tKrok\n5\tseed\n");
}

inline std::string echo_text(unsigned Krok) {
  return host_lines(
      "Precteno 4\tmap_rows\nPrecteno 4\tmap_cols\nPrecteno 3\tdimension\n"
      "Precteno 1\tradius_decay\nPrecteno 1\trate_decay\n"
      "Precteno 16\tstop_radius\nPrecteno " +
      std::to_string(Krok) + "\tKrok\nPrecteno 5\tseed\n");
}

inline const std::string data_text =
    host_lines("0.1 0.9 0.3\n0.8 0.2 0.4\n0.5 0.5 0.5\n0.9 0.9 0.1\n0.2 0.1 0.7\n0.6 0.3 0.9\n");

inline constexpr unsigned final_Krok = 3;

// The saved map after runs with Krok 0, 1, ..., runs - 1 (runs at most
// final_Krok), each continuing the last.
inline const saved_state& uninterrupted(unsigned runs) {
  static std::vector<saved_state> maps;
  if (maps.empty()) {
    temp_folder folder;
    folder.write("data.txt", data_text);
    for (unsigned Krok = 0; Krok < final_Krok; ++Krok) {
      folder.write("setup.txt", setup_text(Krok));
      run_program(folder);
      maps.push_back(read_saved_state(folder.path()));
    }
  }
  return maps.at(runs - 1);
}

}  // namespace som_test
