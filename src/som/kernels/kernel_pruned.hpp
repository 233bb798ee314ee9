// The pruned search and its epoch, for epochs whose neighbourhood is small:
// the neurons inside the radius are moved first, then the next sample is
// searched over the moved weights, starting from a neuron it was near the
// last time and measuring the other neurons only as far as they might still
// win. Written over a tile_kernel K (kernel_tiles.hpp), and included with it
// inside each kernel's instruction-set region.
#pragma once

#include "som/kernels/kernel_tiles.hpp"

// The distance of neuron n (of this thread's tiles) to x, summed in
// component order exactly as its lane of the search sums it.
template <class K>
SOM_INLINE double neuron_distance(const K& k, const double* x, std::uint64_t n) {
  constexpr std::size_t L = K::L;
  const double* w = k.epoch.block + static_cast<std::size_t>(n / L) * k.stride + n % L;
  double sum = 0.0;
  for (std::uint32_t c = 0; c < k.dimension; ++c) {
    const double d = x[c] - K::weight(w[std::size_t{c} * L]);
    sum = sum + d * d;
  }
  return sum;
}

// A start for the pruned search of sample s: the distance of some neuron
// of this thread's tiles, the nearer the better. The sample's previous
// winner, when it lies in them; or else this thread's nearest neuron the
// last time (when it keeps them); or else the one of this thread's
// neurons next to either in order (the boundary between two threads'
// tiles moves now and then). No neuron when this thread has none.
template <class K>
SOM_INLINE std::uint64_t start_neuron(const K& k, std::uint32_t s) {
  constexpr std::size_t L = K::L;
  const std::uint64_t first = std::uint64_t{k.slice.tile_begin} * L;
  const std::uint64_t neurons = std::uint64_t{k.epoch.map_rows} * k.epoch.map_cols;
  const std::uint64_t end =
      std::uint64_t{k.slice.tile_end} * L < neurons ? k.slice.tile_end * L : neurons;
  if (first >= end) return no_neuron;
  std::uint64_t n = no_neuron;
  if (k.epoch.previous != nullptr) {
    const assignment p = k.epoch.previous[s];
    if (p.row < k.epoch.map_rows && p.col < k.epoch.map_cols)
      n = std::uint64_t{p.row} * k.epoch.map_cols + p.col;
  }
  if ((n == no_neuron || n < first || n >= end) && k.slice.own_previous != nullptr &&
      k.slice.own_previous[s] != no_neuron) {
    n = k.slice.own_previous[s];
  }
  if (n == no_neuron || n < first) n = first;
  if (n >= end) n = end - 1;
  return n;
}

// The bound that start neuron n gives: its distance to x, where that is a
// number below the largest double, or else the largest double, which no
// winner reaches.
template <class K>
SOM_INLINE double start_bound(const K& k, const double* x, std::uint64_t n) {
  if (n == no_neuron) return DBL_MAX;
  const double d = neuron_distance(k, x, n);
  return d < DBL_MAX ? d : DBL_MAX;
}

// Whether the update around `centre` may move neuron n.
template <class K>
SOM_INLINE bool may_move(const K& k, grid_pos centre, std::uint64_t n) {
  if (!k.epoch.updates) return false;
  if (k.epoch.whole_grid) return true;
  const grid_pos p = k.to_pos(bmu_candidate{0.0, n});
  const std::uint32_t rows = p.row > centre.row ? p.row - centre.row : centre.row - p.row;
  const std::uint32_t cols = p.col > centre.col ? p.col - centre.col : centre.col - p.col;
  return rows <= k.epoch.reach && cols <= k.epoch.col_reach;
}

// The smallest bound that any thread of a pool has offered for the sample
// being searched, this thread's `bound` among them.
template <class K>
SOM_INLINE double shared(const K& k, double bound) {
  return k.slice.share != nullptr ? k.slice.share(k.slice.sync, k.slice.thread, bound) : bound;
}

// The tiles that the pruned search takes at a time (a chunk's running sums
// stay in the first-level cache).
inline constexpr std::size_t prune_chunk = 128;

