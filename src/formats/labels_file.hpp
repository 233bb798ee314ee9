// popisky.txt: what the user knows about each sample (a digit, a diagnosis),
// one label per line in the order of the samples of data.txt. Any text
// without a line break is a label; a line that is empty (or only blanks) is a
// sample without one. som_report reads it only when it is there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.hpp"
#include "common/file_names.hpp"
#include "som/map/label_map.hpp"

namespace som {

// Names held one after another in one buffer (a label file of millions of
// lines would otherwise cost a string each).
class label_names {
 public:
  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }
  void reserve(std::size_t names, std::size_t bytes) {
    ends_.reserve(names);
    text_.reserve(bytes);
  }
  void push_back(std::string_view name) {
    text_.append(name);
    ends_.push_back(text_.size());
  }

 private:
  std::string text_;
  std::vector<std::size_t> ends_;
};

struct sample_labels {
  bool present = false;  // the file was there (and read)
  // The distinct labels, the most frequent first (equal counts in the order
  // they first appear), with how many samples carry each.
  label_names names;
  std::vector<std::uint32_t> counts;
  // Per sample, its label's place in `names`, or no_label.
  std::vector<std::uint32_t> of_sample;
};

struct labels_reading {
  sample_labels labels;     // when the lines fit the samples
  std::uint64_t lines = 0;  // the lines of the file
  // None when the lines fit the samples; otherwise the refusal: of a file
  // in UTF-16 (no line read), or naming both counts (label_count).
  failure problem;
  bool ok() const { return !problem; }
};

// The lines of the file's bytes (LF or CR LF; a last line without its line
// end counts), each label stripped of the blanks around it, against the
// number of samples. The refusals name the two files: popisky.txt and
// data.txt unless others are given (som_map's true labels of new samples).
// A UTF-8 byte order mark is skipped and a file in UTF-16 refused
// (formats/text_encoding.hpp).
labels_reading read_labels(std::string_view bytes, std::uint32_t samples,
                           std::string_view labels_file = labels_file_name,
                           std::string_view samples_file = data_file_name);

// The labels on the map (som/map/label_map.hpp).
inline label_map map_labels(std::uint32_t map_rows, std::uint32_t map_cols,
                            const assignment_table& assignments, const sample_labels& labels) {
  return map_labels(map_rows, map_cols, assignments, labels.of_sample, labels.names.size());
}

// Appends one label as a line: without the blanks around it, a line break
// inside it made a space (a label is one line), then the host's line end.
void append_label_line(std::string& out, std::string_view label);

}  // namespace som
