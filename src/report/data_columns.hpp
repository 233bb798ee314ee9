// sloupce.txt on the page: what each component was in the user's table (its
// name, and the centre and scale that turn a weight back into the table's
// units), read where som_data wrote it beside data.txt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/columns_file.hpp"

namespace som {

struct data_columns {
  bool present = false;  // the file was there (and fits the samples)
  std::vector<column_scaling> columns;  // one per component
};

// Reads sloupce.txt from the working folder where it is there. False after
// a message: it cannot be read, a line is not what the format says (the
// message names it), or it describes another number of columns than the
// samples' dimension. A page never names the components wrongly: with such
// a file there is no page.
bool read_columns_file(std::uint32_t dimension, data_columns& columns, std::string& message);

// "Soubor sloupce.txt ma chybny radek 3 (...).\n"
std::string columns_line_message(std::uint64_t line);
// "V souboru sloupce.txt je 4 sloupcu, ale vzorky v souboru setup.txt maji dimenzi 3.\n"
std::string columns_count_message(std::size_t columns, std::uint32_t dimension);

// The name of component k's column (from 0); empty without sloupce.txt or
// for a column without a name (blanks only). Raw text: html_text() before
// it goes on the page.
std::string column_name(const data_columns* columns, std::uint32_t k);

// Component k as the page names it: its column's name, or "Slozka k+1".
std::string component_name(const data_columns* columns, std::uint32_t k);

// Whether the weights are shown in the table's units.
inline bool in_table_units(const data_columns* columns) {
  return columns != nullptr && columns->present;
}

// Component k's value v in the table's units (v itself without sloupce.txt).
inline double table_value(const data_columns* columns, std::uint32_t k, double v) {
  return in_table_units(columns) ? unscaled_value(columns->columns[k], v) : v;
}

}  // namespace som
