#include "mapping/new_samples.hpp"

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/platform.hpp"
#include "formats/labels_file.hpp"
#include "formats/sample_data.hpp"
#include "formats/sample_lines.hpp"
#include "formats/text_encoding.hpp"

namespace som {

namespace {

std::string out_of_memory_line() { return std::string(out_of_memory_text) + "\n"; }

// A file in data.txt's format, with data.txt's refusals under its own name:
// the counting pass checks every line up to the last sample, then the
// values are read.
std::string read_sample_file(const std::string& path, std::uint32_t dimension,
                             owned_samples& samples) {
  sample_lines lines;
  std::string message = message_of(read_input_file(path.c_str(), [&](byte_reader& reader) {
    failure refusal = begin_text(reader, path);
    if (!refusal) lines = scan_sample_lines(reader, dimension);
    return refusal;
  }));
  if (!message.empty()) return message;
  if (lines.misshapen_line != 0)
    return misshapen_sample_message(lines.misshapen_line, dimension, path, placing_not_done);
  // Nothing to place: an empty zarazeni.txt would only replace a good one.
  if (lines.count == 0)
    return "V souboru " + path + " neni zadny vzorek, " + placing_not_done + ".\n";
  if (!run_sizes_fit(lines.count, dimension, 1, 1, 1)) return out_of_memory_line();
  samples = alloc_sample_matrix(dimension, lines.count);
  if (allocation_failed(*samples)) return out_of_memory_line();
  return message_of(read_input_file(path.c_str(), [&](byte_reader& reader) {
    failure refusal = begin_text(reader, path);
    if (!refusal && !read_sample_values(reader, *samples))
      refusal = failure::of(failure_kind::missing_value, path);
    return refusal;
  }));
}

// A file of one label per line, as popisky.txt, for the samples of
// `samples_file`.
std::string read_label_file(const std::string& path, const std::string& samples_file,
                            std::uint32_t samples, std::vector<std::string>& labels) {
  std::string bytes;
  std::string message = file_read_message(read_whole_file(path, bytes), path);
  if (!message.empty()) return message;
  const labels_reading read = read_labels(bytes, samples, path, samples_file);
  if (!read.ok()) return message_of(read.problem);
  labels.reserve(samples);
  for (std::uint32_t label : read.labels.of_sample)
    labels.emplace_back(label == no_label ? std::string_view() : read.labels.names[label]);
  return {};
}

}  // namespace

std::string read_new_samples(const std::string& path, std::uint32_t dimension,
                             const std::optional<std::string>& labels, new_samples& out) {
  std::string message = read_sample_file(path, dimension, out.samples);
  if (!message.empty() || !labels) return message;
  out.true_labels.emplace();
  out.true_labels_source = "souboru " + *labels;
  return read_label_file(*labels, path, out.samples->count, *out.true_labels);
}

}  // namespace som
