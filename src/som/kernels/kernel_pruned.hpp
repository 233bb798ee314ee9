// The pruned search and its epoch: members of epoch_kernel (see
// kernel_body.hpp), included inside its definition. For epochs whose
// neighbourhood is small: the neurons inside the radius are moved first,
// then the next sample is searched over the moved weights, starting from a
// neuron it was near the last time and measuring the other neurons only as
// far as they might still win.

// The distance of neuron n (of this thread's tiles) to x, summed in
// component order exactly as its lane of the search sums it.
double neuron_distance(const double* x, std::uint64_t n) const {
  const double* w = a.block + static_cast<std::size_t>(n / L) * stride + n % L;
  double sum = 0.0;
  for (std::uint32_t k = 0; k < dimension; ++k) {
    const double d = x[k] - weight(w[std::size_t{k} * L]);
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
std::uint64_t start_neuron(std::uint32_t s) const {
  const std::uint64_t first = std::uint64_t{a.tile_begin} * L;
  const std::uint64_t neurons = std::uint64_t{a.map_rows} * a.map_cols;
  const std::uint64_t end = std::uint64_t{a.tile_end} * L < neurons ? a.tile_end * L : neurons;
  if (first >= end) return no_neuron;
  std::uint64_t n = no_neuron;
  if (a.previous != nullptr) {
    const assignment p = a.previous[s];
    if (p.row < a.map_rows && p.col < a.map_cols) n = std::uint64_t{p.row} * a.map_cols + p.col;
  }
  if ((n == no_neuron || n < first || n >= end) && a.own_previous != nullptr &&
      a.own_previous[s] != no_neuron) {
    n = a.own_previous[s];
  }
  if (n == no_neuron || n < first) n = first;
  if (n >= end) n = end - 1;
  return n;
}

// The bound that start neuron n gives: its distance to x, where that is a
// number below the largest double, or else the largest double, which no
// winner reaches.
double start_bound(const double* x, std::uint64_t n) const {
  if (n == no_neuron) return DBL_MAX;
  const double d = neuron_distance(x, n);
  return d < DBL_MAX ? d : DBL_MAX;
}

// Whether the update around `centre` may move neuron n.
bool may_move(grid_pos centre, std::uint64_t n) const {
  if (!a.updates) return false;
  if (a.whole_grid) return true;
  const grid_pos p = to_pos(bmu_candidate{0.0, n});
  const std::uint32_t rows = p.row > centre.row ? p.row - centre.row : centre.row - p.row;
  const std::uint32_t cols = p.col > centre.col ? p.col - centre.col : centre.col - p.col;
  return rows <= a.reach && cols <= a.col_reach;
}

// The smallest bound that any thread of a pool has offered for the sample
// being searched, this thread's `bound` among them.
double shared(double bound) const {
  return a.share != nullptr ? a.share(a.sync, a.thread, bound) : bound;
}

// The tiles that the pruned search takes at a time (a chunk's running sums
// stay in the first-level cache).
static constexpr std::size_t prune_chunk = 128;

// One pass of the screening over the tiles of a chunk still in the race
// (the first `left` of `racing`, or the first `left` tiles when First):
// adds the terms of components order[i0 .. i0 + C) to each tile's partial
// sum and keeps, in order, the tiles with a lane whose sum is not above
// `limit`. Returns how many it keeps.
template <std::uint32_t C, bool First>
SOM_INLINE std::size_t screen(const double* chunk, const double* x, const std::uint32_t* order,
                              std::uint32_t i0, vec* partial, std::uint16_t* racing,
                              std::size_t left, const vec& limit) const {
  vec xk[C];
  std::size_t at[C];
  SOM_UNROLL for (std::uint32_t c = 0; c < C; ++c) {
    const std::uint32_t k = order[i0 + c];
    xk[c] = O::set1(x[k]);
    at[c] = std::size_t{k} * L;
  }
  std::size_t still = 0;
  for (std::size_t i = 0; i < left; ++i) {
    const std::size_t j = First ? i : racing[i];
    const double* w = chunk + j * stride;
    vec sum = First ? O::set1(0.0) : partial[j];
    SOM_UNROLL for (std::uint32_t c = 0; c < C; ++c) {
      const vec d = O::diff(xk[c], weight(O::load(w + at[c])));
      sum = O::add(sum, O::mul(d, d));
    }
    partial[j] = sum;
    racing[still] = static_cast<std::uint16_t>(j);
    still += O::any(O::less_equal(sum, limit)) ? 1 : 0;
  }
  return still;
}

template <bool First>
SOM_INLINE std::size_t screen(const double* chunk, const double* x, const std::uint32_t* order,
                              std::uint32_t i0, std::uint32_t i1, vec* partial,
                              std::uint16_t* racing, std::size_t left, const vec& limit) const {
  switch (i1 - i0) {
    case 4: return screen<4, First>(chunk, x, order, i0, partial, racing, left, limit);
    case 3: return screen<3, First>(chunk, x, order, i0, partial, racing, left, limit);
    case 2: return screen<2, First>(chunk, x, order, i0, partial, racing, left, limit);
    default: return screen<1, First>(chunk, x, order, i0, partial, racing, left, limit);
  }
}

// The count of terms at which the pruned search checks next after i.
std::uint32_t next_check(std::uint32_t i) const {
  const std::uint32_t step = i < prune_early_checks ? 2 : 4;
  return dimension - i > step ? i + step : dimension;
}

// The search of tiles [t0, t1) for x that stops measuring a tile once no
// lane of it can win, and measures in full only the tiles that might.
//
// A tile is screened by summing its terms (x[k] − w[k])² in the order of
// a.order, the components that differ most between neurons first. The
// terms are the same numbers either way and every one is +0 or more, so
// with n = dimension and u = 2^-53: a partial sum P, in any order, is at
// most S (1 + u)^(n−1), S the exact sum of all terms, and the distance D
// as the search sums it (all terms, in component order) is at least
// S (1 − u)^(n−1). Once P > bound × (1 + 4nu), rounded to a double (the
// widening covers that rounding too), D > bound: none of the tile's
// neurons can be nearer than the neuron at `bound`, nor as near. A NaN
// partial sum stays NaN, and NaN never wins either. Chunk by chunk, the tiles are screened a few
// terms at a time, every tile still in the race in one pass with no branch between tiles (their
// loads and sums overlap), and the race narrows after each pass. The tiles left are summed again
// in component order and tracked in order (the winner's tie rule needs each slot's tiles in
// order), and `bound` falls to the nearest distance tracked.
//
// On a pool, the threads offer each other their bounds as they go (see
// shared): the winner is at least as near as any of them, whichever
// thread's neuron it came from, so a thread drops a tile only where it
// would lose to a neuron that some thread measures in full.
SOM_INLINE void pruned_search(const double* x, std::size_t t0, std::size_t t1, double bound) {
  const std::uint32_t* order = a.order;
  bound = shared(bound);
  vec partial[prune_chunk];
  std::uint16_t racing[prune_chunk];
  vec limit = O::set1(bound * a.prune_widening);
  for (std::size_t first = t0; first < t1; first += prune_chunk) {
    const std::size_t count = t1 - first < prune_chunk ? t1 - first : prune_chunk;
    const double* chunk = a.block + first * stride;
    std::uint32_t i1 = next_check(0);
    std::size_t left = screen<true>(chunk, x, order, 0, i1, partial, racing, count, limit);
    searched += std::uint64_t{i1} * count;
    // A pass for one or two tiles costs more than measuring them in full.
    while (i1 < dimension && left > 2) {
      const std::uint32_t i0 = i1;
      i1 = next_check(i0);
      searched += std::uint64_t{i1 - i0} * left;
      left = screen<false>(chunk, x, order, i0, i1, partial, racing, left, limit);
      if (a.share != nullptr) {
        const double offered = shared(bound);
        if (offered < bound) {
          bound = offered;
          limit = O::set1(bound * a.prune_widening);
        }
      }
    }
    if (left == 0) continue;
    for (std::size_t i = 0; i < left; ++i) {
      const std::size_t t = first + racing[i];
      vec sum = O::set1(0.0);
      const double* w = a.block + t * stride;
      for (std::uint32_t k = 0; k < dimension; ++k) {
        const vec d = O::diff(O::set1(x[k]), weight(O::load(w + k * L)));
        sum = O::add(sum, O::mul(d, d));
      }
      track(0, sum, t);
    }
    searched += std::uint64_t{dimension} * left;
    const double tracked = shared(O::hmin(best[0]));
    if (tracked < bound) {
      bound = tracked;
      limit = O::set1(bound * a.prune_widening);
    }
  }
}

// The update of tiles [ua, ub) (the rows within reach of `centre`, from
// first_row on) row by row, and in each row only the tiles of the columns
// within reach: a small neighbourhood lies in a few tiles of a few rows.
// `known` and `keep` are as for update, from tile ua on.
void update_near(const double* xu, grid_pos centre, std::uint32_t first_row, std::size_t ua,
                 std::size_t ub, const std::uint8_t* known, std::uint8_t* keep) {
  const std::uint64_t cols = a.map_cols;
  const std::uint64_t c0 = centre.col > a.col_reach ? centre.col - a.col_reach : 0;
  std::uint64_t c1 = std::uint64_t{centre.col} + a.col_reach;
  if (c1 > cols - 1) c1 = cols - 1;
  std::size_t done = ua;  // tiles before this one are updated
  for (std::uint64_t r = first_row; r < a.map_rows; ++r) {
    std::size_t sa = static_cast<std::size_t>((r * cols + c0) / L);
    if (sa >= ub) break;
    std::size_t sb = static_cast<std::size_t>((r * cols + c1) / L + 1);
    if (sa < done) sa = done;
    if (sb > ub) sb = ub;
    if (sa >= sb) continue;
    update<false, false>(xu, centre, static_cast<std::uint32_t>(r), nullptr, sa, sb,
                         known != nullptr ? known + (sa - ua) : nullptr,
                         keep != nullptr ? keep + (sa - ua) : nullptr);
    done = sb;
  }
}

// The same for the pruned search's sample s, where a thread that keeps
// its own nearest neurons notes it first.
grid_pos agree_noting(bmu_candidate mine, std::uint32_t s) const {
  if (a.own_previous != nullptr) a.own_previous[s] = mine.neuron;
  return agree(mine);
}

// The epoch with the pruned search: for each sample, its neighbourhood is
// moved first, then the next sample is searched over the moved weights.
SOM_NOINLINE std::uint32_t run_pruned() {
  const std::size_t tb = a.tile_begin;
  const std::size_t te = a.tile_end;
  std::uint32_t rozdil = 0;
  if (a.count == 0) return 0;
  reset();
  pruned_search(a.samples, tb, te, start_bound(a.samples, start_neuron(0)));
  grid_pos bmu = agree_noting(candidate(), 0);
  for (std::uint32_t s = 0; s < a.count; ++s) {
    const double* x = a.samples + static_cast<std::size_t>(s) * dimension;
    const bool last = s + 1 == a.count;
    const double* next = last ? nullptr : x + dimension;
    reset();
    // The next search's start, measured before the update where the update
    // cannot move it: the other threads of a pool prune with it the sooner.
    const std::uint64_t start = last ? no_neuron : start_neuron(s + 1);
    const bool moves = start != no_neuron && may_move(bmu, start);
    double bound = DBL_MAX;
    if (!moves && start != no_neuron) bound = shared(start_bound(next, start));
    std::size_t ua, ub;
    std::uint32_t first_row;
    reach_of(bmu, ua, ub, first_row);
    if (ua < ub) {
      const std::uint8_t* known;
      std::uint8_t* keep;
      masks_of(bmu, ua, known, keep);
      if (a.whole_grid) {
        update<false, false>(x, bmu, first_row, nullptr, ua, ub, known, keep);
      } else {
        update_near(x, bmu, first_row, ua, ub, known, keep);
      }
    }
    if (moves) bound = start_bound(next, start);
    if (next != nullptr) pruned_search(next, tb, te, bound);
    rozdil += note_winner(s, bmu);
    if (!last) bmu = agree_noting(candidate(), s + 1);
  }
  return rozdil;
}
