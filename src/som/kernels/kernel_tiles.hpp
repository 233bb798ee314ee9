// The tile operations that every epoch of the kernels is written over:
// distances of whole tiles, the running nearest neuron per lane, the update
// of a neighbourhood, and the grid positions of lanes. Written once over a
// set of vector operations and compiled once per instruction set: each
// kernel file includes kernel_epochs.hpp (which includes this file) inside
// its own instruction-set region (see target_begin.hpp). Everything here has
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
// and, where the build keeps subnormal weights out of its arithmetic (see
// tame_step; optional):
//   tiny(w)               lanes whose exponent field is 0 (±0 and subnormals)
//   tame(w)               w with those lanes +0
//   decay_tiny(w, alpha)  on those lanes, (0 − w) × alpha + w exactly,
//                         computed without a subnormal operand or result

#pragma once

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

// Whether the operations `O` can keep subnormal weights out of the
// arithmetic.
template <class O>
concept tames_subnormals = requires(typename O::vec v) {
  O::tame(v);
  O::tiny(v);
  O::decay_tiny(v, v);
};

// Subnormal weights out of the arithmetic, exactly: some processors take a
// slow path for every instruction with a subnormal operand, and sparse data
// pulls weights into the subnormal range. The Tame build of the epoch
// (epoch_input::tame) reads a weight whose exponent field is 0 as +0 in the
// distances and moves it towards a zero component with decay_tiny's integer
// arithmetic: the same numbers as the plain operations wherever
// tame_is_exact holds (every sample component ±0, infinite, NaN or at least
// 2^-968 in size, and 0 <= alpha <= 1 with every |x| × alpha at least
// 2^-968). Proved in docs/proofs/subnormal-weights.md.

// One thread's view of an epoch and the operations on its tiles, which the
// epochs (kernel_fused.hpp, kernel_pruned.hpp, kernel_blocked.hpp) are
// written over. An epoch keeps its tile_kernel a local object: its running
// minima (`best`, `best_tile`) then stay in registers.
// Unroll tiles are measured side by side. FixedD, when not 0, is the
// dimension known at compile time: small dimensions then get their component
// loops unrolled. Tame keeps subnormal weights out of the arithmetic (above).
template <class O, int Unroll, int FixedD = 0, bool Tame = false>
struct tile_kernel {
  // Long component loops pin their masks to mask registers (GCC would keep
  // them in memory and reload them on every step), and groups of tiles
  // wholly inside the radius skip the masks. Short loops keep one way
  // through, which spares a branch that is hard to predict.
  static constexpr bool long_loops = FixedD == 0;
  using lane_mask = std::conditional_t<long_loops, typename O::lane_mask, typename O::mask>;
  static SOM_INLINE lane_mask widen(typename O::mask m) {
    if constexpr (long_loops) return O::widen(m);
    else return m;
  }
  using ops = O;
  using vec = typename O::vec;
  using mask = typename O::mask;
  using pos = typename O::pos;
  static constexpr int U = Unroll;
  static constexpr std::size_t L = tile_lanes;

  const epoch_input& epoch;
  const thread_slice& slice;
  const epoch_extras& extras;
  const std::uint32_t dimension;
  std::size_t stride;  // doubles per tile
  std::uint32_t step_row;
  std::uint32_t step_col;
  std::uint32_t wrap_at;  // map_cols - step_col
  vec best[U];
  vec best_tile[U];
  std::uint64_t searched = 0;  // components of tiles measured (see epoch_extras)

  // A weight as the distances read it: in the Tame build, with its
  // subnormal lanes made +0 (the same terms, see above).
  static SOM_INLINE vec weight(vec w) {
    if constexpr (Tame) return O::tame(w);
    else return w;
  }
  static SOM_INLINE double weight(double w) {
    if constexpr (Tame) {
      std::uint64_t bits;
      std::memcpy(&bits, &w, sizeof bits);
      return (bits & 0x7FF0000000000000u) == 0 ? 0.0 : w;
    } else {
      return w;
    }
  }

