#include "mapping/new_table.hpp"

#include <cmath>
#include <string_view>

#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/platform.hpp"
#include "common/text_format.hpp"
#include "formats/labels_file.hpp"
#include "formats/text_encoding.hpp"
#include "formats/text_folding.hpp"
#include "table/table_columns.hpp"
#include "table/table_survey.hpp"

namespace som {

namespace {

constexpr std::uint64_t most_samples = 4294967295u;

std::string line_of(const std::string& text) { return text + ", " + placing_not_done + ".\n"; }

// Where the columns of sloupce.txt stand in the table, or the refusal.
struct column_match {
  std::vector<std::size_t> components;  // per column of sloupce.txt
  std::size_t labels = 0;               // --popisky's column
  std::string refusal;
};

// The table's one column of this name: exactly, or else loosely; `several`
// when more than one has it.
std::size_t column_named(const std::vector<table_column>& table, const std::string& name,
                         bool& several) {
  const std::size_t none = table.size();
  for (int loose = 0; loose < 2; ++loose) {
    std::size_t found = none;
    std::size_t count = 0;
    const std::string key = loose != 0 ? loose_key(name) : std::string();
    for (std::size_t j = 0; j < table.size(); ++j) {
      const bool same = loose != 0 ? loose_key(table[j].name) == key : table[j].name == name;
      if (same && count++ == 0) found = j;
    }
    several = count > 1;
    if (count != 0) return several ? none : found;
  }
  return none;
}

column_match match_columns(const std::vector<table_column>& table,
                           const std::vector<column_scaling>& columns, const table_dialect& dialect,
                           const std::optional<std::string>& labels, const std::string& path) {
  column_match out;
  std::string missing;
  std::string doubled;
  for (const column_scaling& column : columns) {
    bool several = false;
    const std::size_t j = column_named(table, column.name, several);
    out.components.push_back(j);
    if (j != table.size()) continue;
    std::string& list = several ? doubled : missing;
    if (!list.empty()) list += ", ";
    list += ascii_folded(column.name);
  }
  if (!missing.empty()) {
    out.refusal =
        "V tabulce " + path + " chybi sloupce ze souboru " + columns_file_name + ": " + missing;
    if (!dialect.title) out.refusal += " (tabulka nema radek s nazvy sloupcu)";
    out.refusal = line_of(out.refusal);
    return out;
  }
  if (!doubled.empty()) {
    out.refusal = line_of("V tabulce " + path + " ma vic sloupcu stejny nazev: " + doubled);
    return out;
  }
  if (labels) {
    out.labels = find_column(table, *labels, "--popisky", out.refusal);
    if (!out.refusal.empty()) out.refusal += "\n";
  }
  return out;
}

// A true label as popisky.txt holds it (formats/labels_file.hpp): one line,
// without the blanks around it, so that it compares with the map's labels.
std::string label_as_line(std::string_view cell, bool utf8) {
  std::string line;
  append_label_line(line, utf8 ? std::string(cell) : text_as_utf8(cell, false));
  line.resize(line.size() - std::string_view(host_line_end).size());
  return line;
}

// The refusal of a row whose components are not all numbers: its first
// such cell.
std::string cell_refusal(const std::string& path, std::uint64_t row,
                         const std::vector<table_column>& table, const column_match& match,
                         const std::vector<table_cell>& cells,
                         const std::vector<component_cell>& kinds, char decimal_mark,
                         char separator) {
  for (std::size_t c = 0; c < kinds.size(); ++c) {
    if (kinds[c] == component_cell::number) continue;
    const std::size_t j = match.components[c];
    const std::string_view cell = cells[j].text;
    std::string text = "Tabulka " + path + ", radek " + std::to_string(row) + ", sloupec " +
                       column_label(table, j) + ": ";
    switch (kinds[c]) {
      case component_cell::missing: text += "chybi hodnota (" + shown_cell(cell) + ")"; break;
      case component_cell::out_of_range:
        text += "cislo " + shown_cell(cell) + " je mimo rozsah cisel (nejvic asi 1.8e308)";
        break;
      case component_cell::text: {
        text += shown_cell(cell) + " neni cislo";
        const char other = decimal_mark == '.' ? ',' : '.';
        double ignored;
        if ((other == '.' || separator != ',') &&
            read_cell(cell, other, ignored) == cell_kind::number)
          text += std::string(" (ma-li tabulka desetinnou ") +
                  (other == ',' ? "carku, pouzijte --desetinna carka)"
                                : "tecku, pouzijte --desetinna tecka)");
        break;
      }
      case component_cell::number: break;
    }
    return line_of(text);
  }
  return {};
}

struct table_pass {
  std::string refusal;
  bool utf8 = true;        // of the whole table, known at its end
  bool names_utf8 = true;  // the encoding the names were matched in
  table_dialect dialect;
  std::vector<table_column> names;  // as they were matched
  column_match match;
  std::vector<double> values;  // the scaled samples, one after another
  std::uint64_t samples = 0;
  std::vector<std::string> labels;  // the true labels' cells as they stand
};

// One pass over the table; the names are matched in the encoding that
// `utf8` gives, or as far as it is known after the title (-1).
table_pass read_pass(const std::string& path, const std::vector<column_scaling>& columns,
                     const dialect_request& request, const std::optional<std::string>& labels,
                     int utf8) {
  table_pass out;
  input_file file;
  if (!file.open(path.c_str())) {
    out.refusal = open_failed_message(path);
    return out;
  }
  table_reader table(file.source(), request);
  if (!table.readable()) {
    out.refusal = utf16_refusal(path);
    return out;
  }
  out.dialect = table.dialect();
  const table_dialect& dialect = out.dialect;
  out.names_utf8 = utf8 < 0 ? table.valid_utf8() : utf8 != 0;
  out.names = name_columns(table, out.names_utf8);
  out.match = match_columns(out.names, columns, dialect, labels, path);
  if (!out.match.refusal.empty()) {
    out.refusal = out.match.refusal;
    return out;
  }
  const std::size_t k = columns.size();
  std::vector<double> row_values(k);
  std::vector<component_cell> kinds(k);
  std::vector<table_cell> cells;
  while (table.next_row(cells)) {
    const std::uint64_t row = table.row_number();
    if (!read_components(cells, out.match.components, dialect.decimal_mark, row_values.data(),
                         kinds.data())) {
      out.refusal = cell_refusal(path, row, out.names, out.match, cells, kinds,
                                 dialect.decimal_mark, dialect.separator);
      return out;
    }
    for (std::size_t c = 0; c < k; ++c) {
      const double v = scaled_value(columns[c], row_values[c]);
      if (!std::isfinite(v)) {
        out.refusal =
            line_of("Tabulka " + path + ", radek " + std::to_string(row) + ", sloupec " +
                    column_label(out.names, out.match.components[c]) + ": hodnota " +
                    shown_cell(cells[out.match.components[c]].text) +
                    " je po skalovani podle souboru " + columns_file_name + " mimo rozsah cisel");
        return out;
      }
      out.values.push_back(v);
    }
    if (labels) out.labels.emplace_back(cells[out.match.labels].text);
    if (++out.samples > most_samples) {
      out.refusal = "Tabulka " + path + " ma vic nez 4294967295 radku s daty.\n";
      return out;
    }
  }
  if (table.problem().fault != table_fault::none) {
    out.refusal = table_problem_message(path, table.problem(), dialect);
    return out;
  }
  if (file.read_failed()) {
    out.refusal = read_failed_message(path);
    return out;
  }
  if (!file.close()) {
    out.refusal = close_failed_message(path);
    return out;
  }
  out.utf8 = table.valid_utf8();
  return out;
}

bool same_match(const column_match& a, const column_match& b) {
  return a.components == b.components && a.labels == b.labels;
}

}  // namespace

std::string read_table_samples(const std::string& path, const std::vector<column_scaling>& columns,
                               const dialect_request& dialect,
                               const std::optional<std::string>& labels, new_samples& out) {
  table_pass pass = read_pass(path, columns, dialect, labels, -1);
  if (!pass.refusal.empty()) return pass.refusal;
  // The encoding is known for sure only at the end (a first byte that is
  // not UTF-8 may come late): where the names read otherwise in it, they
  // are matched again, and where that finds other columns, the table is
  // read again with them.
  if (pass.names_utf8 != pass.utf8) {
    std::vector<table_column> names;
    input_file file;
    if (!file.open(path.c_str())) return open_failed_message(path);
    const table_reader table(file.source(), dialect);
    if (table.readable()) names = name_columns(table, pass.utf8);
    const column_match again = match_columns(names, columns, pass.dialect, labels, path);
    if (!again.refusal.empty()) return again.refusal;
    if (!same_match(again, pass.match)) {
      pass = read_pass(path, columns, dialect, labels, pass.utf8 ? 1 : 0);
      if (!pass.refusal.empty()) return pass.refusal;
    }
  }
  if (pass.samples == 0)
    return "V tabulce " + path + " neni zadny radek s daty, " + placing_not_done + ".\n";
  const auto count = static_cast<std::uint32_t>(pass.samples);
  const auto dimension = static_cast<std::uint32_t>(columns.size());
  if (!run_sizes_fit(count, dimension, 1, 1, 1)) return std::string(out_of_memory_text) + "\n";
  out.samples = alloc_sample_matrix(dimension, count);
  if (allocation_failed(*out.samples)) return std::string(out_of_memory_text) + "\n";
  for (std::uint32_t i = 0; i < count; ++i) {
    double* row = out.samples->row(i);
    for (std::uint32_t c = 0; c < dimension; ++c)
      row[c] = pass.values[std::size_t{i} * dimension + c];
  }
  if (labels) {
    out.true_labels.emplace();
    out.true_labels->reserve(pass.labels.size());
    for (const std::string& cell : pass.labels)
      out.true_labels->push_back(label_as_line(cell, pass.utf8));
    out.true_labels_source =
        "tabulce " + path + ", sloupci " + column_label(pass.names, pass.match.labels);
  }
  return {};
}

}  // namespace som
