// The blocked search and its epoch, for epochs whose neighbourhood is small,
// on the layout of blocked_args: each neuron's weights lie in whole lines of
// their own, a block's four neurons side by side, so measuring one neuron
// reads only its lines, and the map's blocks of 2 × 2 neurons, each with a
// centre and a bound on how far its neurons lie from it, let the search pass
// over the blocks and neurons that the triangle inequality puts beyond the
// sample's start neuron without reading them. Written over a tile_kernel K
// (kernel_tiles.hpp), and included with it inside each kernel's
// instruction-set region.
//
// Every bound allows for the rounding of the sums and of the square roots,
// so the search passes over no neuron that could win or tie, and the first
// of the nearest wins as in the plain search: the bounds are proved in
// docs/proofs/distance-bounds.md (its equations (1), (1f) and (2) are cited
// below), the search that rests on them in docs/proofs/blocked-search.md.
// Both hold where every sample value and weight is finite and at most 2^480
// in size and 0 <= alpha <= 1, which blocked_layout checks.

#pragma once

#include "som/kernels/kernel_tiles.hpp"

// Bounds from above and below on the distance |y − z| of two vectors from
// the computed sum of their squared differences (docs/proofs/
// distance-bounds.md, (2) and the bound from below).
SOM_INLINE double distance_above(const blocked_args& b, double sum) {
  return __builtin_sqrt(sum) * b.above + 0x1p-500;
}
SOM_INLINE double distance_below(const blocked_args& b, double sum) {
  const double e = __builtin_sqrt(sum) * b.below - 0x1p-500;
  return e > 0.0 ? e : 0.0;
}

// The sum of a vector's lanes, in a tree (O::total), three additions deep
// rather than seven in a row: every bound that this sum feeds holds for any
// order.
template <class K>
SOM_INLINE double lane_total(const typename K::vec& sum) {
  return K::ops::total(sum);
}

// The squared distance of two rows of `stride` doubles, summed lane by lane
// and then across the lanes.
template <class K>
SOM_INLINE double lane_distance(const double* y, const double* z, std::uint32_t stride) {
  using O = typename K::ops;
  using vec = typename K::vec;
  constexpr std::size_t L = K::L;
  vec sum = O::set1(0.0);
  for (std::uint32_t k = 0; k < stride; k += L) {
    const vec d = O::sub(O::load(y + k), O::load(z + k));
    sum = O::add(sum, O::mul(d, d));
  }
  return lane_total<K>(sum);
}

// The squared distance in component order, as the plain search sums it;
// stops once the sum is above `stop` (and returns a sum above it).
SOM_INLINE double ordered_distance(std::uint32_t dimension, const double* x, const double* w,
                                   double stop) {
  constexpr std::uint32_t L = tile_lanes;
  double sum = 0.0;
  std::uint32_t k = 0;
  while (k < dimension) {
    const std::uint32_t end = dimension - k > L ? k + L : dimension;
    for (; k < end; ++k) {
      const double d = x[k] - w[k];
      sum = sum + d * d;
    }
    if (sum > stop) break;
  }
  return sum;
}

// A' from `best`: fl(distance_above(best) × (1 + 4u)).
SOM_INLINE double drop_beyond(const blocked_args& b, double best) {
  return distance_above(b, best) * 0x1.0000000000004p0;
}

