// What the programs that only read a trained map (som_report, som_map) read
// of its folder, with the same refusals: setup.txt without its echo, the
// saved map's vahy.bin and vystup.txt from their bytes, which must fit the
// map and the samples exactly, and popisky.txt and sloupce.txt where they
// are there. Unlike
// som_train, a reader never finishes a save that was cut off.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.hpp"
#include "formats/columns_file.hpp"
#include "formats/labels_file.hpp"
#include "formats/setup_file.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// Each reader returns the refusal (common/failure.hpp; the words are in
// common/messages.hpp) or none.

// Reads setup.txt from the working folder without its echo.
failure read_setup_quietly(setup_params& setup);

// Fills the grid from the bytes of vahy.bin, which must hold exactly the
// grid's values.
failure parse_saved_weights(std::string_view bytes, weight_grid& grid);

// Fills the table from the bytes of vystup.txt, which must hold exactly one
// record per sample, each inside the grid.
failure parse_saved_assignments(std::string_view bytes, assignment_table& table,
                                const weight_grid& grid);

// Reads popisky.txt from the working folder where it is there; `labels.present`
// says whether it was. Refused when it cannot be read or its lines do not
// match the samples.
failure read_labels_file(std::uint32_t samples, sample_labels& labels);

// sloupce.txt, where som_data wrote it beside data.txt: what each component
// was in the user's table.
struct data_columns {
  bool present = false;                 // the file was there (and fits the samples)
  std::vector<column_scaling> columns;  // one per component
};

// Reads sloupce.txt from the working folder where it is there. Refused when
// it cannot be read, a line is not what the format says (the refusal names
// it), or it describes another number of columns than the samples'
// dimension: a reader never takes the components for other columns than
// they were.
failure read_columns_file(std::uint32_t dimension, data_columns& columns);

// --shluky K of som_map and som_report (som/map/map_clusters.hpp): a whole
// number from 1 to 4294967295, digits only.
bool parse_cluster_count(std::string_view text, std::uint32_t& value);
// The refusal of more clusters than the map has neurons, or none.
failure cluster_count_refusal(std::uint32_t clusters, std::uint64_t neurons);

}  // namespace som
