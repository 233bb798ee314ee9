// The body of the kernels, written once over a set of tile operations and
// compiled once per instruction set (each kernel file includes it inside its
// own instruction-set region, see target_begin.hpp). Everything here has
// internal linkage, so that no function built for one instruction set can
// stand in for another's; for the same reason it uses nothing of the
// standard library but plain C.
//
// Included inside an anonymous namespace by its users, after the operations
// type `O` is defined. `O` gives:
//   vec, mask, pos        8 doubles, a lane mask, the (row, col) of 8 lanes
//   load, store, set1, mul, add, select(m, a, b) = m ? a : b
//   sub(x, w), diff(x, w)  x - w, the second as -(1 × w) + x (rounded the same,
//                         but a NaN may come out with another sign: distances
//                         only, never a weight)
//   less(a, b), less_equal(a, b), equal(a, b)   lanes with a < b, a <= b,
//                         a == b (never for NaN)
//   min(a, b)             lane-wise minimum (never given NaN)
//   hmin(a)               the smallest lane
//   iota()                0, 1, ..., 7
//   any(m), all(m)        some lane set, every lane set
//   to_bits(m), from_bits(b)   a mask as 8 bits (lane l: bit l) and back
//   add_where(m, a, b)    m ? a + b : b, lane by lane (one instruction where
//                         the vector unit masks its own results)
//   lane_mask, widen(m), hold(k)   a mask for long loops, and a pin that keeps
//                         it in a mask register on every step (see below)
//   make_pos(rows[8], cols[8])
//   lane_pos(r, c, cols)  lanes from (r, c) on, for 8 <= cols <= 2^31
//   advance(p, step_row, step_col, wrap_at)
//   in_radius(p, bi, bj, radius)   lanes with radius > (bi-i)² + (bj-j)²

#if defined(__GNUC__) && !defined(__clang__)
#define SOM_UNROLL _Pragma("GCC unroll 8")
#define SOM_INLINE __attribute__((always_inline)) inline
#else
#define SOM_UNROLL
#define SOM_INLINE inline
#endif
#if defined(__GNUC__) || defined(__clang__)
#define SOM_NOINLINE __attribute__((noinline))
#else
#define SOM_NOINLINE
#endif

template <bool First, class A, class B>
struct pick_type {
  using type = A;
};
template <class A, class B>
struct pick_type<false, A, B> {
  using type = B;
};

// FixedD, when not 0, is the dimension known at compile time: small
// dimensions then get their component loops unrolled.
template <class O, int Unroll, int FixedD = 0>
struct epoch_kernel {
  // Long component loops pin their masks to mask registers (GCC would keep
  // them in memory and reload them on every step), and groups of tiles
  // wholly inside the radius skip the masks. Short loops keep one way
  // through, which spares a branch that is hard to predict.
  static constexpr bool long_loops = FixedD == 0;
  using lane_mask = typename pick_type<long_loops, typename O::lane_mask, typename O::mask>::type;
  static SOM_INLINE lane_mask widen(typename O::mask m) {
    if constexpr (long_loops) return O::widen(m);
    else return m;
  }
  using vec = typename O::vec;
  using mask = typename O::mask;
  using pos = typename O::pos;
  static constexpr int U = Unroll;
  static constexpr std::size_t L = tile_lanes;

  const epoch_args& a;
  const std::uint32_t dimension;
  std::size_t stride;  // doubles per tile
  std::uint32_t step_row;
  std::uint32_t step_col;
  std::uint32_t wrap_at;  // map_cols - step_col
  vec best[U];
  vec best_tile[U];
  std::uint64_t searched = 0;  // components of tiles measured (see epoch_args)

  explicit epoch_kernel(const epoch_args& args)
      : a(args),
        dimension(FixedD != 0 ? static_cast<std::uint32_t>(FixedD) : args.dimension),
        stride(L * dimension),
        step_row(static_cast<std::uint32_t>(L / args.map_cols)),
        step_col(static_cast<std::uint32_t>(L % args.map_cols)),
        wrap_at(args.map_cols - static_cast<std::uint32_t>(L % args.map_cols)) {}

