// vystup.txt (each sample's best-matching neuron) and konecne_parametry.txt
// (final Krok, seed and Rozdil).
#pragma once

#include <cstdint>

#include "som/map_storage.hpp"

namespace som {

inline constexpr const char* assignments_file_name = "vystup.txt";
inline constexpr const char* final_parameters_file_name = "konecne_parametry.txt";

// Reads the first N records of vystup.txt, two numbers each in any layout of
// white space. Ends the process when the file cannot be opened or a record
// is missing.
void load_assignments(assignment_table& assignments);

// Writes vystup.txt, then konecne_parametry.txt, each replacing its old file
// only once the new one is complete on disk.
void save_results(const assignment_table& assignments, std::uint32_t Krok, std::uint32_t seed,
                  std::uint32_t Rozdil);

}  // namespace som
