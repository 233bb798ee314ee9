// vystup.txt (each sample's best-matching neuron) and konecne_parametry.txt
// (final Krok, seed and Rozdil).
#pragma once

#include <cstdint>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "common/output_file.hpp"
#include "som/map_storage.hpp"

namespace som {

// Reads the first N records, two numbers each in any layout of white space.
// Returns false when a record is missing.
bool read_assignments(byte_reader& reader, assignment_table& assignments);

// Reads the first N records of vystup.txt, two numbers each in any layout of
// white space. Ends the process when the file cannot be opened or a record
// is missing.
void load_assignments(assignment_table& assignments);

// Writes vystup.txt, then konecne_parametry.txt, each complete on disk in its
// temporary file, and adds them to `pending`, which the caller puts in place
// (publish_outputs) once every state file of the run is written. A failure
// removes every pending file and ends the process; the old files stay.
void save_results(const assignment_table& assignments, std::uint32_t Krok, std::uint32_t seed,
                  std::uint32_t Rozdil, pending_outputs& pending);

}  // namespace som