// Fills each sample's row of the table: distance_below of its distance to
// each centre, a tile of centres at a time (each lane sums its centre's
// squared differences in component order, each square fused into its
// addition: see (1f)).
template <class K>
void fill_table(const blocked_args& b, std::uint32_t dimension, std::uint32_t count) {
  using O = typename K::ops;
  using vec = typename K::vec;
  constexpr std::uint32_t L = tile_lanes;
  const vec zero = O::set1(0.0);
  const vec below = O::set1(b.below);
  const vec nudge = O::set1(0x1p-500);
  for (std::uint32_t s = 0; s < count; ++s) {
    const double* x = b.samples + std::size_t{s} * b.stride;
    double* row = b.table + std::size_t{s} * b.padded_blocks;
    // Four tiles side by side, each sum's chain of additions beside the
    // others'.
    constexpr std::uint32_t U = 4;
    for (std::uint32_t t = 0; t < b.padded_blocks; t += U * L) {
      const std::uint32_t tiles = (b.padded_blocks - t) / L < U ? (b.padded_blocks - t) / L : U;
      const double* tile = b.centre_tiles + std::size_t{t} * b.stride;
      const std::size_t apart = std::size_t{L} * b.stride;
      vec sum[U];
      SOM_UNROLL for (std::uint32_t u = 0; u < U; ++u) sum[u] = zero;
      for (std::uint32_t k = 0; k < dimension; ++k) {
        const vec xk = O::set1(x[k]);
        SOM_UNROLL for (std::uint32_t u = 0; u < U; ++u) {
          if (u < tiles) {
            const vec d = O::sub(xk, O::load(tile + u * apart + std::size_t{k} * L));
            sum[u] = O::mul_add(d, d, sum[u]);
          }
        }
      }
      SOM_UNROLL for (std::uint32_t u = 0; u < U; ++u) {
        if (u < tiles) {
          // distance_below, lane by lane.
          const vec e = O::sub(O::mul(O::sqrt(sum[u]), below), nudge);
          O::store(row + t + u * L, O::select(O::less(zero, e), e, zero));
        }
      }
    }
    for (std::uint32_t c = b.blocks; c < b.padded_blocks; ++c) row[c] = DBL_MAX;
    double* runs = b.run_table + std::size_t{s} * b.runs;
    for (std::uint32_t r = 0; r < b.runs; ++r) {
      const std::uint32_t first = r * blocks_in_run;
      const std::uint32_t end =
          b.padded_blocks - first > blocks_in_run ? first + blocks_in_run : b.padded_blocks;
      double least = row[first];
      for (std::uint32_t c = first + 1; c < end; ++c) least = row[c] < least ? row[c] : least;
      runs[r] = least;
    }
  }
}

// A neuron's bound on its distance to its block's centre, from the squared
// distance `sum`, and the block's.
SOM_INLINE void note_reach(const blocked_args& b, std::size_t slot, std::uint32_t block,
                           double sum) {
  const double r = distance_above(b, sum);
  b.neuron_reach[slot] = r;
  const double old = b.block_reach[block];
  b.block_reach[block] = r > old ? r : old;
  const double run = b.run_reach[block / blocks_in_run];
  b.run_reach[block / blocks_in_run] = r > run ? r : run;
}

// Neuron (i, j)'s bound, and its block's, from its weights as they are.
template <class K>
SOM_INLINE void reach_again(const blocked_args& b, std::uint32_t i, std::uint32_t j) {
  const std::uint32_t block = block_of(b, i, j);
  const std::size_t slot = slot_of(b, i, j);
  note_reach(b, slot, block,
             lane_distance<K>(b.weights + slot * b.stride,
                              b.centres + std::size_t{block} * b.stride, b.stride));
}

