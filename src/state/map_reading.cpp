#include "state/map_reading.hpp"

#include <filesystem>
#include <system_error>
#include <utility>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"
#include "formats/assignments_file.hpp"
#include "formats/weights_file.hpp"

namespace som {

std::string read_setup_quietly(setup_params& setup) {
  return message_of(read_input_file(setup_file_name, [&](byte_reader& reader) {
    const setup_reading reading = read_setup(reader);
    setup = reading.params;
    return setup_refusal(reading);
  }));
}

std::string parse_saved_weights(std::string_view bytes, weight_grid& grid) {
  byte_reader reader(bytes);
  switch (read_weights(reader, grid)) {
    case weights_read::whole: return {};
    case weights_read::too_short:
      return "Soubor vahy.bin je kratsi, nez vyzaduji rozmery mapy v souboru setup.txt.\n";
    case weights_read::too_long: break;
  }
  return std::string(weights_too_long_text) + "\n";
}

std::string parse_saved_assignments(std::string_view bytes, assignment_table& table,
                                    const weight_grid& grid) {
  byte_reader reader(bytes);
  const assignments_reading read =
      read_assignments(reader, table, grid_pos{grid.map_rows, grid.map_cols});
  using outcome = assignments_reading::outcome;
  std::string message;
  switch (read.result) {
    case outcome::read:
      if (only_white_space_left(reader)) return {};
      return "Soubor vystup.txt ma vice zaznamu, nez je vzorku v souboru data.txt.\n";
    case outcome::ended:
      return "Soubor vystup.txt ma mene zaznamu, nez je vzorku v souboru data.txt.\n";
    case outcome::malformed:
      message = "Soubor vystup.txt ma chybny zaznam ";
      append_u32(message, read.record);
      return message + ".\n";
    case outcome::outside: break;
  }
  const assignment& record = table.records[read.record - 1];
  message = "Zaznam ";
  append_u32(message, read.record);
  message += " souboru vystup.txt lezi mimo mapu (radek ";
  append_u32(message, record.row);
  message += ", sloupec ";
  append_u32(message, record.col);
  return message + ").\n";
}

bool read_labels_file(std::uint32_t samples, sample_labels& labels, std::string& message) {
  labels = sample_labels{};
  std::error_code error;
  if (!std::filesystem::exists(labels_file_name, error) && !error) return true;
  std::string bytes;
  message = file_read_message(read_whole_file(labels_file_name, bytes), labels_file_name);
  if (!message.empty()) return false;
  labels_reading read = read_labels(bytes, samples);
  if (!read.ok()) {
    message = std::move(read.message);
    return false;
  }
  labels = std::move(read.labels);
  return true;
}

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

bool parse_cluster_count(std::string_view text, std::uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v == 0 || v > 0xFFFFFFFFu) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

std::string cluster_count_refusal(std::uint32_t clusters, std::uint64_t neurons) {
  if (clusters <= neurons) return {};
  std::string text = "Mapa ma ";
  append_u64(text, neurons);
  text += " neuronu, do ";
  append_u32(text, clusters);
  return text + " shluku ji rozdelit nelze.\n";
}

}  // namespace som
