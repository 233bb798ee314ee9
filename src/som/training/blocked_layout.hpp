// The weights of the blocked search (kernels::blocked_args) beside the
// grid's tiles: an epoch that takes it copies the weights in before the
// kernel runs, unless the last epoch left them here, and they are written
// back when the trainer's session ends or an epoch of another kind needs
// the tiles; the blocks' centres and each sample's bounds on its distance
// to them stay for a few epochs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "som/kernels/kernel.hpp"
#include "som/map/map_storage.hpp"

namespace som {

class blocked_layout {
 public:
  // The centres stay while the blocks' bounds on their neurons' distance
  // to them (which only the neurons' moves loosen) stay within a tenth of
  // their sum in the centres' first epoch, and at most this many epochs: a
  // new table costs a quarter of a full search of every sample, and late in
  // a schedule the neurons move so little that it would rarely be due
  // (docs/performance.md).
  static constexpr std::uint32_t centres_last = 32;
  static constexpr double reach_growth = 1.1;
  // The table of bounds (samples × blocks) pays while it stays this small.
  static constexpr std::size_t largest_table = std::size_t{1} << 23;
  // Values of larger magnitude than this are left to the other searches
  // (the blocked search's bounds need room below the largest double: see
  // docs/proofs/distance-bounds.md).
  static constexpr double largest_value = 0x1p480;

  // Whether an epoch with this rate on this map can take the blocked search
  // at all (the values are checked by load).
  static bool suits(const weight_grid& grid, std::uint32_t samples, double learning_rate);

  // Lays out the grid's weights (in tiles of tile_lanes) for an epoch over
  // `samples`, and returns its arguments; null where a sample value or a
  // weight is not a number, infinite or larger than largest_value, or where
  // memory runs short (the epoch then searches otherwise). The samples must
  // keep their values while this layout lives, as a run's do: their copy and
  // table are made again only when their address or size changes. Where
  // `kept` (the last epoch ran here on this grid, whose tiles have not been
  // written since), the weights are those the layout holds, not the tiles'.
  kernels::blocked_args* load(const sample_matrix& samples, const weight_grid& grid,
                              bool kept = false);

  // After each epoch that ran here: the weights it moved are now ahead of
  // the grid's tiles.
  void keep();

  // Writes the weights into the grid's tiles (that of the last epoch).
  void store(weight_grid& grid) const;

 private:
  struct aligned_free {
    void operator()(double* p) const;
  };
  using doubles = std::unique_ptr<double[], aligned_free>;
  static doubles allocate(std::size_t count);

  bool load_samples(const sample_matrix& samples);
  void place_centres(const weight_grid& grid);
  // The blocks' bounds on their neurons' distance to the centres, summed
  // as the last epoch left them.
  double reach_sum() const;
  // Where neuron n (in row-major order) lies in weights_, and where the
  // neurons of tile t do (returns how many of its lanes hold neurons).
  std::size_t slot_of_neuron(std::size_t n) const;
  std::uint32_t tile_rows(const weight_grid& grid, std::size_t t, double** rows) const;

  kernels::blocked_args args_;
  doubles weights_, samples_, centres_, centre_tiles_, neuron_reach_, block_reach_, run_reach_;
  doubles table_, run_table_;
  const double* samples_from_ = nullptr;
  std::uint32_t sample_count_ = 0;
  bool samples_fit_ = false;
  std::uint32_t map_rows_ = 0, map_cols_ = 0, dimension_ = 0;
  std::uint32_t epochs_since_centres_ = 0;
  double reach_at_centres_ = 0.0;  // the blocks' bounds summed after the centres' first epoch
  double samples_largest_ = 0.0;   // the largest magnitude among the samples
  double weights_bound_ = 0.0;     // at least the largest among the weights
};

}  // namespace som
