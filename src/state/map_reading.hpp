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

#include "formats/columns_file.hpp"
#include "formats/labels_file.hpp"
#include "formats/setup_file.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// What a reader says after a save that was cut off: the three files of the
// saved map may be a mix of the old map and the new one.
inline constexpr const char* save_interrupted_text =
    "Ukladani mapy nebylo dokonceno. Spustte som_train, ktery ho dokonci.";

// A setup.txt whose map has no neuron: there is nothing to draw or map on.
inline constexpr const char* no_neurons_text = "Mapa v souboru setup.txt nema zadny neuron.";

// Reads setup.txt from the working folder without printing its echo.
// Returns the refusal (ending in a line end) or nothing.
std::string read_setup_quietly(setup_params& setup);

// Fills the grid from the bytes of vahy.bin, which must hold exactly the
// grid's values. Returns the refusal or nothing.
std::string parse_saved_weights(std::string_view bytes, weight_grid& grid);

// Fills the table from the bytes of vystup.txt, which must hold exactly one
// record per sample, each inside the grid. Returns the refusal or nothing.
std::string parse_saved_assignments(std::string_view bytes, assignment_table& table,
                                    const weight_grid& grid);

// Reads popisky.txt from the working folder where it is there; `labels.present`
// says whether it was. False after a message (it cannot be read, or its lines
// do not match the samples).
bool read_labels_file(std::uint32_t samples, sample_labels& labels, std::string& message);

// sloupce.txt, where som_data wrote it beside data.txt: what each component
// was in the user's table.
struct data_columns {
  bool present = false;  // the file was there (and fits the samples)
  std::vector<column_scaling> columns;  // one per component
};

// Reads sloupce.txt from the working folder where it is there. False after
// a message: it cannot be read, a line is not what the format says (the
// message names it), or it describes another number of columns than the
// samples' dimension. A reader never takes the components for other
// columns than they were.
bool read_columns_file(std::uint32_t dimension, data_columns& columns, std::string& message);

// --shluky K of som_map and som_report (som/map/map_clusters.hpp): a whole
// number from 1 to 4294967295, digits only.
bool parse_cluster_count(std::string_view text, std::uint32_t& value);
// The refusal of more clusters than the map has neurons (ending in a line
// end), or nothing.
std::string cluster_count_refusal(std::uint32_t clusters, std::uint64_t neurons);

// "Soubor sloupce.txt ma chybny radek 3 (...).\n"
std::string columns_line_message(std::uint64_t line);
// "V souboru sloupce.txt je 4 sloupcu, ale vzorky v souboru setup.txt maji dimenzi 3.\n"
std::string columns_count_message(std::size_t columns, std::uint32_t dimension);

}  // namespace som
