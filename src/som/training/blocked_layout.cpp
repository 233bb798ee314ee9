#include "som/training/blocked_layout.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>

namespace som {

namespace {

constexpr std::size_t line = 64;  // bytes: a tile of tile_lanes doubles

bool in_range(double v) { return std::fabs(v) <= blocked_layout::largest_value; }

std::uint32_t round_up(std::uint32_t n) {
  return (n + kernels::tile_lanes - 1) / kernels::tile_lanes * kernels::tile_lanes;
}

}  // namespace

void blocked_layout::aligned_free::operator()(double* p) const {
  ::operator delete[](p, std::align_val_t{line});
}

blocked_layout::doubles blocked_layout::allocate(std::size_t count) {
  void* p = ::operator new[](count * sizeof(double), std::align_val_t{line}, std::nothrow);
  return doubles(static_cast<double*>(p));
}

bool blocked_layout::suits(const weight_grid& grid, std::uint32_t samples, double learning_rate) {
  if (grid.block == nullptr || grid.lanes != kernels::tile_lanes || grid.dimension == 0) {
    return false;
  }
  // At most 2^31 neurons: block and neuron numbers fit their 32 bits.
  if (grid.neurons > (std::size_t{1} << 31)) return false;
  const std::size_t blocks = std::size_t{(grid.map_rows + 1) / 2} * ((grid.map_cols + 1) / 2);
  const std::size_t padded = (blocks + kernels::tile_lanes - 1) / kernels::tile_lanes *
                             kernels::tile_lanes;
  if (samples != 0 && padded > largest_table / samples) return false;
  return learning_rate >= 0.0 && learning_rate <= 1.0;
}

bool blocked_layout::load_samples(const sample_matrix& samples) {
  samples_from_ = samples.block;
  sample_count_ = samples.count;
  samples_fit_ = false;
  samples_largest_ = 0.0;
  const std::uint32_t stride = args_.stride;
  samples_ = allocate(std::size_t{samples.count} * stride + 1);
  if (!samples_) return false;
  for (std::uint32_t s = 0; s < samples.count; ++s) {
    const double* x = samples.row(s);
    double* row = samples_.get() + std::size_t{s} * stride;
    for (std::uint32_t k = 0; k < stride; ++k) {
      const double v = k < samples.dimension ? x[k] : 0.0;
      if (!in_range(v)) return false;
      samples_largest_ = std::max(samples_largest_, std::fabs(v));
      row[k] = v;
    }
  }
  samples_fit_ = true;
  return true;
}

void blocked_layout::place_centres(const weight_grid& grid) {
  const std::uint32_t stride = args_.stride;
  const std::uint32_t lanes = kernels::tile_lanes;
  for (std::size_t k = 0; k < std::size_t{args_.padded_blocks} * stride; ++k) {
    centre_tiles_[k] = 0.0;
  }
  for (std::uint32_t b = 0; b < args_.blocks; ++b) {
    const std::uint32_t i0 = b / args_.block_cols * 2;
    const std::uint32_t j0 = b % args_.block_cols * 2;
    double* c = centres_.get() + std::size_t{b} * stride;
    for (std::uint32_t k = 0; k < stride; ++k) c[k] = 0.0;
    double members = 0.0;
    for (std::uint32_t i = i0; i < i0 + 2 && i < grid.map_rows; ++i) {
      for (std::uint32_t j = j0; j < j0 + 2 && j < grid.map_cols; ++j) {
        const double* w = weights_.get() + kernels::slot_of(args_, i, j) * stride;
        for (std::uint32_t k = 0; k < stride; ++k) c[k] += w[k];
        members += 1.0;
      }
    }
    // The mean (any point serves: the bounds are taken from this one).
    for (std::uint32_t k = 0; k < stride; ++k) c[k] /= members;
    double* tile = centre_tiles_.get() + std::size_t{b / lanes} * lanes * stride;
    for (std::uint32_t k = 0; k < stride; ++k) tile[std::size_t{k} * lanes + b % lanes] = c[k];
  }
  args_.fill_table = true;
  epochs_since_centres_ = 0;
}

kernels::blocked_args* blocked_layout::load(const sample_matrix& samples, const weight_grid& grid,
                                            bool kept) {
  const bool new_shape = grid.map_rows != map_rows_ || grid.map_cols != map_cols_ ||
                         grid.dimension != dimension_ || !weights_;
  if (new_shape) {
    // Weights kept for a map of another shape cannot be this grid's: its
    // tiles are the only weights there are.
    kept = false;
    map_rows_ = grid.map_rows;
    map_cols_ = grid.map_cols;
    dimension_ = grid.dimension;
    args_ = kernels::blocked_args{};
    args_.stride = round_up(grid.dimension);
    args_.block_cols = (grid.map_cols + 1) / 2;
    args_.blocks = (grid.map_rows + 1) / 2 * args_.block_cols;
    args_.padded_blocks = round_up(args_.blocks);
    // Exact: 4 (n + 8) 2^-53 is a multiple of 2^-51 below 2^-18.
    const double widening = static_cast<double>(std::uint64_t{grid.dimension} + 8) * 0x1p-51;
    args_.above = 1.0 + widening;
    args_.below = 1.0 - widening;
    weights_ = allocate(std::size_t{args_.blocks} * 4 * args_.stride);
    centres_ = allocate(std::size_t{args_.blocks} * args_.stride);
    centre_tiles_ = allocate(std::size_t{args_.padded_blocks} * args_.stride);
    neuron_reach_ = allocate(std::size_t{args_.blocks} * 4);
    block_reach_ = allocate(args_.padded_blocks);
    args_.runs = (args_.padded_blocks + kernels::blocks_in_run - 1) / kernels::blocks_in_run;
    run_reach_ = allocate(args_.runs);
    samples_from_ = nullptr;
    epochs_since_centres_ = centres_last;
    if (!weights_ || !centres_ || !centre_tiles_ || !neuron_reach_ || !block_reach_ ||
        !run_reach_) {
      weights_.reset();
      return nullptr;
    }
    // The slots of missing neurons too, which the checks of kept weights
    // read.
    std::fill(weights_.get(), weights_.get() + std::size_t{args_.blocks} * 4 * args_.stride, 0.0);
  }
  if (samples.block != samples_from_ || samples.count != sample_count_) {
    table_.reset();
    run_table_.reset();
    if (!load_samples(samples)) return nullptr;
    table_ = allocate(std::size_t{samples.count} * args_.padded_blocks + 1);
    run_table_ = allocate(std::size_t{samples.count} * args_.runs + 1);
    if (!table_ || !run_table_) {
      samples_from_ = nullptr;
      return nullptr;
    }
    args_.fill_table = true;
  }
  if (!samples_fit_) return nullptr;
  if (kept) {
    // Moved by the last epoch, the weights may have grown (see keep()):
    // they are looked at again only once their bound passes the range.
    if (weights_bound_ > largest_value) {
      weights_bound_ = 0.0;
      const std::size_t values = std::size_t{args_.blocks} * 4 * args_.stride;
      for (std::size_t k = 0; k < values; ++k) {
        if (!in_range(weights_[k])) return nullptr;
        weights_bound_ = std::max(weights_bound_, std::fabs(weights_[k]));
      }
    }
  }
  // The tiles into the neurons' slots, a component of a whole tile at a
  // time (the tile's lines are read in order).
  const std::uint32_t stride = args_.stride;
  const std::uint32_t lanes = kernels::tile_lanes;
  if (!kept) weights_bound_ = 0.0;
  for (std::size_t t = 0; !kept && t < grid.tiles; ++t) {
    double* rows[kernels::tile_lanes];
    const std::uint32_t count = tile_rows(grid, t, rows);
    const double* tile = grid.block + t * lanes * grid.dimension;
    bool fits = true;
    for (std::uint32_t k = 0; k < grid.dimension; ++k) {
      const double* from = tile + std::size_t{k} * lanes;
      for (std::uint32_t l = 0; l < count; ++l) {
        fits &= in_range(from[l]);
        weights_bound_ = std::max(weights_bound_, std::fabs(from[l]));
        rows[l][k] = from[l];
      }
    }
    if (!fits) return nullptr;
    for (std::uint32_t l = 0; l < count; ++l) {
      for (std::uint32_t k = grid.dimension; k < stride; ++k) rows[l][k] = 0.0;
    }
  }
  if (epochs_since_centres_ >= centres_last ||
      (epochs_since_centres_ > 1 && reach_sum() > reach_at_centres_ * reach_growth)) {
    place_centres(grid);
  }
  ++epochs_since_centres_;
  args_.weights = weights_.get();
  args_.samples = samples_.get();
  args_.centres = centres_.get();
  args_.centre_tiles = centre_tiles_.get();
  args_.neuron_reach = neuron_reach_.get();
  args_.block_reach = block_reach_.get();
  args_.run_reach = run_reach_.get();
  args_.run_table = run_table_.get();
  args_.table = table_.get();
  args_.screened = 0;
  args_.measured = 0;
  return &args_;
}

double blocked_layout::reach_sum() const {
  double sum = 0.0;
  for (std::uint32_t b = 0; b < args_.blocks; ++b) sum += block_reach_[b];
  return sum;
}

void blocked_layout::keep() {
  if (epochs_since_centres_ == 1) reach_at_centres_ = reach_sum();
  // The epoch has grown the weights by less than a factor 1 + 2^-17
  // (docs/proofs/distance-bounds.md, the range: each weight moves at most
  // once per sample, towards a sample no larger than samples_largest_).
  weights_bound_ = std::max(weights_bound_, samples_largest_) * (1.0 + 0x1p-16);
}

void blocked_layout::store(weight_grid& grid) const {
  const std::uint32_t lanes = kernels::tile_lanes;
  for (std::size_t t = 0; t < grid.tiles; ++t) {
    double* rows[kernels::tile_lanes];
    const std::uint32_t count = tile_rows(grid, t, rows);
    double* tile = grid.block + t * lanes * grid.dimension;
    for (std::uint32_t k = 0; k < grid.dimension; ++k) {
      double* to = tile + std::size_t{k} * lanes;
      for (std::uint32_t l = 0; l < count; ++l) to[l] = rows[l][k];
    }
  }
}

std::uint32_t blocked_layout::tile_rows(const weight_grid& grid, std::size_t t,
                                        double** rows) const {
  std::uint32_t count = 0;
  for (std::size_t n = t * kernels::tile_lanes; n < grid.neurons && count < kernels::tile_lanes;
       ++n, ++count) {
    rows[count] = weights_.get() + slot_of_neuron(n) * args_.stride;
  }
  return count;
}

std::size_t blocked_layout::slot_of_neuron(std::size_t n) const {
  return kernels::slot_of(args_, static_cast<std::uint32_t>(n / map_cols_),
                          static_cast<std::uint32_t>(n % map_cols_));
}

}  // namespace som