// The winner for sample s (x, padded) over the weights as they are now.
// Most samples keep their start neuron, whose distance in component order
// is then never needed: the search begins from `high`, a bound from above
// on it taken from the shorter sum in the lanes' order, and sums the start
// in component order only once some neuron passes the screen.
template <class K>
grid_pos blocked_search(const K& k, blocked_args& b, std::uint32_t s, const double* x) {
  using O = typename K::ops;
  using vec = typename K::vec;
  constexpr std::size_t L = K::L;
  const std::uint32_t dimension = k.dimension;
  const std::uint32_t rows = k.epoch.map_rows;
  const std::uint32_t cols = k.epoch.map_cols;
  const std::uint32_t stride = b.stride;
  grid_pos start{0, 0};
  if (k.epoch.previous != nullptr && k.epoch.previous[s].row < rows &&
      k.epoch.previous[s].col < cols) {
    start = grid_pos{k.epoch.previous[s].row, k.epoch.previous[s].col};
  }
  const std::uint64_t start_n = std::uint64_t{start.row} * cols + start.col;
  const std::size_t start_slot = slot_of(b, start.row, start.col);
  const double* start_w = b.weights + start_slot * stride;
  // The start's distance D in component order and its sum P in the lanes'
  // order add the same terms: D <= P (1 + u)^(n−1) / (1 − u)^(n−1) <=
  // fl(P × (1 + 4nu)) (as the screen's limit below). Below the largest
  // double (docs/proofs/distance-bounds.md, the range): a finite bound.
  const double high = lane_distance<K>(x, start_w, stride) * k.epoch.prune_widening;
  // The nearest neuron so far and its distance, once the start is summed
  // in component order (`exact`); until then `best` is `high`.
  double best = high;
  bool exact = false;
  grid_pos chosen = start;
  std::uint64_t chosen_n = start_n;
  double beyond = drop_beyond(b, best);
  double limit = best * k.epoch.prune_widening;
  const double* table = b.table + std::size_t{s} * b.padded_blocks;
  std::uint64_t screened = 0;
  std::uint64_t measured = 0;
  // The blocks in runs of 64, their tests' outcomes gathered in one word
  // per run: few blocks are left, and a branch per tile of blocks would
  // mostly guess wrong where one is.
  constexpr std::uint32_t run = blocks_in_run;
  const double* run_table = b.run_table + std::size_t{s} * b.runs;
  for (std::uint32_t first = 0; first < b.padded_blocks; first += run) {
    // Every block of the run dropped at once: each one's bound from below
    // is at least the run's least, and its reach at most the run's largest.
    if (run_table[first / run] - b.run_reach[first / run] > beyond) continue;
    const std::uint32_t end = b.padded_blocks - first > run ? first + run : b.padded_blocks;
    std::uint64_t alive = 0;
    for (std::uint32_t k0 = first; k0 < end; k0 += static_cast<std::uint32_t>(L)) {
      const vec gap = O::sub(O::load(table + k0), O::load(b.block_reach + k0));
      const unsigned kept = ~unsigned{O::to_bits(O::less(O::set1(beyond), gap))} & 0xFFu;
      alive |= std::uint64_t{kept} << (k0 - first);
    }
    if (alive == 0) continue;
    // The neurons of these blocks left by the triangle inequality, without
    // a branch on each (the slots of missing neurons never are, see
    // blocked_epoch).
    std::uint32_t left[4 * run];
    std::uint32_t count = 0;
    do {
      const std::uint32_t c = first + static_cast<std::uint32_t>(__builtin_ctzll(alive));
      alive &= alive - 1;
      const double centre_below = table[c];
      for (std::uint32_t q = 0; q < 4; ++q) {
        const std::uint32_t slot = c * 4 + q;
        left[count] = slot;
        count += static_cast<std::uint32_t>(slot != start_slot) &
                 static_cast<std::uint32_t>(!(centre_below - b.neuron_reach[slot] > beyond));
      }
    } while (alive != 0);
    screened += count;
    for (std::uint32_t m = 0; m < count; ++m) {
      const std::uint32_t slot = left[m];
      const double* w = b.weights + std::size_t{slot} * stride;
      if (lane_distance<K>(x, w, stride) > limit) continue;
      if (!exact) {
        best = ordered_distance(dimension, x, start_w, DBL_MAX);
        exact = true;
      }
      ++measured;
      const std::uint32_t c = slot / 4;
      const grid_pos at{c / b.block_cols * 2 + slot % 4 / 2, c % b.block_cols * 2 + slot % 2};
      const std::uint64_t n = std::uint64_t{at.row} * cols + at.col;
      const double d = ordered_distance(dimension, x, w, best);
      if (d < best || (d == best && n < chosen_n)) {
        best = d;
        chosen = at;
        chosen_n = n;
      }
      beyond = drop_beyond(b, best);
      limit = best * k.epoch.prune_widening;
    }
  }
  b.screened += screened;
  b.measured += measured;
  return chosen;
}