  void reset() {
    SOM_UNROLL for (int u = 0; u < U; ++u) {
      best[u] = O::set1(DBL_MAX);
      best_tile[u] = O::set1(0.0);
    }
  }

  // Keeps, lane by lane, the first tile whose distance is strictly smaller.
  SOM_INLINE void track(int u, vec distance, std::size_t tile) {
    const mask nearer = O::less(distance, best[u]);
    best[u] = O::select(nearer, distance, best[u]);
    best_tile[u] = O::select(nearer, O::set1(static_cast<double>(tile)), best_tile[u]);
  }

  // Each (slot, lane) holds the first of its own neurons at its own smallest
  // distance, so the winner is the smallest (distance, neuron) of them all.
  bmu_candidate candidate() const {
    vec nearest = best[0];
    SOM_UNROLL for (int u = 1; u < U; ++u) nearest = O::min(nearest, best[u]);
    const double distance = O::hmin(nearest);
    if (!(distance < DBL_MAX)) return bmu_candidate{DBL_MAX, no_neuron};
    const vec at = O::set1(distance);
    const vec none = O::set1(DBL_MAX);
    const vec eight = O::set1(static_cast<double>(L));
    const vec lanes = O::iota();
    vec first = none;
    SOM_UNROLL for (int u = 0; u < U; ++u) {
      // Neuron numbers below 2^53 are exact in doubles.
      const vec neuron = O::add(O::mul(best_tile[u], eight), lanes);
      first = O::min(first, O::select(O::equal(best[u], at), neuron, none));
    }
    return bmu_candidate{distance, static_cast<std::uint64_t>(O::hmin(first))};
  }

  // Distances of tiles [t0, t1) to x.
  SOM_INLINE void search(const double* x, std::size_t t0, std::size_t t1) {
    std::size_t t = t0;
    for (; t + U <= t1; t += U) {
      const double* w = a.block + t * stride;
      vec sum[U];
      SOM_UNROLL for (int u = 0; u < U; ++u) sum[u] = O::set1(0.0);
      for (std::uint32_t k = 0; k < dimension; ++k) {
        const vec xk = O::set1(x[k]);
        SOM_UNROLL for (int u = 0; u < U; ++u) {
          // Half the differences on the multiply pipes, half on the add pipes.
          const vec wk = O::load(w + u * stride + k * L);
          const vec d = (u & 1) != 0 ? O::sub(xk, wk) : O::diff(xk, wk);
          sum[u] = O::add(sum[u], O::mul(d, d));
        }
      }
      SOM_UNROLL for (int u = 0; u < U; ++u) track(u, sum[u], t + u);
    }
    for (; t < t1; ++t) {
      const double* w = a.block + t * stride;
      vec sum = O::set1(0.0);
      for (std::uint32_t k = 0; k < dimension; ++k) {
        const vec d = O::diff(O::set1(x[k]), O::load(w + k * L));
        sum = O::add(sum, O::mul(d, d));
      }
      track(0, sum, t);
    }
  }

  // The distance of neuron n (of this thread's tiles) to x, summed in
  // component order exactly as its lane of the search sums it.
  double neuron_distance(const double* x, std::uint64_t n) const {
    const double* w = a.block + static_cast<std::size_t>(n / L) * stride + n % L;
    double sum = 0.0;
    for (std::uint32_t k = 0; k < dimension; ++k) {
      const double d = x[k] - w[std::size_t{k} * L];
      sum = sum + d * d;
    }
    return sum;
  }

