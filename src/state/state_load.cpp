#include "state/state_load.hpp"

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "formats/assignments_file.hpp"
#include "formats/final_parameters.hpp"
#include "formats/weights_file.hpp"

namespace som {

namespace {

failure load_assignments(assignment_table& assignments) {
  return read_input_file(assignments_file_name, [&](byte_reader& reader) {
    if (read_assignments(reader, assignments).result == assignments_reading::outcome::read)
      return failure();
    return failure::of(failure_kind::missing_record, assignments_file_name);
  });
}

}  // namespace

failure load_saved_map(weight_grid& grid, assignment_table& assignments, random_generator& gen,
                       map_origin& origin) {
  origin = map_origin::random;
  input_file file;
  // Only a map that is not there is no map: one that cannot be opened (or a
  // folder in its place) would otherwise be replaced by random weights.
  const bool opened = file.open(weights_file_name);
  if (!opened && !file.missing()) return failure::of(failure_kind::open_failed, weights_file_name);
  if (!opened) {
    init_random_weights(grid, gen);
    return {};
  }
  byte_reader reader(file.source());
  const weights_read read = read_weights(reader, grid);
  if (reader.read_failed()) return failure::of(failure_kind::read_failed, weights_file_name);
  if (reader.out_of_memory()) return failure::of(failure_kind::out_of_memory);
  if (read == weights_read::too_short)
    return failure::of(failure_kind::data_short, weights_file_name);
  if (read == weights_read::too_long)
    return failure::of(failure_kind::weights_too_long, weights_file_name);
  if (!file.close()) return failure::of(failure_kind::close_failed, weights_file_name);
  failure result = load_assignments(assignments);
  if (!result) origin = map_origin::saved;
  return result;
}

std::optional<std::uint32_t> saved_Krok_if_other(std::uint32_t setup_Krok) {
  std::uint32_t saved = 0;
  bool read = false;
  read_input_file(final_parameters_file_name, [&](byte_reader& reader) {
    read = read_final_Krok(reader, saved);
    return failure();
  });
  if (!read || saved == setup_Krok) return std::nullopt;
  return saved;
}

}  // namespace som
