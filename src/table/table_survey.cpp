#include "table/table_survey.hpp"

#include <cmath>

#include "common/messages.hpp"
#include "formats/text_decoding.hpp"
#include "formats/text_folding.hpp"

namespace som {

namespace {

constexpr std::uint64_t most_samples = 4294967295u;

std::string where(const std::string& table_name, std::uint64_t row) {
  return "Tabulka " + table_name + ", radek " + std::to_string(row);
}

// The first cell of a column that stopped the conversion.
struct first_cell {
  std::uint64_t row = 0;  // 0: none yet
  std::string text;
  void note(std::uint64_t at, std::string_view bytes) {
    if (row != 0) return;
    row = at;
    text.assign(bytes);
  }
};

}  // namespace

std::string shown_cell(std::string_view bytes) {
  std::string text = ascii_folded(text_as_utf8(bytes, is_valid_utf8(bytes)));
  for (char& c : text)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return "\"" + text + "\"";
}

std::string utf16_refusal(const std::string& table_name) {
  return "Soubor " + table_name +
         " je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n";
}

std::string table_problem_message(const std::string& table_name, const table_problem& problem,
                                  const table_dialect& dialect) {
  const std::string at = where(table_name, problem.row);
  switch (problem.fault) {
    case table_fault::open_quote:
      return at + ", sloupec " + std::to_string(problem.column) +
             ": uvozovky otevrene na zacatku bunky se do konce souboru neuzavrou.\n";
    case table_fault::text_after_quote:
      return at + ", sloupec " + std::to_string(problem.column) +
             ": za uzavirajicimi uvozovkami bunky pokracuje text (uvozovky uvnitr bunky se "
             "pisou dvakrat).\n";
    case table_fault::too_many_cells:
      return at + ": bunka ve sloupci " + std::to_string(problem.column) +
             " je navic, tabulka ma jen " + std::to_string(dialect.columns) +
             " sloupcu. Neni oddelovac bunek jiny (--oddelovac)?\n";
    case table_fault::out_of_memory: return std::string(out_of_memory_text) + "\n";
    case table_fault::none: break;
  }
  return {};
}

table_survey survey_table(byte_source raw, const std::string& table_name,
                          const table_options& options) {
  table_survey out;
  table_reader table(raw, options.dialect);
  out.mark = table.mark();
  if (!table.readable()) {
    out.refusal = utf16_refusal(table_name);
    return out;
  }
  out.dialect = table.dialect();
  // The names as far as the encoding is known now; named again at the end.
  out.columns = name_columns(table, table.valid_utf8());
  const std::string roles = assign_roles(out.columns, options, out.dialect.row_names);
  if (!roles.empty()) {
    out.refusal = roles + "\n";
    return out;
  }
  out.components = component_columns(out.columns);
  if (out.components.empty()) {
    out.refusal = "V tabulce " + table_name + " neni zadny sloupec, ktery by se pouzil jako slozka.\n";
    return out;
  }
  const std::size_t k = out.components.size();
  out.statistics.resize(k);
  std::vector<double> values(k);
  std::vector<component_cell> kinds(k);
  std::vector<first_cell> text(k);
  // Per component: a text cell that the other decimal mark would read.
  const char other_mark = out.dialect.decimal_mark == '.' ? ',' : '.';
  const bool other_possible = other_mark == '.' || out.dialect.separator != ',';
  std::vector<char> other_reads(k, 0);
  first_cell out_of_range;
  std::size_t out_of_range_column = 0;
  first_cell missing;
  std::size_t missing_column = 0;
  std::vector<double> first_value(k);

  std::vector<table_cell> cells;
  while (table.next_row(cells)) {
    ++out.data_rows;
    const std::uint64_t row = table.row_number();
    if (read_components(cells, out.components, out.dialect.decimal_mark, values.data(),
                        kinds.data())) {
      ++out.samples;
      for (std::size_t c = 0; c < k; ++c) {
        component_statistics& s = out.statistics[c];
        const double x = values[c];
        s.moments.add(x);
        if (x < s.minimum) s.minimum = x;
        if (x > s.maximum) s.maximum = x;
        if (s.row_numbers) {
          if (out.data_rows == 1) {
            s.row_numbers = x == 0.0 || x == 1.0;
            first_value[c] = x;
          } else {
            s.row_numbers = x == first_value[c] + static_cast<double>(out.data_rows - 1);
          }
        }
      }
      continue;
    }
    bool lacks = false;
    for (std::size_t c = 0; c < k; ++c) {
      const std::string_view cell = cells[out.components[c]].text;
      switch (kinds[c]) {
        case component_cell::number: break;
        case component_cell::text:
          text[c].note(row, cell);
          if (other_possible && other_reads[c] == 0) {
            double ignored;
            other_reads[c] = read_cell(cell, other_mark, ignored) == cell_kind::number;
          }
          break;
        case component_cell::out_of_range:
          if (out_of_range.row == 0) out_of_range_column = c;
          out_of_range.note(row, cell);
          break;
        case component_cell::missing:
          if (missing.row == 0) missing_column = c;
          missing.note(row, cell);
          lacks = true;
          break;
      }
    }
    if (lacks) ++out.incomplete;
    // A row kept after all breaks the row numbers of every component.
    for (component_statistics& s : out.statistics) s.row_numbers = false;
  }
  out.blank_rows = table.blank_rows();
  out.raw_bytes = table.raw_bytes();
  out.raw_hash = table.raw_hash();
  out.damaged_utf16 = table.damaged_utf16();
  if (table.problem().fault != table_fault::none) {
    out.refusal = table_problem_message(table_name, table.problem(), out.dialect);
    return out;
  }
  out.utf8 = table.valid_utf8();
  {
    std::vector<table_column> named = name_columns(table, out.utf8);
    for (std::size_t j = 0; j < named.size(); ++j) out.columns[j].name = named[j].name;
  }

  // Text where numbers belong: every such column, each with its first such
  // cell and what would help.
  std::string refusal;
  for (std::size_t c = 0; c < k; ++c) {
    if (text[c].row == 0) continue;
    const std::size_t j = out.components[c];
    const std::string number = std::to_string(j + 1);
    refusal += "Tabulka " + table_name + ", sloupec " + column_label(out.columns, j) + ": radek " +
               std::to_string(text[c].row) + " obsahuje " + shown_cell(text[c].text) +
               ", coz neni cislo.";
    if (other_reads[c] != 0) {
      refusal += std::string(" Ma-li tabulka desetinnou ") +
                 (other_mark == ',' ? "carku, pouzijte --desetinna carka." :
                                      "tecku, pouzijte --desetinna tecka.");
    }
    refusal += " Je-li to popis vzorku, pouzijte --popisky " + number +
               "; nema-li se sloupec pouzit, --vynechat " + number + ".\n";
  }
  if (!refusal.empty()) {
    out.refusal = refusal;
    return out;
  }
  if (out_of_range.row != 0) {
    out.refusal = where(table_name, out_of_range.row) + ", sloupec " +
                  column_label(out.columns, out.components[out_of_range_column]) + ": cislo " +
                  shown_cell(out_of_range.text) +
                  " je mimo rozsah cisel (nejvic asi 1.8e308).\n";
    return out;
  }
  if (missing.row != 0 && !options.drop_incomplete) {
    const std::size_t j = out.components[missing_column];
    out.refusal = where(table_name, missing.row) + ", sloupec " + column_label(out.columns, j) +
                  ": chybi hodnota (" + shown_cell(missing.text) +
                  "). Radky s chybejicimi hodnotami vynecha --vynechat-neuplne; cely sloupec "
                  "--vynechat " + std::to_string(j + 1) + ".\n";
    return out;
  }
  if (out.samples == 0) {
    if (missing.row != 0) {
      out.refusal = "Vsem radkum tabulky " + table_name +
                    " chybi nejaka hodnota, nezbyl zadny vzorek; prvni: radek " +
                    std::to_string(missing.row) + ", sloupec " +
                    column_label(out.columns, out.components[missing_column]) + ".\n";
    } else {
      out.refusal = "V tabulce " + table_name + " neni zadny radek s daty.\n";
    }
    return out;
  }
  if (out.samples > most_samples) {
    out.refusal = "Tabulka " + table_name + " ma vic nez 4294967295 radku s daty.\n";
    return out;
  }
  return out;
}

}  // namespace som
