// The columns of a table and what each becomes: a component of the samples,
// the labels, or nothing. The user names columns by number or name; the
// reading of a row's components is one function, so that both passes over
// the table decide every row alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/table_file.hpp"
#include "table/table_options.hpp"

namespace som {

enum class column_role {
  component,  // a number in every kept row
  labels,     // --popisky
  left_out,   // --vynechat
  row_names,  // the first column of a table whose title row is one cell short
};

struct table_column {
  std::string name;  // UTF-8; the column's number where the table gives none
  bool unnamed = true;
  column_role role = column_role::component;
};

// The columns' names from the title row (or their numbers without one):
// the text as UTF-8 (from Windows-1250 where `utf8` is false), blanks
// around it dropped, tabs and line breaks made spaces (sloupce.txt holds one
// name a line, tab-separated), and the column's number for an empty name.
std::vector<table_column> name_columns(const table_reader& table, bool utf8);

// Finds the column the user means by `wanted`: a number from 1 up is the
// column's number; otherwise the name, exactly, or else ignoring case and
// diacritics ("trida" finds "Třída"). Returns its index, or sets `message`
// (a line naming the option) when there is none or more than one.
std::size_t find_column(const std::vector<table_column>& columns, const std::string& wanted,
                        const char* option, std::string& message);

// Gives every column its role from the options; a message when an option
// names no column, or one column twice.
std::string assign_roles(std::vector<table_column>& columns, const table_options& options,
                         bool row_names);

// The indexes of the component columns, in table order.
std::vector<std::size_t> component_columns(const std::vector<table_column>& columns);

// What a component's cell holds.
enum class component_cell {
  number,        // a finite number
  missing,       // empty, or a word for a missing value
  text,          // not a number
  out_of_range,  // a number beyond the doubles (1e999)
};

// Reads the row's component cells: each one's value into `values` and its
// kind into `kinds` (one per component). True when every one is a number.
bool read_components(const std::vector<table_cell>& cells,
                     const std::vector<std::size_t>& components, char decimal_mark, double* values,
                     component_cell* kinds);

// "sloupec 3 (Delka)": a column as the console names it (ASCII).
std::string column_label(const std::vector<table_column>& columns, std::size_t index);

}  // namespace som
