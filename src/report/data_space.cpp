#include "report/data_space.hpp"

#include <cmath>
#include <limits>

namespace som {

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// The neuron's place along the map: its column, or its row on a map of one column.
double place_of(const weight_grid& grid, std::size_t neuron) {
  return grid.map_cols > 1 ? static_cast<double>(neuron % grid.map_cols)
                           : static_cast<double>(neuron / grid.map_cols);
}

}  // namespace

data_space_view make_data_space_view(const weight_grid& grid, const sample_matrix& samples,
                                     const assignment_table& assignments) {
  data_space_view view;
  const std::uint32_t dim = grid.dimension;
  if (dim == 0) return view;
  view.kind = dim == 1   ? space_kind::along_map
              : dim == 2 ? space_kind::data_plane
                         : space_kind::principal;
  if (view.kind == space_kind::principal) view.plane = principal_components(samples);

  // Each vector's two coordinates; the place along the map for one component.
  auto coordinates = [&](const double* v, double place, double& x, double& y) {
    switch (view.kind) {
      case space_kind::along_map:
        x = place;
        y = v[0];
        break;
      case space_kind::data_plane:
        x = v[0];
        y = v[1];
        break;
      case space_kind::principal: {
        const std::array<double, 2> p = project(view.plane, v);
        x = p[0];
        y = p[1];
        break;
      }
      case space_kind::none: break;
    }
  };

  view.neuron_x.resize(grid.neurons);
  view.neuron_y.resize(grid.neurons);
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    double x = 0.0, y = 0.0;
    coordinates(grid.block + n * dim, place_of(grid, n), x, y);
    const bool finite = std::isfinite(x) && std::isfinite(y);
    view.neuron_x[n] = finite ? x : not_a_number;
    view.neuron_y[n] = finite ? y : not_a_number;
  }

  view.sample_step = samples.count <= max_sample_dots
                         ? 1
                         : (samples.count + max_sample_dots - 1) / max_sample_dots;
  const bool assigned = assignments.count == samples.count && assignments.records != nullptr;
  for (std::uint64_t s = 0; s < samples.count; s += view.sample_step) {
    const auto i = static_cast<std::uint32_t>(s);
    double place = not_a_number;
    if (assigned) {
      const assignment& a = assignments.records[i];
      if (a.row < grid.map_rows && a.col < grid.map_cols)
        place = place_of(grid, std::size_t{a.row} * grid.map_cols + a.col);
    }
    const double* values = samples.row(i);
    bool finite = true;
    for (std::uint32_t k = 0; k < dim; ++k) finite = finite && std::isfinite(values[k]);
    if (!finite) {
      ++view.samples_not_finite;
      continue;
    }
    double x = 0.0, y = 0.0;
    coordinates(values, place, x, y);
    // Without a place along the map (or past the range of doubles) a sample
    // is not drawn.
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    view.sample_x.push_back(x);
    view.sample_y.push_back(y);
    view.sample_index.push_back(i);
  }

  switch (view.kind) {
    case space_kind::along_map:
      view.x_label = grid.map_cols > 1 ? "sloupec neuronu" : "radek neuronu";
      view.y_label = "vaha (slozka 1)";
      view.same_scale = false;
      break;
    case space_kind::data_plane:
      view.x_label = "slozka 1";
      view.y_label = "slozka 2";
      break;
    case space_kind::principal:
      view.x_label = view.plane.kind == plane_kind::principal ? "1. hlavni komponenta" : "slozka 1";
      view.y_label = view.plane.kind == plane_kind::principal ? "2. hlavni komponenta" : "slozka 2";
      break;
    case space_kind::none: break;
  }
  return view;
}

}  // namespace som
