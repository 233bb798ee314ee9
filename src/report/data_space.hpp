// The map laid over its samples in the data's own space, brought down to a
// plane: the data's own plane for two components, the plane of the data's
// first two principal components for three and more, and for one component
// each weight against the neuron's place along the map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "som/map/map_storage.hpp"
#include "som/map/principal_components.hpp"

namespace som {

// The most samples drawn; of larger data sets every k-th sample is drawn.
inline constexpr std::uint32_t max_sample_dots = 10000;

enum class space_kind {
  none,        // the vectors have no component
  along_map,   // one component: the weight against the neuron's column (row for one column)
  data_plane,  // two components: the data's own plane
  principal,   // three and more: see `plane`
};

struct data_space_view {
  space_kind kind = space_kind::none;
  principal_plane plane;  // kind principal: the plane and how it was found
  // Every neuron, row-major; NaN where a coordinate is not finite.
  std::vector<double> neuron_x, neuron_y;
  // The samples drawn (finite ones only), in file order.
  std::vector<double> sample_x, sample_y;
  std::vector<std::uint32_t> sample_index;  // each drawn sample's place in data.txt
  std::uint32_t sample_step = 1;         // every sample_step-th sample is drawn
  std::uint32_t samples_not_finite = 0;  // of those, left out for a component that is not finite
  std::string x_label, y_label;  // raw text
  bool same_scale = true;  // both axes in the data's units (false for along_map)
  // The numbers on an axis: a coordinate v is written as v × scale + centre
  // (the table's units of a component, where sloupce.txt gives them).
  struct axis_units {
    double scale = 1.0;
    double centre = 0.0;
  };
  axis_units x_units, y_units;
};

// The neurons' weights (plain layout) and the samples as points of the
// plane. For one component a sample stands at the place of the neuron that
// `assignments` gives it (when there is one per sample).
data_space_view make_data_space_view(const weight_grid& grid, const sample_matrix& samples,
                                     const assignment_table& assignments);

}  // namespace som
