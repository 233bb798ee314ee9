// data.txt: one sample per line, `dimension` decimal numbers each. Read twice:
// once to count the samples, once for their values.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "som/map_storage.hpp"

namespace som {

// The longest piece of a line that the counting pass looks at once.
inline constexpr std::size_t line_piece_length = 16383;

// Counts the lines (pieces of at most 16383 characters of longer lines, a
// CR LF line end counting as one character) that begin, after white space,
// with a number.
std::uint32_t count_sample_lines(byte_reader& reader);

// The counting pass over the file at `path`. Ends the process when it cannot
// be opened or closed.
std::uint32_t count_samples(const char* path);

// Reads N × dimension numbers as one stream of white-space-separated values
// into the matrix. A value that cannot be read is reported on the console
// (when one is given), set to 0.0, and the reading goes on at the same place.
void read_sample_values(byte_reader& reader, sample_matrix& samples, std::FILE* console);

// The values pass over data.txt. Ends the process when it cannot be opened
// or closed.
void load_samples(sample_matrix& samples, std::FILE* console);

}  // namespace som
