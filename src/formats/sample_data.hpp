// data.txt: one sample per line, `dimension` decimal numbers each. Read twice:
// once to count the samples and check their shape (formats/sample_lines.hpp),
// once for their values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_reader.hpp"
#include "common/failure.hpp"
#include "formats/sample_lines.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// Reads N × dimension numbers as one stream of white-space-separated values
// into the matrix. Returns false at the first value that cannot be read.
bool read_sample_values(byte_reader& reader, sample_matrix& samples);

// Appends one sample as a line of data.txt: each value the shortest decimal
// that reads back to the same double, separated by single spaces, then the
// host's line end. The values must be finite.
void append_sample_line(std::string& out, const double* values, std::uint32_t dimension);
// The two passes as the programs make them over the file, each from its
// start: a file in UTF-16 is refused (formats/text_encoding.hpp) and a UTF-8
// byte order mark skipped, so that line numbers stay those of the text.
// Each returns the refusal, or none: the counting pass fills `lines` (a
// line that is no sample is `lines.misshapen_line`, for the caller to
// refuse: common/messages.hpp words it); the values pass gives a
// missing_value of data.txt at a value that cannot be read.
failure count_sample_lines(byte_reader& reader, std::uint32_t dimension, sample_lines& lines);
failure load_sample_values(byte_reader& reader, sample_matrix& samples);

}  // namespace som
