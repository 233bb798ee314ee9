#include "report/data_columns.hpp"

namespace som {

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
