// Fuzz harness of popisky.txt: any bytes as its text, read for the number of
// samples that its first byte gives (0 to 255) or for exactly its own count
// of lines. Against a reference made another way: the lines cut at every LF
// (a last one without it counted), each stripped of spaces, tabs and CRs
// around it, an empty one no label; the labels numbered by falling count,
// equal counts by first appearance. A text in UTF-16 is refused, one with a
// UTF-8 byte order mark read as the text after it.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/messages.hpp"
#include "formats/labels_file.hpp"
#include "fuzz_support.hpp"

namespace {

std::vector<std::string> reference_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  for (std::string& l : lines) {
    const auto keep = [](char c) { return c != ' ' && c != '\t' && c != '\r'; };
    const auto first = std::find_if(l.begin(), l.end(), keep);
    const auto last = std::find_if(l.rbegin(), l.rend(), keep).base();
    l = first < last ? std::string(first, last) : std::string();
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);
  const som_fuzz::reference_text encoding = som_fuzz::reference_encoding(file);
  if (encoding == som_fuzz::reference_text::utf16) {
    const som::labels_reading refused = som::read_labels(file, data[0]);
    som_fuzz::check(som::message_of(refused.problem) == som_fuzz::reference_utf16_refusal("popisky.txt") &&
                        refused.lines == 0 && !refused.labels.present,
                    "a text in UTF-16 is refused", som_fuzz::show(file.substr(0, 200)));
    return 0;
  }
  const std::string text = encoding == som_fuzz::reference_text::utf8_mark ? file.substr(3) : file;
  const std::vector<std::string> lines = reference_lines(text);
  const bool own_count = (data[0] & 1u) != 0;
  const std::uint32_t samples = own_count ? static_cast<std::uint32_t>(lines.size()) : data[0];
  const som::labels_reading read = som::read_labels(file, samples);
  const bool ok = read.ok();
  const som::sample_labels& labels = read.labels;
  som_fuzz::check(ok == (lines.size() == samples), "count of lines",
                  "got " + std::to_string(ok) + " for " + std::to_string(lines.size()) +
                      " lines and " + std::to_string(samples) + " samples");
  som_fuzz::check(read.lines == lines.size(), "lines counted");
  if (!ok) {
    som_fuzz::check(som::message_of(read.problem) == som::label_count_message(lines.size(), samples),
                    "message",
                    som::message_of(read.problem));
    return 0;
  }
  // Counts and first appearances of the reference.
  std::map<std::string, std::pair<std::uint32_t, std::size_t>> seen;
  for (std::size_t s = 0; s < lines.size(); ++s) {
    if (lines[s].empty()) continue;
    auto [it, added] = seen.try_emplace(lines[s], 0u, s);
    ++it->second.first;
  }
  std::vector<std::pair<std::string, std::pair<std::uint32_t, std::size_t>>> order(seen.begin(),
                                                                                    seen.end());
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    return a.second.first != b.second.first ? a.second.first > b.second.first
                                            : a.second.second < b.second.second;
  });
  som_fuzz::check(labels.names.size() == order.size(), "number of labels");
  for (std::size_t l = 0; l < order.size(); ++l) {
    som_fuzz::check(labels.names[l] == order[l].first, "label order", order[l].first);
    som_fuzz::check(labels.counts[l] == order[l].second.first, "label count", order[l].first);
  }
  som_fuzz::check(labels.of_sample.size() == lines.size(), "labels per sample");
  for (std::size_t s = 0; s < lines.size(); ++s) {
    const std::uint32_t label = labels.of_sample[s];
    som_fuzz::check(lines[s].empty() ? label == som::no_label
                                     : label < labels.names.size() && labels.names[label] == lines[s],
                    "label of a sample", std::to_string(s));
  }
  return 0;
}
