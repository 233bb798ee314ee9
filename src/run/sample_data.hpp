// data.txt: one sample per line, `dimension` decimal numbers each. Read twice:
// once to count the samples and check their shape (run/sample_lines.hpp),
// once for their values.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "run/sample_lines.hpp"
#include "som/map_storage.hpp"

namespace som {

// The counting pass over the file at `path`. Ends the process when it cannot
// be opened or closed.
sample_lines count_samples(const char* path, std::uint32_t dimension);

// The refusal of a data.txt whose line `line` is not a sample of `dimension`
// numbers, as a line.
std::string misshapen_sample_message(std::uint64_t line, std::uint32_t dimension);

// Reads N × dimension numbers as one stream of white-space-separated values
// into the matrix. Returns false at the first value that cannot be read.
bool read_sample_values(byte_reader& reader, sample_matrix& samples);

// The values pass over data.txt. Ends the process when it cannot be opened
// or closed, and when a value cannot be read: after the counting pass has
// accepted the file, that means it has changed since.
void load_samples(sample_matrix& samples);

}  // namespace som