  // A start for the pruned search of sample s: the distance of some neuron
  // of this thread's tiles, the nearer the better. The sample's previous
  // winner, when it lies in them; or else this thread's nearest neuron the
  // last time (when it keeps them); or else the one of this thread's
  // neurons next to either in order (the boundary between two threads'
  // tiles moves now and then). A distance that is not a number below the
  // largest double gives the largest double, which no winner reaches.
  double start_bound(std::uint32_t s, const double* x) const {
    const std::uint64_t first = std::uint64_t{a.tile_begin} * L;
    const std::uint64_t neurons = std::uint64_t{a.map_rows} * a.map_cols;
    const std::uint64_t end = std::uint64_t{a.tile_end} * L < neurons ? a.tile_end * L : neurons;
    if (first >= end) return DBL_MAX;
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
    const double d = neuron_distance(x, n);
    return d < DBL_MAX ? d : DBL_MAX;
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
        const vec d = O::diff(xk[c], O::load(w + at[c]));
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
  SOM_INLINE void pruned_search(const double* x, std::size_t t0, std::size_t t1, double bound) {
    const std::uint32_t* order = a.order;
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
      }
      if (left == 0) continue;
      for (std::size_t i = 0; i < left; ++i) {
        const std::size_t t = first + racing[i];
        vec sum = O::set1(0.0);
        const double* w = a.block + t * stride;
        for (std::uint32_t k = 0; k < dimension; ++k) {
          const vec d = O::diff(O::set1(x[k]), O::load(w + k * L));
          sum = O::add(sum, O::mul(d, d));
        }
        track(0, sum, t);
      }
      searched += std::uint64_t{dimension} * left;
      const double tracked = O::hmin(best[0]);
      if (tracked < bound) {
        bound = tracked;
        limit = O::set1(bound * a.prune_widening);
      }
    }
  }

  // The lanes' grid positions in tile t; `row` is a row whose first neuron
  // often lies in the tile or just after it, which spares the division.
  pos position(std::size_t t, std::uint32_t row) const {
    const std::uint64_t cols = a.map_cols;
    const std::uint64_t first = static_cast<std::uint64_t>(t) * L;
    const std::uint64_t anchor = row * cols;
    std::uint32_t r, c;
    if (cols >= L && first <= anchor && anchor < first + L) {
      r = first == anchor ? row : row - 1;
      c = first == anchor ? 0 : static_cast<std::uint32_t>(cols - (anchor - first));
    } else {
      r = static_cast<std::uint32_t>(first / cols);
      c = static_cast<std::uint32_t>(first % cols);
    }
    if (cols >= L && cols <= 0x80000000u) return O::lane_pos(r, c, a.map_cols);
    std::uint32_t rows[L];
    std::uint32_t columns[L];
    for (std::size_t l = 0; l < L; ++l) {
      rows[l] = r;
      columns[l] = c;
      if (c == a.map_cols - 1) {
        c = 0;
        ++r;
      } else {
        ++c;
      }
    }
    return O::make_pos(rows, columns);
  }

  // Moves the U tiles from t on towards xu, on the lanes inside the radius
  // (on all of them unless Masked), then, with Next, measures their
  // distances to xs.
  template <bool Next, bool Masked>
  SOM_INLINE void move_group(const double* xu, const double* xs, vec alpha, const mask* inside,
                             std::size_t t) {
    double* w = a.block + t * stride;
    vec sum[U];
    lane_mask keep[U];
    SOM_UNROLL for (int u = 0; u < U; ++u) {
      sum[u] = O::set1(0.0);
      if constexpr (Masked) keep[u] = widen(inside[u]);
    }
    for (std::uint32_t k = 0; k < dimension; ++k) {
      const vec xk = O::set1(xu[k]);
      vec yk;
      if constexpr (Next) yk = O::set1(xs[k]);
      SOM_UNROLL for (int u = 0; u < U; ++u) {
        double* wk = w + u * stride + k * L;
        const vec old = O::load(wk);
        const vec step = O::mul(O::sub(xk, old), alpha);
        vec now;
        if constexpr (Masked && long_loops) O::hold(keep[u]);
        if constexpr (Masked) now = O::add_where(keep[u], step, old);
        else now = O::add(step, old);
        O::store(wk, now);
        if constexpr (Next) {
          const vec d = O::diff(yk, now);
          sum[u] = O::add(sum[u], O::mul(d, d));
        }
      }
    }
    if constexpr (Next) {
      SOM_UNROLL for (int u = 0; u < U; ++u) track(u, sum[u], t + u);
    }
  }

  // The lanes of tile t inside the radius: from `known` (the tiles' masks
  // from t0 on, as bits) when set; otherwise worked out, and kept in `keep`
  // when that is set.
  SOM_INLINE mask inside_radius(pos& p, grid_pos centre, const std::uint8_t* known,
                                std::uint8_t* keep, std::size_t i) {
    if (known != nullptr) return O::from_bits(known[i]);
    const mask inside = O::in_radius(p, centre.row, centre.col, a.radius);
    O::advance(p, step_row, step_col, wrap_at);
    if (keep != nullptr) keep[i] = O::to_bits(inside);
    return inside;
  }

  // Moves xu's neighbourhood around `centre` towards xu in tiles [t0, t1),
  // then (with Next) measures the updated tiles' distances to xs. Groups
  // wholly inside the radius skip the choice of lanes.
  // Without Grouped, tile by tile: a small neighbourhood touches few tiles,
  // and a group would move all of its tiles whenever one lane is inside.
  template <bool Next, bool Grouped = true>
  void update(const double* xu, grid_pos centre, std::uint32_t first_row, const double* xs,
              std::size_t t0, std::size_t t1, const std::uint8_t* known, std::uint8_t* keep) {
    const vec alpha = O::set1(a.learning_rate);
    pos p{};
    if (known == nullptr) p = position(t0, first_row);
    std::size_t t = t0;
    for (; Grouped && t + U <= t1; t += U) {
      mask inside[U];
      bool some = false;
      bool every = true;
      SOM_UNROLL for (int u = 0; u < U; ++u) {
        inside[u] = inside_radius(p, centre, known, keep, t + u - t0);
        some = some || O::any(inside[u]);
        if constexpr (long_loops) every = every && O::all(inside[u]);
      }
      if (long_loops && every) {
        move_group<Next, false>(xu, xs, alpha, inside, t);
      } else if (some) {
        move_group<Next, true>(xu, xs, alpha, inside, t);
      } else if constexpr (Next) {
        search(xs, t, t + U);
      }
    }
    for (; t < t1; ++t) {
      const mask inside = inside_radius(p, centre, known, keep, t - t0);
      if (!O::any(inside)) {
        if constexpr (Next) search(xs, t, t + 1);
        continue;
      }
      double* w = a.block + t * stride;
      vec sum = O::set1(0.0);
      for (std::uint32_t k = 0; k < dimension; ++k) {
        double* wk = w + k * L;
        const vec old = O::load(wk);
        const vec now = O::add_where(inside, O::mul(O::sub(O::set1(xu[k]), old), alpha), old);
        O::store(wk, now);
        if constexpr (Next) {
          const vec d = O::diff(O::set1(xs[k]), now);
          sum = O::add(sum, O::mul(d, d));
        }
      }
      if constexpr (Next) track(0, sum, t);
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

  grid_pos to_pos(bmu_candidate c) const {
    if (c.neuron == no_neuron) return grid_pos{0, 0};
    // A load is quicker than a division on the chain between samples.
    if (a.positions != nullptr) return a.positions[c.neuron];
    if (c.neuron <= 0xFFFFFFFFu) {
      // A 32-bit division is the shorter one.
      const std::uint32_t n = static_cast<std::uint32_t>(c.neuron);
      return grid_pos{n / a.map_cols, n % a.map_cols};
    }
    return grid_pos{static_cast<std::uint32_t>(c.neuron / a.map_cols),
                    static_cast<std::uint32_t>(c.neuron % a.map_cols)};
  }

  grid_pos agree(bmu_candidate mine) const {
    if (a.exchange != nullptr) mine = a.exchange(a.sync, a.thread, mine);
    return to_pos(mine);
  }

  // The same for the pruned search's sample s, where a thread that keeps
  // its own nearest neurons notes it first.
  grid_pos agree_noting(bmu_candidate mine, std::uint32_t s) const {
    if (a.own_previous != nullptr) a.own_previous[s] = mine.neuron;
    return agree(mine);
  }

  // One object per way: the fused way's must not escape into a call, or
  // its running minima would leave the registers.
  static std::uint32_t run(const epoch_args& args) {
    std::uint32_t rozdil;
    std::uint64_t searched;
    if (args.pruned) {
      epoch_kernel kernel(args);
      rozdil = kernel.run_pruned();
      searched = kernel.searched;
    } else {
      epoch_kernel kernel(args);
      rozdil = kernel.run_fused();
      // Every tile measured in full for every sample.
      searched = std::uint64_t{args.count} * (args.tile_end - args.tile_begin) * args.dimension;
    }
    if (args.searched != nullptr) *args.searched += searched;
    return rozdil;
  }

  // The tiles [ua, ub) of the rows within reach of the winner `bmu` (from
  // first_row on), or of the whole grid where squared distances may wrap;
  // none where nothing is updated.
  SOM_INLINE void reach_of(grid_pos bmu, std::size_t& ua, std::size_t& ub,
                           std::uint32_t& first_row) const {
    const std::size_t tb = a.tile_begin;
    const std::size_t te = a.tile_end;
    const std::uint64_t cols = a.map_cols;
    ua = tb;
    ub = tb;
    first_row = 0;
    if (!a.updates) return;
    if (a.whole_grid) {
      ub = te;
      return;
    }
    const std::uint64_t lo = bmu.row > a.reach ? bmu.row - a.reach : 0;
    std::uint64_t hi = std::uint64_t{bmu.row} + a.reach;
    if (hi > a.map_rows - 1u) hi = a.map_rows - 1u;
    first_row = static_cast<std::uint32_t>(lo);
    ua = static_cast<std::size_t>(lo * cols / L);
    ub = static_cast<std::size_t>(((hi + 1) * cols + L - 1) / L);
    if (ua < tb) ua = tb;
    if (ua > te) ua = te;
    if (ub < ua) ub = ua;
    if (ub > te) ub = te;
  }

  // The lanes inside the radius depend on the winner only: where the trainer
  // keeps a table of them, the winner's row of masks from tile ua on, to
  // read (`known`) or, the first time, to fill (`keep`).
  SOM_INLINE void masks_of(grid_pos bmu, std::size_t ua, const std::uint8_t*& known,
                           std::uint8_t*& keep) const {
    known = nullptr;
    keep = nullptr;
    if (a.lane_masks == nullptr) return;
    const std::size_t neuron = std::size_t{bmu.row} * a.map_cols + bmu.col;
    std::uint8_t* row = a.lane_masks + neuron * (a.tile_end - a.tile_begin) + (ua - a.tile_begin);
    if (a.masks_known[neuron] != 0) {
      known = row;
    } else {
      keep = row;
      a.masks_known[neuron] = 1;
    }
  }

  // The epoch with the search fused into the update: for each sample, one
  // pass over the tiles moves its neighbourhood and measures the next
  // sample's distances. (Written out in full, not through the helpers
  // below: W1 is bound by this loop's chain from one winner to the next,
  // and GCC keeps more of it in registers this way.)
  std::uint32_t run_fused() {
    const std::size_t tb = a.tile_begin;
    const std::size_t te = a.tile_end;
    const std::uint64_t cols = a.map_cols;
    std::uint32_t rozdil = 0;
    if (a.count == 0) return 0;
    reset();
    search(a.samples, tb, te);
    grid_pos bmu = agree(candidate());
    for (std::uint32_t s = 0; s < a.count; ++s) {
      const double* x = a.samples + static_cast<std::size_t>(s) * dimension;
      const bool last = s + 1 == a.count;
      const double* next = last ? nullptr : x + dimension;
      reset();
      std::size_t ua = tb;
      std::size_t ub = tb;
      std::uint32_t first_row = 0;
      if (a.updates) {
        if (a.whole_grid) {
          ua = tb;
          ub = te;
        } else {
          const std::uint64_t lo = bmu.row > a.reach ? bmu.row - a.reach : 0;
          std::uint64_t hi = std::uint64_t{bmu.row} + a.reach;
          if (hi > a.map_rows - 1u) hi = a.map_rows - 1u;
          first_row = static_cast<std::uint32_t>(lo);
          ua = static_cast<std::size_t>(lo * cols / L);
          ub = static_cast<std::size_t>(((hi + 1) * cols + L - 1) / L);
          if (ua < tb) ua = tb;
          if (ua > te) ua = te;
          if (ub < ua) ub = ua;
          if (ub > te) ub = te;
        }
      }
      if (next != nullptr) search(next, tb, ua);
      if (ua < ub) {
        // The lanes inside the radius depend on the winner only: worked out
        // once per winner where the trainer keeps a table of them.
        const std::uint8_t* known = nullptr;
        std::uint8_t* keep = nullptr;
        if (a.lane_masks != nullptr) {
          const std::size_t neuron = std::size_t{bmu.row} * a.map_cols + bmu.col;
          std::uint8_t* row = a.lane_masks + neuron * (te - tb) + (ua - tb);
          if (a.masks_known[neuron] != 0) {
            known = row;
          } else {
            keep = row;
            a.masks_known[neuron] = 1;
          }
        }
        if (next != nullptr) update<true>(x, bmu, first_row, next, ua, ub, known, keep);
        else update<false>(x, bmu, first_row, nullptr, ua, ub, known, keep);
      }
      if (next != nullptr) search(next, ub, te);

      if (a.assignments != nullptr) {
        assignment& previous = a.assignments[s];
        const std::uint32_t pi = previous.row - bmu.row;
        const std::uint32_t pj = previous.col - bmu.col;
        rozdil += pi * pi + pj * pj;
        previous = bmu;
      }
      if (!last) bmu = agree(candidate());
    }
    return rozdil;
  }

  // The epoch with the pruned search: for each sample, its neighbourhood is
  // moved first, then the next sample is searched over the moved weights.
  SOM_NOINLINE std::uint32_t run_pruned() {
    const std::size_t tb = a.tile_begin;
    const std::size_t te = a.tile_end;
    std::uint32_t rozdil = 0;
    if (a.count == 0) return 0;
    reset();
    pruned_search(a.samples, tb, te, start_bound(0, a.samples));
    grid_pos bmu = agree_noting(candidate(), 0);
    for (std::uint32_t s = 0; s < a.count; ++s) {
      const double* x = a.samples + static_cast<std::size_t>(s) * dimension;
      const bool last = s + 1 == a.count;
      const double* next = last ? nullptr : x + dimension;
      reset();
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
      if (next != nullptr) pruned_search(next, tb, te, start_bound(s + 1, next));
      rozdil += note_winner(s, bmu);
      if (!last) bmu = agree_noting(candidate(), s + 1);
    }
    return rozdil;
  }

  // Where this thread keeps the assignments: the change of sample s's
  // winner, for Rozdil, and the new winner in its record.
  SOM_INLINE std::uint32_t note_winner(std::uint32_t s, grid_pos bmu) const {
    if (a.assignments == nullptr) return 0;
    assignment& previous = a.assignments[s];
    const std::uint32_t pi = previous.row - bmu.row;
    const std::uint32_t pj = previous.col - bmu.col;
    previous = bmu;
    return pi * pi + pj * pj;
  }
};

// Maps of 12 tiles or more (per thread) get four tiles side by side, and
// unrolled component loops for dimensions up to 4 (from about 8 on, the
// general build runs faster: its masks stay in mask registers and its groups
// wholly inside the radius skip them); the smallest maps, bound by the chain
// from one sample's winner to the next, one build with two tiles side by
// side (fewer builds keep the compile short).
template <class O, int U>
std::uint32_t run_sized(const epoch_args& args) {
  switch (args.dimension) {
    case 1: return epoch_kernel<O, U, 1>::run(args);
    case 2: return epoch_kernel<O, U, 2>::run(args);
    case 3: return epoch_kernel<O, U, 3>::run(args);
    case 4: return epoch_kernel<O, U, 4>::run(args);
    default: return epoch_kernel<O, U>::run(args);
  }
}

template <class O>
std::uint32_t run_epoch(const epoch_args& args) {
  if (args.tile_end - args.tile_begin >= 12) return run_sized<O, 4>(args);
  return epoch_kernel<O, 2>::run(args);
}

// One build for any dimension and map, for kernels whose speed does not
// matter (the portable one: the program trains with the plain loops where no
// vector kernel runs).
template <class O>
std::uint32_t run_epoch_any_dimension(const epoch_args& args) {
  return epoch_kernel<O, 2>::run(args);
}
