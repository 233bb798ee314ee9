#include "report/data_columns.hpp"

#include <filesystem>
#include <system_error>
#include <utility>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "common/input_file.hpp"

namespace som {

std::string columns_line_message(std::uint64_t line) {
  return std::string("Soubor ") + columns_file_name + " ma chybny radek " + std::to_string(line) +
         (line == 1 ? " (ocekava se hlavicka nazev, stred, meritko oddelene tabulatory).\n"
                    : " (ocekava se nazev, stred a nenulove meritko oddelene tabulatory).\n");
}

std::string columns_count_message(std::size_t columns, std::uint32_t dimension) {
  return std::string("V souboru ") + columns_file_name + " je " + std::to_string(columns) +
         " sloupcu, ale vzorky v souboru " + setup_file_name + " maji dimenzi " +
         std::to_string(dimension) + ".\n";
}

bool read_columns_file(std::uint32_t dimension, data_columns& columns, std::string& message) {
  columns = data_columns{};
  std::error_code error;
  if (!std::filesystem::exists(columns_file_name, error) && !error) return true;
  std::string bytes;
  message = file_read_message(read_whole_file(columns_file_name, bytes), columns_file_name);
  if (!message.empty()) return false;
  byte_reader reader(bytes);
  columns_reading read = read_columns(reader);
  if (!read.ok()) {
    message = columns_line_message(read.bad_line);
    return false;
  }
  if (read.columns.size() != dimension) {
    message = columns_count_message(read.columns.size(), dimension);
    return false;
  }
  columns.present = true;
  columns.columns = std::move(read.columns);
  return true;
}

std::string column_name(const data_columns* columns, std::uint32_t k) {
  if (in_table_units(columns) && k < columns->columns.size() &&
      columns->columns[k].name.find_first_not_of(' ') != std::string::npos)
    return columns->columns[k].name;
  return {};
}

std::string component_name(const data_columns* columns, std::uint32_t k) {
  std::string name = column_name(columns, k);
  return name.empty() ? "Slozka " + std::to_string(k + 1) : name;
}

}  // namespace som
