// The first pass over a table: its encoding and dialect, its columns and
// their roles, every row read and checked, and the statistics of each
// component over the rows that are kept. Whatever would make the table
// unusable is found here, before anything is written.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/byte_reader.hpp"
#include "formats/table_file.hpp"
#include "table/exact_moments.hpp"
#include "table/table_blocks.hpp"
#include "table/table_columns.hpp"
#include "table/table_options.hpp"

namespace som {

struct component_statistics {
  exact_moments moments;
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -std::numeric_limits<double>::infinity();
  // Every value so far is the row's own number, counted from 0 or from 1
  // (an index column as pandas and R write it).
  bool row_numbers = true;
};

struct table_survey {
  // Why the table cannot be converted, as lines; empty when it can.
  std::string refusal;

  unicode_mark mark = unicode_mark::none;
  bool utf8 = true;  // 8-bit text that is valid UTF-8 (else Windows-1250)
  bool damaged_utf16 = false;
  table_dialect dialect;
  std::vector<table_column> columns;
  std::vector<std::size_t> components;  // column indexes, in table order
  std::vector<component_statistics> statistics;  // one per component

  std::uint64_t data_rows = 0;   // rows after the title that are not blank
  std::uint64_t samples = 0;     // rows kept
  std::uint64_t incomplete = 0;  // rows left out for a missing value
  std::uint64_t blank_rows = 0;
  std::uint64_t raw_bytes = 0;
  std::uint64_t raw_hash = 0;
};

// Reads the table from `raw`; `table_name` names it in messages. The
// survey is the same however `split` reads the table.
table_survey survey_table(byte_source raw, const std::string& table_name,
                          const table_options& options, const table_split& split = {});

// The refusal of a row the reader could not split (an open quote, ...).
std::string table_problem_message(const std::string& table_name, const table_problem& problem,
                                  const table_dialect& dialect);

// A cell as the console shows it: ASCII, at most 40 characters, quoted.
std::string shown_cell(std::string_view bytes);

}  // namespace som
