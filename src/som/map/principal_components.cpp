#include "som/map/principal_components.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace som {

namespace {

using vector_d = std::vector<double>;

// The work the covariance may take, in multiplications.
constexpr double covariance_budget = 2e7;

bool finite_row(const double* row, std::uint32_t dim) {
  for (std::uint32_t k = 0; k < dim; ++k)
    if (!std::isfinite(row[k])) return false;
  return true;
}

double dot(const vector_d& a, const vector_d& b) {
  double sum = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) sum = sum + a[k] * b[k];
  return sum;
}

// Makes `v` orthogonal to `against` (a unit vector), twice for accuracy.
void orthogonalise(vector_d& v, const vector_d& against) {
  for (int pass = 0; pass < 2; ++pass) {
    const double along = dot(v, against);
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = v[k] - along * against[k];
  }
}

// Scales `v` to length 1; false when it is too short to have a direction
// of its own (shorter than `reference` × 1e-12).
bool normalise(vector_d& v, double reference) {
  const double length = std::sqrt(dot(v, v));
  if (!(length > reference * 1e-12) || !(length > 0.0)) return false;
  for (double& x : v) x = x / length;
  return true;
}

// A unit vector orthogonal to the unit vector `first`: the component axis
// along which `first` is shortest, made orthogonal to it.
vector_d complement(const vector_d& first) {
  std::size_t k = 0;
  for (std::size_t i = 1; i < first.size(); ++i)
    if (std::abs(first[i]) < std::abs(first[k])) k = i;
  vector_d v(first.size(), 0.0);
  v[k] = 1.0;
  orthogonalise(v, first);
  normalise(v, 0.0);
  return v;
}

vector_d times(const vector_d& matrix, const vector_d& v) {
  const std::size_t d = v.size();
  vector_d out(d, 0.0);
  for (std::size_t i = 0; i < d; ++i) {
    double sum = 0.0;
    for (std::size_t j = 0; j < d; ++j) sum = sum + matrix[i * d + j] * v[j];
    out[i] = sum;
  }
  return out;
}

// The largest component (the first of equal ones) made positive.
void fix_sign(vector_d& v) {
  std::size_t k = 0;
  for (std::size_t i = 1; i < v.size(); ++i)
    if (std::abs(v[i]) > std::abs(v[k])) k = i;
  if (v[k] < 0.0)
    for (double& x : v) x = -x;
}

// The top two eigenvectors of the symmetric positive semi-definite matrix
// (d × d, trace > 0), by subspace iteration: multiply a pair of orthonormal
// vectors by the matrix, make them orthonormal again and turn them within
// their plane to the matrix's own axes there (Rayleigh-Ritz), until the
// residuals are at the level of rounding. The pair converges to the plane of
// the top two eigenvectors even where their eigenvalues are close.
std::array<vector_d, 2> top_two(const vector_d& matrix, std::size_t d, double trace,
                                std::array<double, 2>& values) {
  // Start on the two components with the largest variance.
  std::size_t a = 0, b = 1;
  if (matrix[1 * d + 1] > matrix[0]) std::swap(a, b);
  for (std::size_t i = 2; i < d; ++i) {
    const double v = matrix[i * d + i];
    if (v > matrix[a * d + a]) {
      b = a;
      a = i;
    } else if (v > matrix[b * d + b]) {
      b = i;
    }
  }
  std::array<vector_d, 2> q = {vector_d(d, 0.0), vector_d(d, 0.0)};
  q[0][a] = 1.0;
  q[1][b] = 1.0;
  const int max_iterations = static_cast<int>(
      std::clamp(5e7 / (static_cast<double>(d) * static_cast<double>(d)), 50.0, 1000.0));
  for (int iteration = 0; iteration < max_iterations; ++iteration) {
    std::array<vector_d, 2> w = {times(matrix, q[0]), times(matrix, q[1])};
    if (iteration > 0) {
      // The residuals of the last turn, ‖A q − λ q‖, measured on the way.
      double residual = 0.0;
      for (int c = 0; c < 2; ++c) {
        double sum = 0.0;
        for (std::size_t k = 0; k < d; ++k) {
          const double r = w[c][k] - values[c] * q[c][k];
          sum = sum + r * r;
        }
        residual = std::max(residual, std::sqrt(sum));
      }
      if (residual <= trace * 1e-13) break;
    }
    if (!normalise(w[0], trace)) w[0] = complement(q[1]);
    orthogonalise(w[1], w[0]);
    if (!normalise(w[1], trace)) w[1] = complement(w[0]);
    // The matrix within the plane of w: [[h00, h01], [h01, h11]].
    const vector_d a0 = times(matrix, w[0]), a1 = times(matrix, w[1]);
    const double h00 = dot(w[0], a0), h01 = dot(w[0], a1), h11 = dot(w[1], a1);
    const double angle = 0.5 * std::atan2(2.0 * h01, h00 - h11);
    const double c = std::cos(angle), s = std::sin(angle);
    for (std::size_t k = 0; k < d; ++k) {
      q[0][k] = c * w[0][k] + s * w[1][k];
      q[1][k] = c * w[1][k] - s * w[0][k];
    }
    values[0] = c * c * h00 + 2.0 * s * c * h01 + s * s * h11;
    values[1] = s * s * h00 - 2.0 * s * c * h01 + c * c * h11;
  }
  for (vector_d& v : q) fix_sign(v);
  return q;
}

}  // namespace

