#include "formats/labels_file.hpp"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "common/file_names.hpp"
#include "common/text_format.hpp"

namespace som {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A line without the blanks around it (a CR before the LF among them).
std::string trimmed(std::string_view bytes, std::size_t from, std::size_t to) {
  while (from < to && blank(bytes[from])) ++from;
  while (to > from && blank(bytes[to - 1])) --to;
  return std::string(bytes.substr(from, to - from));
}

}  // namespace

std::string label_count_message(std::uint64_t lines, std::uint32_t samples) {
  return std::string("Soubor ") + labels_file_name + " ma " + std::to_string(lines) +
         " radku, ale v souboru " + data_file_name + " je " + std::to_string(samples) +
         " vzorku.\n";
}

labels_reading read_labels(std::string_view bytes, std::uint32_t samples) {
  labels_reading out;
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    lines.push_back(trimmed(bytes, at, end));
    at = end + 1;
  }
  out.lines = lines.size();
  if (lines.size() != samples) {
    out.message = label_count_message(lines.size(), samples);
    return out;
  }

  // Labels numbered by first appearance, then renumbered by frequency.
  sample_labels& labels = out.labels;
  labels.present = true;
  std::unordered_map<std::string, std::uint32_t> number;
  std::vector<std::string> first_seen;
  std::vector<std::uint32_t> seen_counts;
  std::vector<std::uint32_t> by_appearance(lines.size(), no_label);
  for (std::size_t s = 0; s < lines.size(); ++s) {
    if (lines[s].empty()) continue;
    const auto [it, added] =
        number.try_emplace(lines[s], static_cast<std::uint32_t>(first_seen.size()));
    if (added) {
      first_seen.push_back(lines[s]);
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
  std::vector<std::uint32_t> rank(order.size());
  for (std::uint32_t r = 0; r < order.size(); ++r) {
    rank[order[r]] = r;
    labels.names.push_back(first_seen[order[r]]);
    labels.counts.push_back(seen_counts[order[r]]);
  }
  labels.of_sample.resize(lines.size());
  for (std::size_t s = 0; s < lines.size(); ++s)
    labels.of_sample[s] = by_appearance[s] == no_label ? no_label : rank[by_appearance[s]];
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
