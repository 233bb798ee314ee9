#include "state/map_reading.hpp"

#include <filesystem>
#include <system_error>
#include <utility>

#include "common/byte_reader.hpp"
#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "formats/assignments_file.hpp"
#include "formats/weights_file.hpp"

namespace som {

namespace {

// The whole of a file that a folder may lack: `present` says whether it is
// there (a name that cannot be looked at counts as there, and is refused
// when it cannot be read).
failure read_file_if_there(const char* name, std::string& bytes, bool& present) {
  std::error_code error;
  present = std::filesystem::exists(name, error) || error;
  if (!present) return {};
  return failure_of(read_whole_file(name, bytes), name);
}

}  // namespace

failure read_setup_quietly(setup_params& setup) {
  return read_input_file(setup_file_name, [&](byte_reader& reader) {
    const setup_reading reading = read_setup(reader);
    setup = reading.params;
    return setup_refusal(reading);
  });
}

failure parse_saved_weights(std::string_view bytes, weight_grid& grid) {
  byte_reader reader(bytes);
  switch (read_weights(reader, grid)) {
    case weights_read::whole: return {};
    case weights_read::too_short:
      return failure::of(failure_kind::weights_short, weights_file_name);
    case weights_read::too_long: break;
  }
  return failure::of(failure_kind::weights_too_long, weights_file_name);
}

failure parse_saved_assignments(std::string_view bytes, assignment_table& table,
                                const weight_grid& grid) {
  byte_reader reader(bytes);
  const assignments_reading read =
      read_assignments(reader, table, grid_pos{grid.map_rows, grid.map_cols});
  using outcome = assignments_reading::outcome;
  switch (read.result) {
    case outcome::read:
      if (only_white_space_left(reader)) return {};
      return failure::of(failure_kind::records_more, assignments_file_name);
    case outcome::ended: return failure::of(failure_kind::records_fewer, assignments_file_name);
    case outcome::malformed:
      return failure::quoting(failure_kind::record_malformed, assignments_file_name, {read.record});
    case outcome::outside: break;
  }
  const assignment& record = table.records[read.record - 1];
  return failure::quoting(failure_kind::record_outside, assignments_file_name,
                          {read.record, record.row, record.col});
}

failure read_labels_file(std::uint32_t samples, sample_labels& labels) {
  labels = sample_labels{};
  std::string bytes;
  bool present = false;
  if (failure problem = read_file_if_there(labels_file_name, bytes, present)) return problem;
  if (!present) return {};
  labels_reading read = read_labels(bytes, samples);
  if (!read.ok()) return std::move(read.problem);
  labels = std::move(read.labels);
  return {};
}

failure read_columns_file(std::uint32_t dimension, data_columns& columns) {
  columns = data_columns{};
  std::string bytes;
  bool present = false;
  if (failure problem = read_file_if_there(columns_file_name, bytes, present)) return problem;
  if (!present) return {};
  byte_reader reader(bytes);
  columns_reading read = read_columns(reader);
  if (!read.ok())
    return failure::quoting(failure_kind::columns_line, columns_file_name, {read.bad_line});
  if (read.columns.size() != dimension)
    return failure::quoting(failure_kind::columns_count, columns_file_name,
                            {read.columns.size(), dimension});
  columns.present = true;
  columns.columns = std::move(read.columns);
  return {};
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

failure cluster_count_refusal(std::uint32_t clusters, std::uint64_t neurons) {
  if (clusters <= neurons) return {};
  return failure::quoting(failure_kind::too_many_clusters, {}, {clusters, neurons});
}

}  // namespace som
