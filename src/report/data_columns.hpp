// sloupce.txt on the page (read by state/map_reading.hpp): what each
// component was in the user's table (its name, and the centre and scale
// that turn a weight back into the table's units).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/columns_file.hpp"
#include "state/map_reading.hpp"

namespace som {

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