  // (xk − old) × alpha + old on every lane, xk being sample component x: in
  // the Tame build without subnormal operands (see above).
  static SOM_INLINE vec moved(double x, vec xk, vec old, vec alpha) {
    if constexpr (Tame) {
      const vec w = O::tame(old);
      const vec now = O::add(O::mul(O::sub(xk, w), alpha), w);
      if (x == 0.0) return O::select(O::tiny(old), O::decay_tiny(old, alpha), now);
      return now;
    } else {
      return O::add(O::mul(O::sub(xk, old), alpha), old);
    }
  }

  explicit tile_kernel(const epoch_args& args)
      : epoch(args.epoch),
        slice(args.slice),
        extras(args.extras),
        dimension(FixedD != 0 ? static_cast<std::uint32_t>(FixedD) : args.epoch.dimension),
        stride(L * dimension),
        step_row(static_cast<std::uint32_t>(L / args.epoch.map_cols)),
        step_col(static_cast<std::uint32_t>(L % args.epoch.map_cols)),
        wrap_at(args.epoch.map_cols - static_cast<std::uint32_t>(L % args.epoch.map_cols)) {}

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
      const double* w = epoch.block + t * stride;
      vec sum[U];
      SOM_UNROLL for (int u = 0; u < U; ++u) sum[u] = O::set1(0.0);
      for (std::uint32_t k = 0; k < dimension; ++k) {
        const vec xk = O::set1(x[k]);
        SOM_UNROLL for (int u = 0; u < U; ++u) {
          // Half the differences on the multiply pipes, half on the add pipes.
          const vec wk = weight(O::load(w + u * stride + k * L));
          const vec d = (u & 1) != 0 ? O::sub(xk, wk) : O::diff(xk, wk);
          sum[u] = O::add(sum[u], O::mul(d, d));
        }
      }
      SOM_UNROLL for (int u = 0; u < U; ++u) track(u, sum[u], t + u);
    }
    for (; t < t1; ++t) {
      const double* w = epoch.block + t * stride;
      vec sum = O::set1(0.0);
      for (std::uint32_t k = 0; k < dimension; ++k) {
        const vec d = O::diff(O::set1(x[k]), weight(O::load(w + k * L)));
        sum = O::add(sum, O::mul(d, d));
      }
      track(0, sum, t);
    }
  }

  // The lanes' grid positions in tile t; `row` is a row whose first neuron
  // often lies in the tile or just after it, which spares the division.
  pos position(std::size_t t, std::uint32_t row) const {
    const std::uint64_t cols = epoch.map_cols;
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
    if (cols >= L && cols <= 0x80000000u) return O::lane_pos(r, c, epoch.map_cols);
    std::uint32_t rows[L];
    std::uint32_t columns[L];
    for (std::size_t l = 0; l < L; ++l) {
      rows[l] = r;
      columns[l] = c;
      if (c == epoch.map_cols - 1) {
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
    double* w = epoch.block + t * stride;
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
        vec now;
        if constexpr (Tame) {
          now = moved(xu[k], xk, old, alpha);
          if constexpr (Masked) now = O::select(keep[u], now, old);
        } else {
          const vec step = O::mul(O::sub(xk, old), alpha);
          if constexpr (Masked && long_loops) O::hold(keep[u]);
          if constexpr (Masked) now = O::add_where(keep[u], step, old);
          else now = O::add(step, old);
        }
        O::store(wk, now);
        if constexpr (Next) {
          const vec d = O::diff(yk, weight(now));
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
    const mask inside = O::in_radius(p, centre.row, centre.col, epoch.radius);
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
    const vec alpha = O::set1(epoch.learning_rate);
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
      double* w = epoch.block + t * stride;
      vec sum = O::set1(0.0);
      for (std::uint32_t k = 0; k < dimension; ++k) {
        double* wk = w + k * L;
        const vec old = O::load(wk);
        vec now;
        if constexpr (Tame) {
          now = O::select(inside, moved(xu[k], O::set1(xu[k]), old, alpha), old);
        } else {
          now = O::add_where(inside, O::mul(O::sub(O::set1(xu[k]), old), alpha), old);
        }
        O::store(wk, now);
        if constexpr (Next) {
          const vec d = O::diff(O::set1(xs[k]), weight(now));
          sum = O::add(sum, O::mul(d, d));
        }
      }
      if constexpr (Next) track(0, sum, t);
    }
  }

  grid_pos to_pos(bmu_candidate c) const {
    if (c.neuron == no_neuron) return grid_pos{0, 0};
    // A load is quicker than a division on the chain between samples.
    if (extras.positions != nullptr) return extras.positions[c.neuron];
    if (c.neuron <= 0xFFFFFFFFu) {
      // A 32-bit division is the shorter one.
      const std::uint32_t n = static_cast<std::uint32_t>(c.neuron);
      return grid_pos{n / epoch.map_cols, n % epoch.map_cols};
    }
    return grid_pos{static_cast<std::uint32_t>(c.neuron / epoch.map_cols),
                    static_cast<std::uint32_t>(c.neuron % epoch.map_cols)};
  }

  grid_pos agree(bmu_candidate mine) const {
    if (slice.exchange != nullptr) mine = slice.exchange(slice.sync, slice.thread, mine);
    return to_pos(mine);
  }

  // The tiles [near_begin, near_end) of the rows within reach of the winner `bmu` (from
  // first_row on), or of the whole grid where squared distances may wrap;
  // none where nothing is updated.
  SOM_INLINE void reach_of(grid_pos bmu, std::size_t& near_begin, std::size_t& near_end,
                           std::uint32_t& first_row) const {
    const std::size_t own_begin = slice.tile_begin;
    const std::size_t own_end = slice.tile_end;
    const std::uint64_t cols = epoch.map_cols;
    near_begin = own_begin;
    near_end = own_begin;
    first_row = 0;
    if (!epoch.updates) return;
    if (epoch.whole_grid) {
      near_end = own_end;
      return;
    }
    const std::uint64_t lo = bmu.row > epoch.reach ? bmu.row - epoch.reach : 0;
    std::uint64_t hi = std::uint64_t{bmu.row} + epoch.reach;
    if (hi > epoch.map_rows - 1u) hi = epoch.map_rows - 1u;
    first_row = static_cast<std::uint32_t>(lo);
    near_begin = static_cast<std::size_t>(lo * cols / L);
    near_end = static_cast<std::size_t>(((hi + 1) * cols + L - 1) / L);
    if (near_begin < own_begin) near_begin = own_begin;
    if (near_begin > own_end) near_begin = own_end;
    if (near_end < near_begin) near_end = near_begin;
    if (near_end > own_end) near_end = own_end;
  }

  // The lanes inside the radius depend on the winner only: where the trainer
  // keeps a table of them, the winner's row of masks from tile near_begin on, to
  // read (`known`) or, the first time, to fill (`keep`).
  SOM_INLINE void masks_of(grid_pos bmu, std::size_t near_begin, const std::uint8_t*& known,
                           std::uint8_t*& keep) const {
    known = nullptr;
    keep = nullptr;
    if (extras.lane_masks == nullptr) return;
    const std::size_t neuron = std::size_t{bmu.row} * epoch.map_cols + bmu.col;
    std::uint8_t* row = extras.lane_masks + neuron * (slice.tile_end - slice.tile_begin) +
                        (near_begin - slice.tile_begin);
    if (extras.masks_known[neuron] != 0) {
      known = row;
    } else {
      keep = row;
      extras.masks_known[neuron] = 1;
    }
  }

  // Where this thread keeps the assignments: the change of sample s's
  // winner, for Rozdil, and the new winner in its record.
  SOM_INLINE std::uint32_t note_winner(std::uint32_t s, grid_pos bmu) const {
    if (slice.assignments == nullptr) return 0;
    return som::note_winner(slice.assignments[s], bmu);
  }
};
