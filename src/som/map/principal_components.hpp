// The plane of the first two principal components of a set of vectors: the
// plane through their mean that holds the most of their variance.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "som/map/map_storage.hpp"

namespace som {

// Vectors with more components are not analysed (the covariance matrix alone
// would take 8 MB and more).
inline constexpr std::uint32_t max_principal_dimension = 1024;

enum class plane_kind {
  principal,  // the first two principal components
  no_spread,  // fewer than two finite vectors, or all alike: components 1 and 2
  too_wide,   // more than max_principal_dimension components: components 1 and 2
};

struct principal_plane {
  plane_kind kind = plane_kind::no_spread;
  std::vector<double> mean;                     // of the vectors analysed (0 without any)
  std::array<std::vector<double>, 2> axes;      // unit vectors, most variance first
  std::array<double, 2> variance = {0.0, 0.0};  // along each axis
  double total_variance = 0.0;                  // over all components
  double share = 0.0;           // of the total variance that the plane holds, 0 to 1
  std::uint32_t rows_used = 0;  // the finite vectors analysed
};

// The principal plane of the rows of `rows` (at least two components).
// Rows with a component that is not finite are left out; of very many rows,
// an evenly spaced selection is analysed, so that the work stays near 2 × 10^7
// multiplications. The result depends on the values only, deterministically:
// each axis has its largest component (the first of equal ones) positive.
principal_plane principal_components(const sample_matrix& rows);

// The coordinates of a vector in the plane: its difference from the mean,
// projected on each axis.
std::array<double, 2> project(const principal_plane& plane, const double* vector);

}  // namespace som
