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

namespace {

// How each row is read: its components, the table's decimal mark and the
// other one.
struct row_reading {
  const std::vector<std::size_t>* components = nullptr;
  char decimal_mark = '.';
  char other_mark = ',';
  bool other_possible = true;  // the other mark can be the table's
};

// What the rows of a stretch of the table (a block, or the whole table)
// give: the counts, the statistics, and the first cells that stop the
// conversion, with their rows counted from the stretch's start.
struct survey_tally {
  std::uint64_t data_rows = 0;
  std::uint64_t samples = 0;
  std::uint64_t incomplete = 0;
  // Per component. row_numbers: every row of the stretch is complete and
  // each value is the first one plus its row's index.
  std::vector<component_statistics> statistics;
  std::vector<double> first_values;
  std::vector<first_cell> text;
  std::vector<char> other_reads;  // a text cell that the other mark reads as a number
  first_cell out_of_range;
  std::size_t out_of_range_column = 0;
  first_cell missing;
  std::size_t missing_column = 0;
  // Room for one row.
  std::vector<double> values;
  std::vector<component_cell> kinds;

  void start(std::size_t k) {
    data_rows = samples = incomplete = 0;
    statistics.assign(k, component_statistics{});
    first_values.assign(k, 0.0);
    text.assign(k, first_cell{});
    other_reads.assign(k, 0);
    out_of_range = first_cell{};
    missing = first_cell{};
    out_of_range_column = missing_column = 0;
    values.resize(k);
    kinds.resize(k);
  }

  void add(const std::vector<table_cell>& cells, std::uint64_t row, const row_reading& reading) {
    const std::vector<std::size_t>& components = *reading.components;
    const std::size_t k = components.size();
    ++data_rows;
    if (read_components(cells, components, reading.decimal_mark, values.data(), kinds.data())) {
      ++samples;
      for (std::size_t c = 0; c < k; ++c) {
        component_statistics& s = statistics[c];
        const double x = values[c];
        s.moments.add(x);
        if (x < s.minimum) s.minimum = x;
        if (x > s.maximum) s.maximum = x;
        if (s.row_numbers) {
          if (data_rows == 1) {
            first_values[c] = x;
          } else {
            s.row_numbers = x == first_values[c] + static_cast<double>(data_rows - 1);
          }
        }
      }
      return;
    }
    bool lacks = false;
    for (std::size_t c = 0; c < k; ++c) {
      const std::string_view cell = cells[components[c]].text;
      switch (kinds[c]) {
        case component_cell::number: break;
        case component_cell::text:
          text[c].note(row, cell);
          if (reading.other_possible && other_reads[c] == 0) {
            double ignored;
            other_reads[c] = read_cell(cell, reading.other_mark, ignored) == cell_kind::number;
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
    if (lacks) ++incomplete;
    // An incomplete row breaks the row numbers of every component.
    for (component_statistics& s : statistics) s.row_numbers = false;
  }

  // Adds the stretch that follows this one, after `rows_before` records of
  // the table (those of this stretch included).
  void add(const survey_tally& later, std::uint64_t rows_before) {
    for (std::size_t c = 0; c < statistics.size(); ++c) {
      component_statistics& s = statistics[c];
      const component_statistics& t = later.statistics[c];
      s.moments.add(t.moments);
      // The first of equal extremes stays (0 before -0 stays 0).
      if (t.minimum < s.minimum) s.minimum = t.minimum;
      if (t.maximum > s.maximum) s.maximum = t.maximum;
      if (later.data_rows == 0) continue;
      if (data_rows == 0) {
        s.row_numbers = t.row_numbers;
        first_values[c] = later.first_values[c];
      } else {
        s.row_numbers = s.row_numbers && t.row_numbers &&
                        later.first_values[c] == first_values[c] + static_cast<double>(data_rows);
      }
      if (text[c].row == 0 && later.text[c].row != 0)
        text[c].note(later.text[c].row + rows_before, later.text[c].text);
      other_reads[c] = other_reads[c] != 0 || later.other_reads[c] != 0;
    }
    if (out_of_range.row == 0 && later.out_of_range.row != 0) {
      out_of_range.note(later.out_of_range.row + rows_before, later.out_of_range.text);
      out_of_range_column = later.out_of_range_column;
    }
    if (missing.row == 0 && later.missing.row != 0) {
      missing.note(later.missing.row + rows_before, later.missing.text);
      missing_column = later.missing_column;
    }
    data_rows += later.data_rows;
    samples += later.samples;
    incomplete += later.incomplete;
  }

  // Row numbers count from 0 or 1.
  void finish() {
    for (std::size_t c = 0; c < statistics.size(); ++c) {
      component_statistics& s = statistics[c];
      s.row_numbers = s.row_numbers && (data_rows == 0 || first_values[c] == 0.0 ||
                                        first_values[c] == 1.0);
    }
  }
};

// The survey's pass over the blocks of a table: a tally per block, added up
// in table order.
class survey_blocks : public block_pass {
 public:
  survey_blocks(survey_tally& whole, const row_reading& reading)
      : whole_(whole), reading_(reading) {}
  void prepare(unsigned slots) override { tallies_.resize(slots); }
  void start(unsigned slot) override { tallies_[slot].start(reading_.components->size()); }
  void row(unsigned slot, const std::vector<table_cell>& cells, std::uint64_t row) override {
    tallies_[slot].add(cells, row, reading_);
  }
  bool take(unsigned slot, std::uint64_t rows_before) override {
    whole_.add(tallies_[slot], rows_before);
    return true;
  }

 private:
  survey_tally& whole_;
  const row_reading& reading_;
  std::vector<survey_tally> tallies_;
};

}  // namespace

table_survey survey_table(byte_source raw, const std::string& table_name,
                          const table_options& options, const table_split& split) {
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
  row_reading reading;
  reading.components = &out.components;
  reading.decimal_mark = out.dialect.decimal_mark;
  // Per component: a text cell that the other decimal mark would read.
  reading.other_mark = out.dialect.decimal_mark == '.' ? ',' : '.';
  reading.other_possible = reading.other_mark == '.' || out.dialect.separator != ',';

  survey_tally tally;
  tally.start(k);
  table_problem problem;
  if (split.blocks) {
    survey_blocks pass(tally, reading);
    const blocks_read read = read_table_blocks(table, split, pass);
    problem = read.problem;
    out.blank_rows = read.blank_rows;
  } else {
    std::vector<table_cell> cells;
    while (table.next_row(cells)) tally.add(cells, table.row_number(), reading);
    problem = table.problem();
    out.blank_rows = table.blank_rows();
  }
  tally.finish();
  out.data_rows = tally.data_rows;
  out.samples = tally.samples;
  out.incomplete = tally.incomplete;
  out.statistics = std::move(tally.statistics);
  const std::vector<first_cell>& text = tally.text;
  const std::vector<char>& other_reads = tally.other_reads;
  const first_cell& out_of_range = tally.out_of_range;
  const std::size_t out_of_range_column = tally.out_of_range_column;
  const first_cell& missing = tally.missing;
  const std::size_t missing_column = tally.missing_column;
  const char other_mark = reading.other_mark;

  out.raw_bytes = table.raw_bytes();
  out.raw_hash = table.raw_hash();
  out.damaged_utf16 = table.damaged_utf16();
  if (problem.fault != table_fault::none) {
    out.refusal = table_problem_message(table_name, problem, out.dialect);
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
