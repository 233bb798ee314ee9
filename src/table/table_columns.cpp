#include "table/table_columns.hpp"

#include <cmath>

#include "formats/short_decimal.hpp"
#include "formats/text_folding.hpp"

namespace som {

namespace {

std::string clean_name(std::string name) {
  for (char& c : name)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  std::size_t from = 0;
  while (from < name.size() && name[from] == ' ') ++from;
  std::size_t to = name.size();
  while (to > from && name[to - 1] == ' ') --to;
  return name.substr(from, to - from);
}

bool all_digits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string number_list(const std::vector<std::size_t>& which) {
  std::string out;
  for (std::size_t k = 0; k < which.size(); ++k) {
    if (k != 0) out += ", ";
    out += std::to_string(which[k] + 1);
  }
  return out;
}

}  // namespace

std::vector<table_column> name_columns(const table_reader& table, bool utf8) {
  const std::size_t count = table.dialect().columns;
  std::vector<table_column> columns(count);
  for (std::size_t j = 0; j < count; ++j) {
    std::string name;
    if (j < table.title().size()) name = clean_name(text_as_utf8(table.title()[j], utf8));
    columns[j].unnamed = name.empty();
    columns[j].name = name.empty() ? std::to_string(j + 1) : name;
  }
  return columns;
}

std::size_t find_column(const std::vector<table_column>& columns, const std::string& wanted,
                        const char* option, std::string& message) {
  const std::size_t none = columns.size();
  if (all_digits(wanted)) {
    const std::size_t number = wanted.size() > 9 ? 0 : std::stoul(wanted);
    if (number >= 1 && number <= columns.size()) return number - 1;
    message = std::string("Sloupec ") + wanted + " (" + option + ") v tabulce neni: tabulka ma " +
              std::to_string(columns.size()) + " sloupcu.";
    return none;
  }
  std::vector<std::size_t> exact;
  std::vector<std::size_t> loose;
  const std::string key = loose_key(wanted);
  for (std::size_t j = 0; j < columns.size(); ++j) {
    if (columns[j].name == wanted) exact.push_back(j);
    if (loose_key(columns[j].name) == key) loose.push_back(j);
  }
  const std::vector<std::size_t>& found = !exact.empty() ? exact : loose;
  if (found.size() == 1) return found[0];
  if (found.size() > 1) {
    message = std::string("Nazev ") + ascii_folded(wanted) + " (" + option + ") ma vic sloupcu (" +
              number_list(found) + "); zadejte sloupec jeho cislem.";
    return none;
  }
  std::string names;
  for (std::size_t j = 0; j < columns.size(); ++j) {
    if (j != 0) names += ", ";
    names += std::to_string(j + 1) + " " + ascii_folded(columns[j].name);
  }
  message = std::string("Sloupec ") + ascii_folded(wanted) + " (" + option +
            ") v tabulce neni. Sloupce: " + names + ".";
  return none;
}

std::string assign_roles(std::vector<table_column>& columns, const table_options& options,
                         bool row_names) {
  for (table_column& column : columns) column.role = column_role::component;
  if (row_names && !columns.empty()) columns[0].role = column_role::row_names;
  std::string message;
  for (const std::string& wanted : options.left_out) {
    const std::size_t j = find_column(columns, wanted, "--vynechat", message);
    if (j == columns.size()) return message;
    columns[j].role = column_role::left_out;
  }
  if (!options.labels.empty()) {
    const std::size_t j = find_column(columns, options.labels, "--popisky", message);
    if (j == columns.size()) return message;
    if (columns[j].role == column_role::left_out)
      return "Sloupec " + column_label(columns, j) + " je v --popisky i ve --vynechat.";
    columns[j].role = column_role::labels;
  }
  return {};
}

std::vector<std::size_t> component_columns(const std::vector<table_column>& columns) {
  std::vector<std::size_t> out;
  for (std::size_t j = 0; j < columns.size(); ++j)
    if (columns[j].role == column_role::component) out.push_back(j);
  return out;
}

bool read_components(const std::vector<table_cell>& cells,
                     const std::vector<std::size_t>& components, char decimal_mark, double* values,
                     component_cell* kinds) {
  bool complete = true;
  for (std::size_t k = 0; k < components.size(); ++k) {
    const std::string_view text = cells[components[k]].text;
    double value = 0.0;
    // Most cells are short numbers without blanks around them, which
    // read_cell would read the same way (and always finite).
    if (short_decimal(text.data(), text.size(), decimal_mark, value)) {
      kinds[k] = component_cell::number;
      values[k] = value;
      continue;
    }
    switch (read_cell(text, decimal_mark, value)) {
      case cell_kind::number:
        kinds[k] = std::isfinite(value) ? component_cell::number : component_cell::out_of_range;
        break;
      case cell_kind::missing: kinds[k] = component_cell::missing; break;
      case cell_kind::text: kinds[k] = component_cell::text; break;
    }
    values[k] = value;
    complete = complete && kinds[k] == component_cell::number;
  }
  return complete;
}

std::string column_label(const std::vector<table_column>& columns, std::size_t index) {
  const std::string number = std::to_string(index + 1);
  const std::string name = ascii_folded(columns[index].name);
  return name == number ? number : number + " (" + name + ")";
}

}  // namespace som
