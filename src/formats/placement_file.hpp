// zarazeni.txt: where som_map placed each new sample on a trained map, one
// line per sample in the order of its input, tab-separated, under a header
// line that names the columns:
//
//   radek<TAB>sloupec<TAB>vzdalenost<TAB>sousedni[<TAB>popisek<TAB>odhad][<TAB>shluk][<TAB>skutecny]
//   3<TAB>11<TAB>0.41283519063400316<TAB>1<TAB>setosa<TAB>0<TAB>2<TAB>setosa
//
// radek, sloupec: the best-matching neuron, counted from 0 as in vystup.txt;
// vzdalenost: the Euclidean distance to its weights, the shortest decimal
// that reads back to the same double ("inf" beyond the largest double);
// sousedni: 1 when the second-best neuron is a direct grid neighbour of the
// best (or the map has one neuron), 0 when not (the sample's topographic
// error). With the map's labels (popisky.txt): popisek, the label predicted
// (empty when the map has no labelled neuron), and odhad, 1 when it comes
// from the nearest labelled neuron because the sample's own neuron has no
// labelled training sample. With clusters: shluk, the neuron's cluster
// (from 1). With true labels: skutecny (empty for a sample without one).
// Labels hold no tab, CR or LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_reader.hpp"
#include "common/byte_sink.hpp"
#include "som/map/map_storage.hpp"

namespace som {

struct placement {
  grid_pos unit;
  double distance = 0.0;
  bool neighbour = true;
  std::string label;
  bool borrowed = false;
  std::uint32_t cluster = 0;
  std::string true_label;
};

struct placement_table {
  // Which of the optional columns the file has.
  bool labels = false;       // popisek, odhad
  bool clusters = false;     // shluk
  bool true_labels = false;  // skutecny
  std::vector<placement> rows;
};

// The header line of a table with these columns, without its line end.
std::string placement_header(const placement_table& table);

// Writes the header and one line per sample, with the host's line ends;
// false as soon as the sink fails. Distances must not be negative or a NaN.
bool write_placements(const placement_table& table, byte_sink& sink);

struct placements_reading {
  placement_table table;
  // The first line (1-based, the header is line 1) that is not what the
  // format says, 0 when every line is; the rows before it stay.
  std::uint64_t bad_line = 0;
  bool ok() const { return bad_line == 0; }
};

// Reads the header, which must be one that write_placements writes, and
// the lines up to the end (LF or CR LF; blank lines after the last sample
// are allowed).
placements_reading read_placements(byte_reader& reader);

}  // namespace som
