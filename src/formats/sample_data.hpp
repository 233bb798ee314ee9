// data.txt: one sample per line, `dimension` decimal numbers each. Read twice:
// once to count the samples and check their shape (formats/sample_lines.hpp),
// once for their values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "formats/sample_lines.hpp"
#include "som/map_storage.hpp"

namespace som {

// The refusal of a file of samples in data.txt's format (data.txt itself
// by default) whose line `line` is not a sample of `dimension` numbers, as a
// line; `outcome` says what is therefore not done.
std::string misshapen_sample_message(std::uint64_t line, std::uint32_t dimension,
                                     std::string_view file = data_file_name,
                                     std::string_view outcome = "trenovani se neprovede");

// Reads N × dimension numbers as one stream of white-space-separated values
// into the matrix. Returns false at the first value that cannot be read.
bool read_sample_values(byte_reader& reader, sample_matrix& samples);

}  // namespace som
