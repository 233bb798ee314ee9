// The saved map of a test folder: the bytes of its three state files,
// whatever a save leaves beside them while it runs (which must be gone once a
// save or a recovery is over), vahy.bin's bytes from values and back, and
// continuing a saved map as the README tells a user to.
#pragma once

#include <bit>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/program_runner.hpp"
#include "support/setup_text.hpp"

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

// The bytes of a vahy.bin holding `values`: little-endian binary64.
inline std::string doubles_le(const std::vector<double>& values) {
  std::string out;
  for (double v : values) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    for (int b = 0; b < 8; ++b, bits >>= 8) out += static_cast<char>(bits & 0xFFu);
  }
  return out;
}

// The values of a vahy.bin (a last piece shorter than 8 bytes left out).
inline std::vector<double> read_doubles_le(const std::string& bytes) {
  std::vector<double> out;
  for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | static_cast<unsigned char>(bytes[i + b]);
    out.push_back(std::bit_cast<double>(bits));
  }
  return out;
}

// Line 1 of the folder's konecne_parametry.txt: the Krok its map was saved at.
inline std::uint32_t saved_Krok(const temp_folder& folder) {
  return static_cast<std::uint32_t>(std::stoul(folder.read("konecne_parametry.txt")));
}

// Continues the folder's saved map as the README says: entry 7 of setup.txt
// from line 1 of konecne_parametry.txt, the other entries from `setup`;
// vahy.bin and vystup.txt stay where they are. `shell_prefix` as for
// run_program.
inline run_result continue_saved_map(const temp_folder& folder, setup_values setup,
                                     std::string_view shell_prefix = "") {
  setup.Krok = saved_Krok(folder);
  folder.write("setup.txt", setup_text(setup));
  return run_program(folder, shell_prefix);
}

}  // namespace som_test
