// The counting pass over data.txt: how many lines are samples, and the first
// line, up to the last sample, that does not have the shape of one.
//
// A line ends at LF (a CR LF line end reads as one LF; a lone CR is white
// space), and a last line without a line end is a line too. A line is a
// sample when it begins, after white space, with a number, however long it
// is. A line has the shape of a sample when it holds exactly `dimension`
// numbers separated by white space, each a whole word in the notation that
// the values pass reads (common/decimal.hpp): so "1e", "1.5.3", "0,5", "1;2"
// and "inf" are not numbers. A blank line (white space only) is fine
// anywhere. A line that is neither, after the last sample, is never a
// problem: the values pass does not get that far. Without any sample, the
// first line that is not blank is the misshapen one: only an empty file, or
// one of blank lines, holds no samples.
//
// With every line up to the last sample blank or of the right shape, the
// values pass, which reads N × dimension numbers as one stream, reads exactly
// the numbers of the counted lines in their order.
#pragma once

#include <cstdint>

#include "common/byte_reader.hpp"

namespace som {

struct sample_lines {
  std::uint32_t count = 0;  // the samples (N), modulo 2^32
  // The first line (1-based) up to and including the last sample that is
  // neither blank nor of the shape of a sample, or without samples the
  // first line that is not blank; 0 when there is none.
  std::uint64_t misshapen_line = 0;
};

// How the bytes are sorted into classes: with the widest vectors the
// processor has (AVX2), with those every processor of the build's kind has
// (SSE2 on x86-64), or one by one. All give the same answer; the portable
// one is the reference.
enum class byte_classifier { fastest, baseline, portable };

sample_lines scan_sample_lines(byte_reader& reader, std::uint32_t dimension,
                               byte_classifier classifier = byte_classifier::fastest);

}  // namespace som
