// data.txt: one sample per line, `dimension` decimal numbers each. Read twice:
// once to count the samples, once for their values.
#pragma once

#include <cstdint>
#include <cstdio>

#include "som/map_storage.hpp"

namespace som {

inline constexpr const char* data_file_name = "data.txt";

// The longest piece of a line that the counting pass looks at once.
inline constexpr std::size_t line_piece_length = 16383;

// Counts the lines (pieces of at most 16383 characters of longer lines, a
// CR LF line end counting as one character) that begin, after white space,
// with a number. Ends the process when the file cannot be opened or closed.
std::uint32_t count_samples(const char* path);

// Reads N × dimension numbers as one stream of white-space-separated values
// into the matrix. A value that cannot be read is reported on the console,
// set to 0.0, and the reading goes on at the same place.
void load_samples(sample_matrix& samples, std::FILE* console);

}  // namespace som
