#include "formats/placement_file.hpp"

#include <cmath>
#include <string_view>

#include "common/decimal.hpp"
#include "common/text_format.hpp"
#include "formats/text_lines.hpp"

namespace som {

namespace {

constexpr std::string_view infinite_distance = "inf";

// The fields of a line between its tabs.
std::vector<std::string_view> fields_of(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t at = 0;;) {
    const std::size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab == std::string_view::npos ? tab : tab - at));
    if (tab == std::string_view::npos) return fields;
    at = tab + 1;
  }
}

// A whole unsigned decimal integer without a sign, below 2^32.
bool whole_u32(std::string_view field, std::uint32_t& value) {
  if (field.empty() || field.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : field) {
    if (!is_digit(c)) return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

bool whole_flag(std::string_view field, bool& value) {
  if (field != "0" && field != "1") return false;
  value = field == "1";
  return true;
}

bool parse_distance(std::string_view field, double& value) {
  if (field == infinite_distance) {
    value = HUGE_VAL;
    return true;
  }
  return whole_decimal(field, value) && value >= 0.0 && std::isfinite(value);
}

bool parse_row(std::string_view line, const placement_table& table, placement& row) {
  const std::vector<std::string_view> fields = fields_of(line);
  const std::size_t expected =
      4 + (table.labels ? 2 : 0) + (table.clusters ? 1 : 0) + (table.true_labels ? 1 : 0);
  if (fields.size() != expected) return false;
  if (!whole_u32(fields[0], row.unit.row) || !whole_u32(fields[1], row.unit.col) ||
      !parse_distance(fields[2], row.distance) || !whole_flag(fields[3], row.neighbour)) {
    return false;
  }
  std::size_t at = 4;
  if (table.labels) {
    row.label = std::string(fields[at++]);
    if (!whole_flag(fields[at++], row.borrowed)) return false;
  }
  if (table.clusters && (!whole_u32(fields[at++], row.cluster) || row.cluster == 0)) return false;
  if (table.true_labels) row.true_label = std::string(fields[at++]);
  // A CR in a label would not survive a line end written after it.
  return row.label.find('\r') == std::string::npos &&
         row.true_label.find('\r') == std::string::npos;
}

// Which optional columns a header names; false when it is not one that
// write_placements writes.
bool parse_header(std::string_view line, placement_table& table) {
  for (int shape = 0; shape < 8; ++shape) {
    table.labels = (shape & 1) != 0;
    table.clusters = (shape & 2) != 0;
    table.true_labels = (shape & 4) != 0;
    if (line == placement_header(table)) return true;
  }
  return false;
}

}  // namespace

std::string placement_header(const placement_table& table) {
  std::string header = "radek\tsloupec\tvzdalenost\tsousedni";
  if (table.labels) header += "\tpopisek\todhad";
  if (table.clusters) header += "\tshluk";
  if (table.true_labels) header += "\tskutecny";
  return header;
}

bool write_placements(const placement_table& table, byte_sink& sink) {
  std::string text = placement_header(table);
  text += host_line_end;
  constexpr std::size_t chunk = std::size_t{1} << 16;
  for (const placement& row : table.rows) {
    append_u32(text, row.unit.row);
    text += '\t';
    append_u32(text, row.unit.col);
    text += '\t';
    if (std::isfinite(row.distance)) {
      append_shortest(text, row.distance);
    } else {
      text += infinite_distance;
    }
    text += row.neighbour ? "\t1" : "\t0";
    if (table.labels) {
      text += '\t';
      text += row.label;
      text += row.borrowed ? "\t1" : "\t0";
    }
    if (table.clusters) {
      text += '\t';
      append_u32(text, row.cluster);
    }
    if (table.true_labels) {
      text += '\t';
      text += row.true_label;
    }
    text += host_line_end;
    if (text.size() >= chunk) {
      if (!sink.put(text)) return false;
      text.clear();
    }
  }
  return sink.put(text);
}

placements_reading read_placements(byte_reader& reader) {
  placements_reading out;
  std::string line;
  if (!next_line(reader, line) || !parse_header(line, out.table)) {
    out.table = placement_table{};
    out.bad_line = 1;
    return out;
  }
  out.bad_line = read_rows(reader, [&](std::string_view line_of_row) {
    placement row;
    if (!parse_row(line_of_row, out.table, row)) return false;
    out.table.rows.push_back(std::move(row));
    return true;
  });
  return out;
}

}  // namespace som
