#include "formats/labels_file.hpp"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "common/file_names.hpp"
#include "common/text_format.hpp"
#include "formats/text_encoding.hpp"

namespace som {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A line without the blanks around it (a CR before the LF among them).
std::string_view trimmed(std::string_view bytes, std::size_t from, std::size_t to) {
  while (from < to && blank(bytes[from])) ++from;
  while (to > from && blank(bytes[to - 1])) --to;
  return bytes.substr(from, to - from);
}

// The lines of the bytes: every LF ends one, and a last line without it
// counts too.
std::uint64_t count_lines(std::string_view bytes) {
  const auto ends = static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  return ends + (!bytes.empty() && bytes.back() != '\n' ? 1u : 0u);
}

}  // namespace

labels_reading read_labels(std::string_view bytes, std::uint32_t samples,
                           std::string_view labels_file, std::string_view samples_file) {
  labels_reading out;
  out.problem = begin_text(bytes, labels_file);
  if (!out.ok()) return out;
  out.lines = count_lines(bytes);
  if (out.lines != samples) {
    out.problem = failure::quoting(failure_kind::label_count, std::string(labels_file),
                                   {out.lines, samples}, std::string(samples_file));
    return out;
  }

  // Labels numbered by first appearance (the names seen in place in the
  // bytes, nothing copied), then renumbered by frequency.
  sample_labels& labels = out.labels;
  labels.present = true;
  std::unordered_map<std::string_view, std::uint32_t> number;
  std::vector<std::string_view> first_seen;
  std::vector<std::uint32_t> seen_counts;
  std::vector<std::uint32_t> by_appearance(samples, no_label);
  std::size_t at = 0;
  for (std::uint32_t s = 0; s < samples; ++s) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view label = trimmed(bytes, at, end);
    at = end + 1;
    if (label.empty()) continue;
    const auto [it, added] =
        number.try_emplace(label, static_cast<std::uint32_t>(first_seen.size()));
    if (added) {
      first_seen.push_back(label);
      seen_counts.push_back(0);
    }
    ++seen_counts[it->second];
    by_appearance[s] = it->second;
  }
  std::vector<std::uint32_t> order(first_seen.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return seen_counts[a] > seen_counts[b];
  });
  std::size_t name_bytes = 0;
  for (std::string_view name : first_seen) name_bytes += name.size();
  labels.names.reserve(order.size(), name_bytes);
  labels.counts.reserve(order.size());
  std::vector<std::uint32_t> rank(order.size());
  for (std::uint32_t r = 0; r < order.size(); ++r) {
    rank[order[r]] = r;
    labels.names.push_back(first_seen[order[r]]);
    labels.counts.push_back(seen_counts[order[r]]);
  }
  labels.of_sample = std::move(by_appearance);
  for (std::uint32_t& label : labels.of_sample) {
    if (label != no_label) label = rank[label];
  }
  return out;
}

void append_label_line(std::string& out, std::string_view label) {
  const std::size_t start = out.size();
  for (char c : label) out += c == '\n' || c == '\r' ? ' ' : c;
  // The blanks around it, as the reader drops them.
  std::size_t first = start;
  while (first < out.size() && blank(out[first])) ++first;
  out.erase(start, first - start);
  while (out.size() > start && blank(out.back())) out.pop_back();
  out += host_line_end;
}

}  // namespace som