// One pass of the screening over the tiles of a chunk still in the race
// (the first `left` of `racing`, or the first `left` tiles when First):
// adds the terms of components order[i0 .. i0 + C) to each tile's partial
// sum and keeps, in order, the tiles with a lane whose sum is not above
// `limit`. Returns how many it keeps.
template <std::uint32_t C, bool First, class K, class vec = typename K::vec>
SOM_INLINE std::size_t screen(const K& k, const double* chunk, const double* x,
                              const std::uint32_t* order, std::uint32_t i0, vec* partial,
                              std::uint16_t* racing, std::size_t left, const vec& limit) {
  using O = typename K::ops;
  constexpr std::size_t L = K::L;
  vec xk[C];
  std::size_t at[C];
  SOM_UNROLL for (std::uint32_t c = 0; c < C; ++c) {
    const std::uint32_t component = order[i0 + c];
    xk[c] = O::set1(x[component]);
    at[c] = std::size_t{component} * L;
  }
  std::size_t still = 0;
  for (std::size_t i = 0; i < left; ++i) {
    const std::size_t j = First ? i : racing[i];
    const double* w = chunk + j * k.stride;
    vec sum = First ? O::set1(0.0) : partial[j];
    SOM_UNROLL for (std::uint32_t c = 0; c < C; ++c) {
      const vec d = O::diff(xk[c], K::weight(O::load(w + at[c])));
      sum = O::add(sum, O::mul(d, d));
    }
    partial[j] = sum;
    racing[still] = static_cast<std::uint16_t>(j);
    still += O::any(O::less_equal(sum, limit)) ? 1 : 0;
  }
  return still;
}

template <bool First, class K, class vec = typename K::vec>
SOM_INLINE std::size_t screen(const K& k, const double* chunk, const double* x,
                              const std::uint32_t* order, std::uint32_t i0, std::uint32_t i1,
                              vec* partial, std::uint16_t* racing, std::size_t left,
                              const vec& limit) {
  switch (i1 - i0) {
    case 4: return screen<4, First>(k, chunk, x, order, i0, partial, racing, left, limit);
    case 3: return screen<3, First>(k, chunk, x, order, i0, partial, racing, left, limit);
    case 2: return screen<2, First>(k, chunk, x, order, i0, partial, racing, left, limit);
    default: return screen<1, First>(k, chunk, x, order, i0, partial, racing, left, limit);
  }
}

// The count of terms at which the pruned search checks next after i.
inline std::uint32_t next_check(std::uint32_t dimension, std::uint32_t i) {
  const std::uint32_t step = i < prune_early_checks ? 2 : 4;
  return dimension - i > step ? i + step : dimension;
}

// The search of tiles [t0, t1) for x that stops measuring a tile once no
// lane of it can win, and measures in full only the tiles that might.
// Chunk by chunk, the tiles are screened a few terms at a time, in the order
// of k.epoch.order, every tile still in the race in one pass with no branch
// between tiles (their loads and sums overlap), and the race narrows after
// each pass; a tile leaves it once its partial sums are above `bound` widened
// by k.epoch.prune_widening, and on a pool `bound` is the least that any
// thread offers (see shared). The tiles left are summed again in component
// order and tracked in order, and `bound` falls to the nearest distance
// tracked. Why no neuron that could win or tie is dropped:
// docs/proofs/pruned-screen.md.
template <class K>
SOM_INLINE void pruned_search(K& k, const double* x, std::size_t t0, std::size_t t1, double bound) {
  using O = typename K::ops;
  using vec = typename K::vec;
  constexpr std::size_t L = K::L;
  const std::uint32_t dimension = k.dimension;
  const std::uint32_t* order = k.epoch.order;
  bound = shared(k, bound);
  vec partial[prune_chunk];
  std::uint16_t racing[prune_chunk];
  vec limit = O::set1(bound * k.epoch.prune_widening);
  for (std::size_t first = t0; first < t1; first += prune_chunk) {
    const std::size_t count = t1 - first < prune_chunk ? t1 - first : prune_chunk;
    const double* chunk = k.epoch.block + first * k.stride;
    std::uint32_t i1 = next_check(dimension, 0);
    std::size_t left = screen<true>(k, chunk, x, order, 0, i1, partial, racing, count, limit);
    k.searched += std::uint64_t{i1} * count;
    // A pass for one or two tiles costs more than measuring them in full.
    while (i1 < dimension && left > 2) {
      const std::uint32_t i0 = i1;
      i1 = next_check(dimension, i0);
      k.searched += std::uint64_t{i1 - i0} * left;
      left = screen<false>(k, chunk, x, order, i0, i1, partial, racing, left, limit);
      if (k.slice.share != nullptr) {
        const double offered = shared(k, bound);
        if (offered < bound) {
          bound = offered;
          limit = O::set1(bound * k.epoch.prune_widening);
        }
      }
    }
    if (left == 0) continue;
    for (std::size_t i = 0; i < left; ++i) {
      const std::size_t t = first + racing[i];
      vec sum = O::set1(0.0);
      const double* w = k.epoch.block + t * k.stride;
      for (std::uint32_t c = 0; c < dimension; ++c) {
        const vec d = O::diff(O::set1(x[c]), K::weight(O::load(w + c * L)));
        sum = O::add(sum, O::mul(d, d));
      }
      k.track(0, sum, t);
    }
    k.searched += std::uint64_t{dimension} * left;
    const double tracked = shared(k, O::hmin(k.best[0]));
    if (tracked < bound) {
      bound = tracked;
      limit = O::set1(bound * k.epoch.prune_widening);
    }
  }
}

