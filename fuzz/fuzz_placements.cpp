// Fuzz harness of zarazeni.txt: any bytes as its text. Against a reference
// made another way: the lines cut at every LF (one CR before it dropped),
// the header one of the eight that a table can have, every other line
// before the first blank one a row of exactly the header's number of
// fields, and only blank lines after. A table read whole is written again
// and read back to the same rows, bit for bit.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "formats/placement_file.hpp"
#include "fuzz_support.hpp"

namespace {

std::vector<std::string> reference_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) {
    if (line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::size_t fields(const std::string& line) {
  std::size_t count = 1;
  for (char c : line) count += c == '\t';
  return count;
}

bool blank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

bool same_rows(const som::placement_table& a, const som::placement_table& b) {
  if (a.labels != b.labels || a.clusters != b.clusters || a.true_labels != b.true_labels ||
      a.rows.size() != b.rows.size())
    return false;
  for (std::size_t i = 0; i < a.rows.size(); ++i) {
    const som::placement &x = a.rows[i], &y = b.rows[i];
    if (x.unit.row != y.unit.row || x.unit.col != y.unit.col || x.neighbour != y.neighbour ||
        x.label != y.label || x.borrowed != y.borrowed || x.cluster != y.cluster ||
        x.true_label != y.true_label || std::memcmp(&x.distance, &y.distance, sizeof(double)) != 0)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  som::byte_reader reader(text);
  const som::placements_reading read = som::read_placements(reader);
  const std::vector<std::string> lines = reference_lines(text);
  if (lines.empty()) {
    som_fuzz::check(read.bad_line == 1, "an empty file has no header");
    return 0;
  }
  if (read.bad_line == 1) return 0;
  const std::size_t expected = fields(som::placement_header(read.table));
  som_fuzz::check(lines[0] == som::placement_header(read.table), "the header read");
  std::size_t rows = 0;
  bool ended = false;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    if (blank(lines[l])) {
      ended = true;
      continue;
    }
    // Every line before the bad one is a row of the header's shape.
    if (read.bad_line == l + 1) break;
    som_fuzz::check(!ended, "a row after a blank line", std::to_string(l + 1));
    som_fuzz::check(fields(lines[l]) == expected, "fields of a row", std::to_string(l + 1));
    ++rows;
  }
  som_fuzz::check(read.table.rows.size() == rows, "rows read");
  if (!read.ok()) return 0;

  std::string written;
  som::byte_sink sink = som::string_sink(written);
  som_fuzz::check(som::write_placements(read.table, sink), "the table written");
  som::byte_reader again(written);
  const som::placements_reading back = som::read_placements(again);
  som_fuzz::check(back.ok(), "the written table read", written);
  som_fuzz::check(same_rows(back.table, read.table), "the same rows read back", written);
  return 0;
}