// Moves the neighbourhood of `bmu` towards x (padded), each moved neuron's
// bound kept in step.
template <class K>
void blocked_update(const K& k, const blocked_args& b, const double* x, grid_pos bmu) {
  using O = typename K::ops;
  using vec = typename K::vec;
  constexpr std::uint32_t L = tile_lanes;
  if (!k.epoch.updates) return;
  const vec alpha = O::set1(k.epoch.learning_rate);
  const std::uint32_t i0 = bmu.row > k.epoch.reach ? bmu.row - k.epoch.reach : 0;
  const std::uint32_t j0 = bmu.col > k.epoch.col_reach ? bmu.col - k.epoch.col_reach : 0;
  const std::uint32_t i1 = k.epoch.map_rows - 1 - bmu.row > k.epoch.reach ? bmu.row + k.epoch.reach
                                                                          : k.epoch.map_rows - 1;
  const std::uint32_t j1 = k.epoch.map_cols - 1 - bmu.col > k.epoch.col_reach
                               ? bmu.col + k.epoch.col_reach
                               : k.epoch.map_cols - 1;
  for (std::uint32_t i = i0; i <= i1; ++i) {
    for (std::uint32_t j = j0; j <= j1; ++j) {
      // As the plain loops test it (no square wraps here: see whole_grid).
      const std::uint32_t di = bmu.row - i;
      const std::uint32_t dj = bmu.col - j;
      if (!(k.epoch.radius > static_cast<double>(di * di + dj * dj))) continue;
      // The move, and in the same pass the moved neuron's squared
      // distance to its block's centre for its new bound (squares fused
      // into their additions: see (1f)).
      const std::size_t slot = slot_of(b, i, j);
      const std::uint32_t block = block_of(b, i, j);
      double* w = b.weights + slot * b.stride;
      const double* centre = b.centres + std::size_t{block} * b.stride;
      vec sum = O::set1(0.0);
      for (std::uint32_t c = 0; c < b.stride; c += L) {
        const vec old = O::load(w + c);
        const vec moved = O::add(O::mul(O::sub(O::load(x + c), old), alpha), old);
        O::store(w + c, moved);
        const vec d = O::sub(moved, O::load(centre + c));
        sum = O::mul_add(d, d, sum);
      }
      note_reach(b, slot, block, lane_total<K>(sum));
    }
  }
}

// The epoch with the blocked search, on one thread over the whole map.
template <class K>
SOM_NOINLINE std::uint32_t blocked_epoch(const epoch_args& args) {
  const K k(args);
  const epoch_input& epoch = k.epoch;
  blocked_args& b = *epoch.blocked;
  constexpr std::uint32_t L = tile_lanes;
  if (b.fill_table) fill_table<K>(b, epoch.dimension, epoch.count);
  b.fill_table = false;
  for (std::uint32_t c = 0; c < b.padded_blocks; ++c) b.block_reach[c] = 0.0;
  for (std::uint32_t r = 0; r < b.runs; ++r) b.run_reach[r] = 0.0;
  // The slots of missing neurons (past the last row or column) stay at
  // −DBL_MAX, which the search's triangle inequality always drops.
  for (std::size_t n = 0; n < std::size_t{b.blocks} * 4; ++n) b.neuron_reach[n] = -DBL_MAX;
  for (std::uint32_t i = 0; i < epoch.map_rows; ++i) {
    for (std::uint32_t j = 0; j < epoch.map_cols; ++j) reach_again<K>(b, i, j);
  }
  std::uint32_t rozdil = 0;
  for (std::uint32_t s = 0; s < epoch.count; ++s) {
    const double* x = b.samples + std::size_t{s} * b.stride;
    // The next sample's row of the table, which is too large to stay in
    // the caches, comes in while this sample is searched and its
    // neighbourhood moved.
    if (s + 1 < epoch.count) {
      const double* next = b.table + std::size_t{s + 1} * b.padded_blocks;
      for (std::uint32_t c = 0; c < b.padded_blocks; c += L) __builtin_prefetch(next + c);
    }
    const grid_pos bmu = blocked_search(k, b, s, x);
    blocked_update(k, b, x, bmu);
    rozdil += k.note_winner(s, bmu);
  }
  // A neuron's components count as a tile's, divided among its lanes.
  if (k.extras.searched != nullptr) *k.extras.searched += b.screened * epoch.dimension / L;
  return rozdil;
}