// The update of tiles [near_begin, near_end) (the rows within reach of
// `centre`, from first_row on) row by row, and in each row only the tiles of
// the columns within reach: a small neighbourhood lies in a few tiles of a
// few rows. `known` and `keep` are as for update, from tile near_begin on.
template <class K>
void update_near(K& k, const double* xu, grid_pos centre, std::uint32_t first_row,
                 std::size_t near_begin, std::size_t near_end, const std::uint8_t* known,
                 std::uint8_t* keep) {
  constexpr std::size_t L = K::L;
  const std::uint64_t cols = k.epoch.map_cols;
  const std::uint64_t c0 = centre.col > k.epoch.col_reach ? centre.col - k.epoch.col_reach : 0;
  std::uint64_t c1 = std::uint64_t{centre.col} + k.epoch.col_reach;
  if (c1 > cols - 1) c1 = cols - 1;
  std::size_t done = near_begin;  // tiles before this one are updated
  for (std::uint64_t r = first_row; r < k.epoch.map_rows; ++r) {
    std::size_t row_begin = static_cast<std::size_t>((r * cols + c0) / L);
    if (row_begin >= near_end) break;
    std::size_t row_end = static_cast<std::size_t>((r * cols + c1) / L + 1);
    if (row_begin < done) row_begin = done;
    if (row_end > near_end) row_end = near_end;
    if (row_begin >= row_end) continue;
    const std::size_t skip = row_begin - near_begin;
    k.template update<false, false>(xu, centre, static_cast<std::uint32_t>(r), nullptr, row_begin,
                                    row_end, known != nullptr ? known + skip : nullptr,
                                    keep != nullptr ? keep + skip : nullptr);
    done = row_end;
  }
}

// The winner of the pruned search's sample s agreed with the other threads,
// where a thread that keeps its own nearest neurons notes its own first.
template <class K>
SOM_INLINE grid_pos agree_noting(const K& k, bmu_candidate mine, std::uint32_t s) {
  if (k.slice.own_previous != nullptr) k.slice.own_previous[s] = mine.neuron;
  return k.agree(mine);
}

// The epoch with the pruned search: for each sample, its neighbourhood is
// moved first, then the next sample is searched over the moved weights.
template <class K>
SOM_NOINLINE std::uint32_t pruned_epoch(const epoch_args& args) {
  K k(args);
  const epoch_input& epoch = k.epoch;
  const std::size_t own_begin = k.slice.tile_begin;
  const std::size_t own_end = k.slice.tile_end;
  const std::uint32_t dimension = k.dimension;
  std::uint32_t rozdil = 0;
  if (epoch.count == 0) return 0;
  k.reset();
  pruned_search(k, epoch.samples, own_begin, own_end,
                start_bound(k, epoch.samples, start_neuron(k, 0)));
  grid_pos bmu = agree_noting(k, k.candidate(), 0);
  for (std::uint32_t s = 0; s < epoch.count; ++s) {
    const double* x = epoch.samples + static_cast<std::size_t>(s) * dimension;
    const bool last = s + 1 == epoch.count;
    const double* next = last ? nullptr : x + dimension;
    k.reset();
    // The next search's start, measured before the update where the update
    // cannot move it: the other threads of a pool prune with it the sooner.
    const std::uint64_t start = last ? no_neuron : start_neuron(k, s + 1);
    const bool moves = start != no_neuron && may_move(k, bmu, start);
    double bound = DBL_MAX;
    if (!moves && start != no_neuron) bound = shared(k, start_bound(k, next, start));
    std::size_t near_begin, near_end;
    std::uint32_t first_row;
    k.reach_of(bmu, near_begin, near_end, first_row);
    if (near_begin < near_end) {
      const std::uint8_t* known;
      std::uint8_t* keep;
      k.masks_of(bmu, near_begin, known, keep);
      if (epoch.whole_grid) {
        k.template update<false, false>(x, bmu, first_row, nullptr, near_begin, near_end, known,
                                        keep);
      } else {
        update_near(k, x, bmu, first_row, near_begin, near_end, known, keep);
      }
    }
    if (moves) bound = start_bound(k, next, start);
    if (next != nullptr) pruned_search(k, next, own_begin, own_end, bound);
    rozdil += k.note_winner(s, bmu);
    if (!last) bmu = agree_noting(k, k.candidate(), s + 1);
  }
  if (k.extras.searched != nullptr) *k.extras.searched += k.searched;
  return rozdil;
}
