// The codebook picture: every neuron's weights drawn in its own cell of the
// map, as one PNG for the whole map whatever its size.
//
// When the user gives the samples' shape as an image (som_report --obraz
// 8x8: width × height = dimension, row by row), each cell is that small
// image in grey (the map's lowest weight white, its highest black, so that
// ink on paper reads as ink). Otherwise each cell holds the neuron's profile:
// its components from left to right as a line, all cells on one common scale
// (the lowest and highest weight of the drawn components), for at most
// max_profile_components components.
//
// With sloupce.txt, images are drawn in the table's units (the pixels of an
// image share one unit, and the table's values are the image the user
// knows); profiles stay in the values of data.txt, in which the map learnt
// and its components are comparable, and a table gives each component's
// name and what the bottom and top of the common scale are in its column's
// units.
#pragma once

#include <cstdint>
#include <string>

#include "report/data_columns.hpp"
#include "som/map/map_storage.hpp"

namespace som {

inline constexpr std::uint32_t max_profile_components = 64;

struct image_shape {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool given() const { return width != 0; }
};

// "8x8" (also "8X8"): two whole numbers from 1 up, with no other characters.
bool parse_image_shape(const std::string& text, image_shape& shape);

// The picture's pixels and how it is to be scaled.
struct codebook_png {
  std::string png;
  std::uint32_t width = 0, height = 0;  // pixels
  bool pixelated = false;               // images: each weight one crisp square
};

// The grid in the plain layout; with a shape, width × height must be the
// grid's dimension. Profiles are drawn for a picture shown `map_side`
// pixels wide along the map's longer side.
codebook_png draw_codebook(const weight_grid& grid, image_shape shape, double map_side);

// The page's section with the picture on `map_side` pixels along the map's
// longer side; `columns`, where sloupce.txt is there, for the names and units.
std::string codebook_section(const weight_grid& grid, image_shape shape, double map_side,
                             const data_columns* columns = nullptr);

}  // namespace som
