// The numeric state of a run: samples, the map's weights and each sample's
// assignment to a neuron, with the rule for random starting weights.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/owned_block.hpp"
#include "common/random.hpp"

namespace som {

struct grid_pos {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
};
using assignment = grid_pos;

// The three structures below look at memory they do not own: the alloc_
// functions return them inside an `owned` (below), which holds the memory;
// tests and the report also lay them over values of their own.

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
  double* block = nullptr;  // aligned to a cache line when allocated here
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

// A structure above together with the memory it looks at, which goes with
// it: * and -> give the structure, reset() frees the memory at once and
// leaves an empty structure (as std::unique_ptr's do); moved, never copied,
// and a moved-from owner holds an empty structure.
template <class View>
class owned {
 public:
  owned() = default;
  owned(View view, block_ptr<std::byte> memory) : view_(view), memory_(std::move(memory)) {}
  owned(owned&& other) noexcept
      : view_(std::exchange(other.view_, View{})), memory_(std::move(other.memory_)) {}
  owned& operator=(owned&& other) noexcept {
    view_ = std::exchange(other.view_, View{});
    memory_ = std::move(other.memory_);
    return *this;
  }

  void reset() { *this = owned(); }

  View& operator*() { return view_; }
  const View& operator*() const { return view_; }
  View* operator->() { return &view_; }
  const View* operator->() const { return &view_; }

 private:
  View view_{};
  block_ptr<std::byte> memory_;
};

using owned_samples = owned<sample_matrix>;
using owned_grid = owned<weight_grid>;
using owned_assignments = owned<assignment_table>;

// When memory runs out, each alloc_ function returns a structure of the
// asked sizes without memory, which allocation_failed tells.
owned_samples alloc_sample_matrix(std::uint32_t dimension, std::uint32_t samples);

owned_grid alloc_weight_grid(std::uint32_t map_rows, std::uint32_t map_cols,
                             std::uint32_t dimension, std::uint32_t lanes);

// Zero-filled.
owned_assignments alloc_assignment_table(std::uint32_t samples);

bool allocation_failed(const sample_matrix& matrix);
bool allocation_failed(const weight_grid& grid);
bool allocation_failed(const assignment_table& table);

// One starting weight from one draw (0 to 32767): r × 2^-15 − 0.5.
inline double random_weight(std::uint32_t draw) {
  return static_cast<double>(draw) * 0.000030517578125 - 0.5;
}

// Fills every weight from the generator, in neuron order, component order.
void init_random_weights(weight_grid& grid, random_generator& gen);

}  // namespace som
