// som_data's command line: the table, and what the user says about it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/table_file.hpp"

namespace som {

enum class scaling_kind {
  standard,  // z: mean and sample standard deviation (the default)
  range,     // 01: minimum and range
  none,      // ne: 0 and 1, the values as they are
};

struct table_options {
  std::string table;                  // the path as given
  std::string labels;                 // --popisky: a column, or empty
  std::vector<std::string> left_out;  // --vynechat: columns
  bool drop_incomplete = false;       // --vynechat-neuplne
  scaling_kind scaling = scaling_kind::standard;
  dialect_request dialect;            // --hlavicka, --oddelovac, --desetinna
  bool replace = false;               // --prepsat
  unsigned threads = 0;               // --vlakna: 0 as many as the processor runs
};

enum class command { convert, help, version, refused };

struct command_line {
  command what = command::refused;
  table_options options;
  std::size_t table_argument = 0;  // the table's place among the arguments
  std::string message;  // why the command line was refused (a line)
};

// Reads one of the options of a table's dialect (--hlavicka ano|ne,
// --oddelovac carka|strednik|tabulator|mezery, --desetinna tecka|carka)
// into `dialect`; false when `option` is none of them or `value` is not one
// of its words. som_map reads tables with the same options.
bool read_dialect_option(std::string_view option, std::string_view value,
                         dialect_request& dialect);
// The refusal of a decimal comma with the comma as separator (a line), or
// nothing.
std::string dialect_conflict(const dialect_request& dialect);

// Reads the arguments after the program's name (already in UTF-8).
command_line parse_command_line(const std::vector<std::string>& arguments);

// "Pouziti: som_data TABULKA [...]", one line.
std::string usage_line();
// What --help prints.
std::string help_text();

}  // namespace som
