// vystup.txt (each sample's best-matching neuron) and konecne_parametry.txt
// (final Krok, seed and Rozdil).
#pragma once

#include <cstdint>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "common/file_names.hpp"
#include "som/map_storage.hpp"

namespace som {

// Reads the first N records, two numbers each in any layout of white space.
// Returns false when a record is missing.
bool read_assignments(byte_reader& reader, assignment_table& assignments);

// Reads the first N records of vystup.txt, two numbers each in any layout of
// white space. Ends the process when the file cannot be opened or a record
// is missing.
void load_assignments(assignment_table& assignments);

// The bytes of vystup.txt: "row<TAB>col" and the host's line end per
// record, in sample order. False as soon as the sink fails.
bool write_assignments(const assignment_table& assignments, byte_sink& sink);

// The bytes of konecne_parametry.txt: final Krok, the seed and the last
// Rozdil, each with its label, in the entry shape of setup.txt.
bool write_final_parameters(std::uint32_t Krok, std::uint32_t seed, std::uint32_t Rozdil,
                            byte_sink& sink);

}  // namespace som
