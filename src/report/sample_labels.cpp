#include "report/sample_labels.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <unordered_map>

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"

namespace som {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A line without the blanks around it (a CR before the LF among them).
std::string trimmed(const std::string& bytes, std::size_t from, std::size_t to) {
  while (from < to && blank(bytes[from])) ++from;
  while (to > from && blank(bytes[to - 1])) --to;
  return bytes.substr(from, to - from);
}

}  // namespace

std::string label_count_message(std::uint64_t lines, std::uint32_t samples) {
  return std::string("Soubor ") + labels_file_name + " ma " + std::to_string(lines) +
         " radku, ale v souboru " + data_file_name + " je " + std::to_string(samples) +
         " vzorku.\n";
}

bool parse_labels(const std::string& bytes, std::uint32_t samples, sample_labels& labels,
                  std::string& message) {
  labels = sample_labels{};
  labels.present = true;
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    lines.push_back(trimmed(bytes, at, end));
    at = end + 1;
  }
  if (lines.size() != samples) {
    message = label_count_message(lines.size(), samples);
    return false;
  }

  // Labels numbered by first appearance, then renumbered by frequency.
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
  return true;
}

bool read_labels_file(std::uint32_t samples, sample_labels& labels, std::string& message) {
  labels = sample_labels{};
  std::error_code error;
  if (!std::filesystem::exists(labels_file_name, error) && !error) return true;
  std::string bytes;
  message = file_read_message(read_whole_file(labels_file_name, bytes), labels_file_name);
  if (!message.empty()) return false;
  return parse_labels(bytes, samples, labels, message);
}

}  // namespace som