principal_plane principal_components(const sample_matrix& rows) {
  principal_plane plane;
  const std::uint32_t dim = rows.dimension;
  plane.mean.assign(dim, 0.0);
  for (int i = 0; i < 2; ++i) {
    plane.axes[i].assign(dim, 0.0);
    if (static_cast<std::uint32_t>(i) < dim) plane.axes[i][i] = 1.0;
  }
  if (dim > max_principal_dimension) {
    plane.kind = plane_kind::too_wide;
    return plane;
  }
  if (dim < 2) return plane;

  // An evenly spaced selection of the finite rows, within the budget.
  const double per_row = static_cast<double>(dim) * (dim + 1) / 2.0;
  const auto limit = static_cast<std::uint32_t>(std::max(500.0, covariance_budget / per_row));
  const std::uint32_t step = rows.count <= limit ? 1 : (rows.count + limit - 1) / limit;
  std::vector<std::uint32_t> used;
  for (std::uint64_t s = 0; s < rows.count; s += step) {
    if (finite_row(rows.row(static_cast<std::uint32_t>(s)), dim))
      used.push_back(static_cast<std::uint32_t>(s));
  }
  plane.rows_used = static_cast<std::uint32_t>(used.size());
  if (used.empty()) return plane;
  const double n = static_cast<double>(used.size());
  for (std::uint32_t s : used)
    for (std::uint32_t k = 0; k < dim; ++k) plane.mean[k] = plane.mean[k] + rows.row(s)[k];
  for (double& m : plane.mean) m = m / n;
  if (used.size() < 2) return plane;

  // The differences from the mean, scaled to at most 1, so that their
  // squares neither overflow nor underflow.
  double scale = 0.0;
  for (std::uint32_t s : used)
    for (std::uint32_t k = 0; k < dim; ++k)
      scale = std::max(scale, std::abs(rows.row(s)[k] - plane.mean[k]));
  if (!(scale > 0.0) || !std::isfinite(scale)) return plane;
  const std::size_t d = dim;
  vector_d covariance(d * d, 0.0);
  vector_d centred(d);
  for (std::uint32_t s : used) {
    for (std::size_t k = 0; k < d; ++k) centred[k] = (rows.row(s)[k] - plane.mean[k]) / scale;
    for (std::size_t i = 0; i < d; ++i)
      for (std::size_t j = i; j < d; ++j)
        covariance[i * d + j] = covariance[i * d + j] + centred[i] * centred[j];
  }
  double trace = 0.0;
  for (std::size_t i = 0; i < d; ++i) {
    for (std::size_t j = i; j < d; ++j) {
      covariance[i * d + j] = covariance[i * d + j] / n;
      covariance[j * d + i] = covariance[i * d + j];
    }
    trace = trace + covariance[i * d + i];
  }
  if (!(trace > 0.0)) return plane;

  std::array<double, 2> values = {0.0, 0.0};
  plane.axes = top_two(covariance, d, trace, values);
  plane.kind = plane_kind::principal;
  const double squared_scale = scale * scale;
  for (int i = 0; i < 2; ++i) plane.variance[i] = std::max(0.0, values[i]) * squared_scale;
  plane.total_variance = trace * squared_scale;
  plane.share = std::clamp((std::max(0.0, values[0]) + std::max(0.0, values[1])) / trace, 0.0, 1.0);
  return plane;
}

std::array<double, 2> project(const principal_plane& plane, const double* vector) {
  std::array<double, 2> out = {0.0, 0.0};
  for (std::size_t k = 0; k < plane.mean.size(); ++k) {
    const double difference = vector[k] - plane.mean[k];
    out[0] = out[0] + difference * plane.axes[0][k];
    out[1] = out[1] + difference * plane.axes[1][k];
  }
  return out;
}

}  // namespace som
