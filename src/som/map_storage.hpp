// The numeric state of a run: samples, the map's weights and each sample's
// assignment to a neuron, with the rule for random starting weights.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/random.hpp"

namespace som {

struct grid_pos {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
};
using assignment = grid_pos;

// N rows of `dimension` doubles in one row-major block.
struct sample_matrix {
  double* block = nullptr;
  std::uint32_t count = 0;  // N
  std::uint32_t dimension = 0;

  const double* row(std::uint32_t i) const { return block + std::size_t{i} * dimension; }
  double* row(std::uint32_t i) { return block + std::size_t{i} * dimension; }
};

// The weights of map_rows × map_cols neurons, `dimension` doubles each.
//
// Neurons are numbered in row-major order (n = row × map_cols + col), which
// is the order of the weights file and of the random draws. In memory they
// are kept in tiles of `lanes` neurons: component k of the neurons of one
// tile lies in `lanes` consecutive doubles, so that the training kernels can
// work on the neurons of a tile side by side. With lanes = 1 this is the plain
// row-major block, neuron after neuron. Unused lanes of the last tile hold NaN,
// which never compares as nearer than anything.
struct weight_grid {
  double* block = nullptr;
  void* allocation = nullptr;
  std::uint32_t map_rows = 0;
  std::uint32_t map_cols = 0;
  std::uint32_t dimension = 0;
  std::uint32_t lanes = 1;
  std::size_t neurons = 0;  // map_rows × map_cols
  std::size_t tiles = 0;    // neurons / lanes, rounded up

  std::size_t offset(std::size_t neuron, std::uint32_t k) const {
    return (neuron / lanes) * lanes * dimension + std::size_t{k} * lanes + neuron % lanes;
  }
  double& at(std::size_t neuron, std::uint32_t k) { return block[offset(neuron, k)]; }
  double at(std::size_t neuron, std::uint32_t k) const { return block[offset(neuron, k)]; }
};

// N assignment records.
struct assignment_table {
  assignment* records = nullptr;
  std::uint32_t count = 0;
};

// False for sizes whose element counts or byte sizes cannot be represented
// on this host (the run then says "Malo pameti!"). Asked before any
// allocation.
bool run_sizes_fit(std::uint32_t samples, std::uint32_t dimension, std::uint32_t map_rows,
                   std::uint32_t map_cols, std::uint32_t lanes);

// When memory runs out, each alloc_ function returns a structure of the
// asked sizes without memory, which allocation_failed tells.
sample_matrix alloc_sample_matrix(std::uint32_t dimension, std::uint32_t samples);
void free_sample_matrix(sample_matrix& matrix);

weight_grid alloc_weight_grid(std::uint32_t map_rows, std::uint32_t map_cols,
                              std::uint32_t dimension, std::uint32_t lanes);
void free_weight_grid(weight_grid& grid);

// Zero-filled.
assignment_table alloc_assignment_table(std::uint32_t samples);
void free_assignment_table(assignment_table& table);

bool allocation_failed(const sample_matrix& matrix);
bool allocation_failed(const weight_grid& grid);
bool allocation_failed(const assignment_table& table);

// Owns a structure made by its alloc_ function and frees it with the
// matching free_ function when it goes, or earlier at reset() (the names
// mean what std::unique_ptr's do).
template <class T, void (*Free)(T&)>
class owned {
 public:
  owned() = default;
  explicit owned(T value) : value_(value) {}
  ~owned() { Free(value_); }
  owned(const owned&) = delete;
  owned& operator=(const owned&) = delete;

  // Frees what is held and takes `value` (an empty structure by default:
  // the free_ functions leave one).
  void reset(T value = T{}) {
    Free(value_);
    value_ = value;
  }

  T& operator*() { return value_; }
  T* operator->() { return &value_; }

 private:
  T value_{};
};

using owned_samples = owned<sample_matrix, free_sample_matrix>;
using owned_grid = owned<weight_grid, free_weight_grid>;
using owned_assignments = owned<assignment_table, free_assignment_table>;

// One starting weight from one draw (0 to 32767): r × 2^-15 − 0.5.
inline double random_weight(std::uint32_t draw) {
  return static_cast<double>(draw) * 0.000030517578125 - 0.5;
}

// Fills every weight from the generator, in neuron order, component order.
void init_random_weights(weight_grid& grid, random_generator& gen);

}  // namespace som
