// popisky.txt: what the user knows about each sample (a digit, a diagnosis),
// one label per line in the order of the samples of data.txt. Any text
// without a line break is a label; a line that is empty (or only blanks) is a
// sample without one. The report reads it only when it is there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace som {

inline constexpr const char* labels_file_name = "popisky.txt";

inline constexpr std::uint32_t no_label = 0xFFFFFFFFu;

struct sample_labels {
  bool present = false;
  // The distinct labels, the most frequent first (equal counts in the order
  // they first appear), with how many samples carry each.
  std::vector<std::string> names;
  std::vector<std::uint32_t> counts;
  // Per sample, its label's place in `names`, or no_label.
  std::vector<std::uint32_t> of_sample;
};

// The lines of the file's bytes (LF or CR LF; a last line without its line
// end counts) against the number of samples of data.txt. On a different count
// false, with the message naming both counts.
bool parse_labels(const std::string& bytes, std::uint32_t samples, sample_labels& labels,
                  std::string& message);

// Reads popisky.txt from the working folder where it is there; `labels.present`
// says whether it was. False after a message (it cannot be read, or its lines
// do not match the samples).
bool read_labels_file(std::uint32_t samples, sample_labels& labels, std::string& message);

// The message of a file whose line count is not that of the samples.
std::string label_count_message(std::uint64_t lines, std::uint32_t samples);

}  // namespace som
