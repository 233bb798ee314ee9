// The best and second-best units of samples over the neurons filed by
// neuron_groups, eight neurons to a vector, with exactly the answers of
// find_best_two (as lane_answer, best_two_targets.hpp). Written once over a
// set of vector operations `O` and compiled once per instruction set: each
// target file includes this inside its own instruction-set region and an
// anonymous namespace, after defining `O` (so nothing here may use the
// standard library: a function of it instantiated here could stand in for
// the baseline's). `O` gives:
//   vec                     8 doubles
//   zero(), set1(x), load(p) (64-byte aligned), store(p, v)
//   sub, mul, add, sqrt, max(a, b) (never given NaN)
//   square_add(d, s)        d × d + s, rounded once or twice
//   le(a, b)                the lanes with a <= b as bits (lane l: bit l)
//   root(x)                 the square root of one double
//
// How a sample is searched
// ------------------------
// Where a weight or a sample value is not finite or larger than
// largest_bounded_value, the search is the plain one: every neuron (of a map
// that is not bounded: every filed one, eight to a vector, each lane summing
// its own neuron's terms in component order, each difference, square and sum
// one rounded operation, so each distance is the plain one bit for bit).
// Otherwise:
//  1. The sample's squared distance to every group's centre, and from it
//     bounds on how near each group's neurons can come (triangle inequality).
//  2. The groups in order, the nearest centre's first, then the others whose
//     bound is not beyond the second-best found so far, nearest bound first;
//     in each, the tiles whose bounds are not beyond it.
//  3. Each such tile is screened: its lanes' sums of the squared differences
//     in the order of the map's variance (a few components at a time, so
//     that a tile stops once every lane is beyond). A lane that ends within
//     reach becomes a candidate, with an upper bound on its true distance.
//  4. The candidates within reach of the second-smallest upper bound are
//     measured in component order, as the plain search measures, and ranked
//     as it ranks: the smaller distance first, among equal ones the earlier
//     in row-major order (whatever order they were measured in); only
//     distances below the largest finite double count.
// Of equal neurons only the first two are filed (neuron_groups.hpp). So the
// answers are find_best_two's, provided that every neuron left out in 2. or
// 3. has a true distance above the second-smallest upper bound U2 of two
// candidates, then both nearer than it: it loses to them and ties with
// neither. The bounds below prove that.
//
// The bounds
// ----------
// Let u = 2^-53, η = 2^-1075 (half the smallest subnormal), n = dimension
// (n < 2^32), γ = (n + 2) u / (1 − (n + 2) u) <= (n + 2) u (1 + 2^-20),
// F = 1 + 4(n + 8)u and G = 1 − 4(n + 8)u (exact doubles: (n + 8) 2^-51
// has at most 33 significant bits). Every weight and sample value is finite
// and at most 2^480 in magnitude; a centre, the mean of such weights, is at
// most 2^480 (1 + u)^(m+1) < 2^481 for m < 2^32 neurons. Each difference is
// then below 2^482, each square below 2^964 and each sum of n below 2^997:
// nothing overflows.
//
// (1) For two such vectors y, z with e = |y − z| (exact), a sum D of the
//     terms fl(y_k − z_k)², each square rounded on its own or fused into its
//     addition, added in any order, satisfies
//        (1 − γ) e² − 2nη <= D <= (1 + γ) e² + 2nη.
//     A difference rounds to (y_k − z_k)(1 + δ), |δ| <= u (a subnormal
//     difference is exact). A square rounded on its own is within a factor
//     1 ± u and an absolute η (it may underflow); an addition of terms >= 0
//     rounds within 1 ± u (a subnormal sum is exact), a fused one within
//     1 ± u and η. Each term meets at most n + 2 factors, and
//     (1 − u)^(n+2) >= 1 − γ, (1 + u)^(n+2) <= 1 + γ.
// (2) above(D) = fl(fl(fl(√D) × F) + 2^-500) >= √((D + 2nη) / (1 − γ)) >= e:
//     the middle is at most (√D + √(2nη))(1 + γ) <= √D (1 + γ) + 2^-520
//     (1/√(1 − γ) <= 1 + γ, 2nη < 2^-1042), while above(D) >=
//     √D F (1 − u)³ + 2^-501 (three roundings of positive values) and
//     F (1 − u)³ >= 1 + (4n + 29) u − 12(n + 8) u² >= 1 + γ.
// (3) below(D) = max(0, fl(fl(fl(√D) × G) − 2^-500)) <= e: e >=
//     √((D − 2nη) / (1 + γ)) >= √D (1 − γ) − 2^-520 (or D < 2nη and
//     below(D) = 0), while a positive below(D) is at most
//     √D G (1 + u)³ − 2^-500, and G (1 + u)³ <= 1 − γ.
// (4) widen(P) = fl(fl(P × F) + 2^-1000). If P and D are two sums of (1)
//     for the same pair (the screen's and the plain one's), then
//     D <= widen(P), and P > widen(V) implies D > V for any V >= 0. By (1),
//     D <= (1 + γ)(P + 2nη) / (1 − γ) + 2nη and D >= (1 − γ)(P − 2nη) /
//     (1 + γ) − 2nη; (1 + γ) / (1 − γ) <= 1 + 2(n + 2) u (1 + 2^-19) <=
//     F (1 − u)², and 2nη (1 + γ) / (1 − γ) + 2nη < 2^-1040 < 2^-1000 (1 − u),
//     while widen(V) >= V F (1 − u)² + 2^-1000 (1 − u). So D <= widen(P);
//     and P > widen(V) gives P > (1 + γ)(V + 2nη) / (1 − γ) + 2nη, so
//     D > V.
//     A partial sum of the screen (some of the terms, in its order) is at
//     most its full sum: terms are >= 0 and rounding is monotone, so
//     fl(s + t) >= s. So a lane is left out once a partial sum is above
//     widen(U2): its D is above U2.
// (5) A = above(U2) and A' = fl(A × (1 + 4u)) >= A (1 + 4u)(1 − u). A
//     neuron j with e_j > A has D_j >= (1 − γ) e_j² − 2nη > (1 − γ) A² −
//     2nη >= U2 by (1) and (2). For doubles p, q with fl(p − q) > A', the
//     exact p − q >= fl(p − q) / (1 + u) > A (1 + 4u)(1 − u) / (1 + u) >= A.
// (6) With c a group's centre and D_xc, D_jc the screen's sums: L =
//     below(D_xc) <= |x − c| <= U = above(D_xc), and for each neuron j of
//     the group r_j = below(D_jc) <= |w_j − c| <= R_j = above(D_jc). The
//     triangle inequality gives e_j >= L − R_j and e_j >= r_j − U. A tile is
//     left out when fl(L − far) > A' or fl(near − U) > A', far being at least
//     every R_j and near at most every r_j of its lanes; a group when
//     fl(L − reach) > A', reach at least every R_j of it. By (5) every
//     neuron left out has e_j > A, so D_j > U2.
// U2 only falls as candidates come, and every test above holds for any U2
// that is at least the final one, so tests made earlier stay right.
#pragma once

// Loops over the tiles measured side by side and over a run of components
// are unrolled, so that each tile's sum stays in a register.
#if defined(__clang__)
#define SOM_LANES_INLINE __attribute__((always_inline)) inline
#define SOM_LANES_UNROLL _Pragma("unroll")
#elif defined(__GNUC__)
#define SOM_LANES_INLINE __attribute__((always_inline)) inline
#define SOM_LANES_UNROLL _Pragma("GCC unroll 8")
#else
#define SOM_LANES_INLINE inline
#define SOM_LANES_UNROLL
#endif

// The lowest set bit of a nonzero mask.
SOM_LANES_INLINE unsigned lowest_lane(unsigned bits) {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<unsigned>(__builtin_ctz(bits));
#else
  unsigned l = 0;
  while ((bits & 1u) == 0) {
    bits >>= 1;
    ++l;
  }
  return l;
#endif
}

// The best two units measured so far: the smaller distance first, among
// equal ones the earlier in row-major order, as find_best_two keeps them.
struct lane_units {
  double first = DBL_MAX;
  double second = DBL_MAX;
  std::uint32_t first_neuron = no_neuron_here;
  std::uint32_t second_neuron = no_neuron_here;

  // Whether `second` fell.
  SOM_LANES_INLINE bool offer(double distance, std::uint32_t neuron) {
    if (!(distance < DBL_MAX)) return false;
    if (distance < first || (distance == first && neuron < first_neuron)) {
      second = first;
      second_neuron = first_neuron;
      first = distance;
      first_neuron = neuron;
      return true;
    }
    if (distance < second || (distance == second && neuron < second_neuron)) {
      second = distance;
      second_neuron = neuron;
      return true;
    }
    return false;
  }
};

// The distance of x to w summed as the plain search sums it.
SOM_LANES_INLINE double plain_distance(const double* x, const double* w, std::uint32_t n) {
  double sum = 0.0;
  for (std::uint32_t k = 0; k < n; ++k) {
    const double d = x[k] - w[k];
    sum = sum + d * d;
  }
  return sum;
}

// The plain search through every neuron of the map.
SOM_LANES_INLINE lane_units plain_search(const neuron_lanes& v, const double* x) {
  lane_units units;
  for (std::uint32_t j = 0; j < v.neurons; ++j)
    units.offer(plain_distance(x, v.plain + std::size_t{j} * v.dimension, v.dimension), j);
  return units;
}

// The tiles that are measured side by side: each lane's sum is a chain of
// additions, and the chains of several tiles keep the adders busy.
constexpr std::uint32_t tiles_at_once = 4;

// A count of tiles as a type, for the loops unrolled over it.
template <std::uint32_t B>
struct tile_count {
  static constexpr std::uint32_t value = B;
};

// Calls f(tile_count<B>{}, first) for runs of up to tiles_at_once of
// `count` items.
template <class F>
SOM_LANES_INLINE void in_runs(std::uint32_t count, F f) {
  std::uint32_t first = 0;
  for (; count - first >= tiles_at_once; first += tiles_at_once)
    f(tile_count<tiles_at_once>{}, first);
  switch (count - first) {
    case 1: f(tile_count<1>{}, first); break;
    case 2: f(tile_count<2>{}, first); break;
    case 3: f(tile_count<3>{}, first); break;
    default: break;
  }
}

// The sums of B tiles' lanes (tile b's weights at w[b]) with x, Exact: each
// lane in component order as the plain search sums (x being in component
// order); otherwise the screen's sums of (1). Returns false, having stopped
// early, once every lane's partial sum is above `limit` (or NaN): (4) and,
// for exact sums, the same monotony.
template <class O, bool Exact, std::uint32_t B>
SOM_LANES_INLINE bool tile_sums(const double* const* w, const double* x, std::uint32_t n,
                                double limit, typename O::vec* sum) {
  using vec = typename O::vec;
  const vec most = O::set1(limit);
  SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) sum[b] = O::zero();
  std::uint32_t k = 0;
  auto step = [&] {
    const vec xk = O::set1(x[k]);
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) {
      // w − x: rounding to nearest is symmetric, so its square is that of
      // x − w.
      const vec d = O::sub(O::load(w[b] + std::size_t{k} * group_lanes), xk);
      sum[b] = Exact ? O::add(sum[b], O::mul(d, d)) : O::square_add(d, sum[b]);
    }
  };
  while (n - k >= 8) {
    SOM_LANES_UNROLL for (std::uint32_t j = 0; j < 8; ++j, ++k) step();
    unsigned near = 0;
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) near |= O::le(sum[b], most);
    if (near == 0) return false;
  }
  for (; k < n; ++k) step();
  return true;
}

// Tile t's weights.
SOM_LANES_INLINE const double* tile_weights(const neuron_lanes& v, std::uint32_t t) {
  return v.weights + std::size_t{t} * v.dimension * group_lanes;
}

// Calls f(neuron, sum) for each lane of tile t that holds a neuron and whose
// sum is not above `limit`.
template <class O, class F>
SOM_LANES_INLINE void lanes_within(const neuron_lanes& v, std::uint32_t t,
                                   const typename O::vec& sums, double limit, F f) {
  unsigned lanes = O::le(sums, O::set1(limit));
  if (lanes == 0) return;
  alignas(64) double d[group_lanes];
  O::store(d, sums);
  do {
    const unsigned l = lowest_lane(lanes);
    lanes &= lanes - 1;
    const std::uint32_t j = v.neurons_of[std::size_t{t} * group_lanes + l];
    if (j != no_neuron_here) f(j, d[l]);
  } while (lanes != 0);
}

// The candidates of a search: neurons whose screen sum came within reach,
// each with that sum or (once measured) its plain distance.
constexpr std::uint32_t most_candidates = 64;

// One sample's search, with what it has found so far.
template <class O>
struct lane_search {
  const neuron_lanes& v;
  const double* x;   // the sample
  const double* xs;  // its components in the tiles' order
  std::uint32_t pending[tiles_at_once];  // tiles to measure
  std::uint32_t pending_count = 0;
  // The candidates; `measured` ones hold their plain distance.
  std::uint32_t neuron[most_candidates];
  double sum[most_candidates];
  bool measured[most_candidates];
  std::uint32_t count = 0;
  double upper1 = DBL_MAX, upper2 = DBL_MAX;  // the two least upper bounds: U2 = upper2
  // widen(U2) and A' of (5), worked out again before they are next used
  // once U2 has fallen (either, from an earlier U2, is only larger).
  double reach = 0.0;
  double beyond = 0.0;
  bool stale = false;

  SOM_LANES_INLINE lane_search(const neuron_lanes& lanes, const double* sample,
                               const double* screened)
      : v(lanes), x(sample), xs(screened) {
    limits();
  }

  SOM_LANES_INLINE double widen(double p) const { return p * v.above + 0x1p-1000; }

  SOM_LANES_INLINE void limits() {
    reach = widen(upper2);
    beyond = (O::root(upper2) * v.above + 0x1p-500) * 0x1.0000000000004p0;
    stale = false;
  }
  SOM_LANES_INLINE void fresh_limits() {
    if (stale) limits();
  }

  SOM_LANES_INLINE void upper_bound(double upper) {
    if (upper < upper1) {
      upper2 = upper1;
      upper1 = upper;
      stale = true;
    } else if (upper < upper2) {
      upper2 = upper;
      stale = true;
    }
  }

  // The plain distances of candidates `which[0, m)`, four side by side.
  SOM_LANES_INLINE void measure(const std::uint32_t* which, std::uint32_t m) {
    const std::uint32_t n = v.dimension;
    in_runs(m, [&](auto run, std::uint32_t first) {
      constexpr std::uint32_t B = decltype(run)::value;
      const double* w[B];
      double s[B];
      SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) {
        w[b] = v.plain + std::size_t{neuron[which[first + b]]} * n;
        s[b] = 0.0;
      }
      for (std::uint32_t k = 0; k < n; ++k) {
        SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) {
          const double d = x[k] - w[b][k];
          s[b] = s[b] + d * d;
        }
      }
      SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) {
        sum[which[first + b]] = s[b];
        measured[which[first + b]] = true;
      }
    });
  }

  // The plain distance of every candidate that may be among the best two,
  // ranked; of the others nothing (their distances are above U2).
  SOM_LANES_INLINE lane_units rank() {
    fresh_limits();
    std::uint32_t which[most_candidates];
    std::uint32_t m = 0;
    for (std::uint32_t i = 0; i < count; ++i)
      if (!measured[i] && !(sum[i] > reach)) which[m++] = i;
    measure(which, m);
    lane_units units;
    for (std::uint32_t i = 0; i < count; ++i)
      if (measured[i]) units.offer(sum[i], neuron[i]);
    return units;
  }

  // Room for one more candidate: the list without those beyond reach, or
  // else only its best two, measured.
  SOM_LANES_INLINE void make_room() {
    fresh_limits();
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (measured[i] ? sum[i] > upper2 : sum[i] > reach) continue;
      neuron[kept] = neuron[i];
      sum[kept] = sum[i];
      measured[kept] = measured[i];
      ++kept;
    }
    count = kept;
    if (count < most_candidates) return;
    const lane_units best = rank();
    count = 0;
    upper1 = upper2 = DBL_MAX;
    keep(best.first, best.first_neuron);
    keep(best.second, best.second_neuron);
    limits();
  }

  // A measured candidate.
  SOM_LANES_INLINE void keep(double distance, std::uint32_t j) {
    if (j == no_neuron_here) return;
    neuron[count] = j;
    sum[count] = distance;
    measured[count] = true;
    ++count;
    upper_bound(distance);
  }

  SOM_LANES_INLINE void candidate(std::uint32_t j, double screen) {
    if (count == most_candidates) make_room();
    neuron[count] = j;
    sum[count] = screen;
    measured[count] = false;
    ++count;
    upper_bound(widen(screen));
  }

  // Screens the first B pending tiles.
  template <std::uint32_t B>
  SOM_LANES_INLINE void screen_pending() {
    const double* w[B];
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) w[b] = tile_weights(v, pending[b]);
    typename O::vec sums[B];
    fresh_limits();
    if (!tile_sums<O, false, B>(w, xs, v.dimension, reach, sums)) return;
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) {
      lanes_within<O>(v, pending[b], sums[b], reach, [&](std::uint32_t j, double screen) {
        if (!(screen > reach)) candidate(j, screen);
      });
    }
  }

  SOM_LANES_INLINE void flush() {
    switch (pending_count) {
      case 1: screen_pending<1>(); break;
      case 2: screen_pending<2>(); break;
      case 3: screen_pending<3>(); break;
      case 4: screen_pending<4>(); break;
      default: break;
    }
    pending_count = 0;
  }

  // The tiles of group g that (6) does not leave out; `low` and `high` are
  // L and U of its centre.
  SOM_LANES_INLINE void visit(std::uint32_t g, double low, double high) {
    fresh_limits();
    for (std::uint32_t t = v.first_tile[g]; t < v.first_tile[g + 1]; ++t) {
      if (low - v.far[t] > beyond) continue;
      if (v.near[t] - high > beyond) break;  // and so every later tile
      pending[pending_count++] = t;
      if (pending_count == tiles_at_once) flush();
    }
  }
};

// The best two units of every filed neuron, each lane summing in component
// order (a map that is not bounded keeps its components in that order).
template <class O>
SOM_LANES_INLINE lane_units every_tile(const neuron_lanes& v, const double* x) {
  lane_units units;
  in_runs(v.tiles, [&](auto run, std::uint32_t first) {
    constexpr std::uint32_t B = decltype(run)::value;
    const double* w[B];
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) w[b] = tile_weights(v, first + b);
    typename O::vec sums[B];
    if (!tile_sums<O, true, B>(w, x, v.dimension, units.second, sums)) return;
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) {
      lanes_within<O>(v, first + b, sums[b], units.second,
                      [&](std::uint32_t j, double d) { units.offer(d, j); });
    }
  });
  return units;
}

// Sorts groups[0, count) by key[group], the least first (a Shell sort:
// usually a handful, but as many as the map has groups where little is
// left out).
SOM_LANES_INLINE void sort_by_key(std::uint32_t* groups, std::uint32_t count, const double* key) {
  constexpr std::uint32_t gaps[] = {701, 301, 132, 57, 23, 10, 4, 1};
  for (std::uint32_t gap : gaps) {
    for (std::uint32_t i = gap; i < count; ++i) {
      const std::uint32_t g = groups[i];
      std::uint32_t j = i;
      for (; j >= gap && key[groups[j - gap]] > key[g]; j -= gap) groups[j] = groups[j - gap];
      groups[j] = g;
    }
  }
}

// The best two units of one sample; `scratch` as lane_scratch_doubles says
// (64-byte aligned), `alive` centre_tiles × 8 numbers.
template <class O>
SOM_LANES_INLINE lane_units search_sample(const neuron_lanes& v, const double* x,
                                          double* scratch, std::uint32_t* alive) {
  using vec = typename O::vec;
  const std::uint32_t n = v.dimension;
  if (!v.bounded) return every_tile<O>(v, x);
  if (v.groups == 0) return lane_units{};

  // The sample's components in the tiles' order; each centre's squared
  // distance, L, U, and L less the group's reach.
  const std::size_t padded = std::size_t{v.centre_tiles} * group_lanes;
  double* to_centre = scratch;
  double* low = to_centre + padded;
  double* high = low + padded;
  double* key = high + padded;
  double* xs = key + padded;
  unsigned inside = 1;
  for (std::uint32_t k = 0; k < n; ++k) {
    const double value = x[v.order[k]];
    xs[k] = value;
    inside &= static_cast<unsigned>(value <= largest_bounded_value) &
              static_cast<unsigned>(value >= -largest_bounded_value);
  }
  if (inside == 0) return plain_search(v, x);
  const vec above = O::set1(v.above), below = O::set1(v.below), nudge = O::set1(0x1p-500);
  in_runs(v.centre_tiles, [&](auto run, std::uint32_t first) {
    constexpr std::uint32_t B = decltype(run)::value;
    const double* c[B];
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b)
      c[b] = v.centres + std::size_t{first + b} * n * group_lanes;
    vec sum[B];
    tile_sums<O, false, B>(c, xs, n, DBL_MAX, sum);  // every sum is below it
    SOM_LANES_UNROLL for (std::uint32_t b = 0; b < B; ++b) {
      const vec root = O::sqrt(sum[b]);
      const vec l = O::max(O::sub(O::mul(root, below), nudge), O::zero());
      const std::size_t at = std::size_t{first + b} * group_lanes;
      O::store(to_centre + at, sum[b]);
      O::store(low + at, l);
      O::store(high + at, O::add(O::mul(root, above), nudge));
      O::store(key + at, O::sub(l, O::load(v.reach + at)));
    }
  });

  // The group of the nearest centre first, then every group that (6) does
  // not leave out, by their bounds, the nearest first.
  lane_search<O> s(v, x, xs);
  std::uint32_t nearest = 0;
  for (std::uint32_t g = 1; g < v.groups; ++g)
    if (to_centre[g] < to_centre[nearest]) nearest = g;
  s.visit(nearest, low[nearest], high[nearest]);
  s.flush();
  s.fresh_limits();
  key[nearest] = DBL_MAX;
  std::uint32_t groups = 0;
  for (std::uint32_t c = 0; c < v.centre_tiles; ++c) {
    unsigned lanes = O::le(O::load(key + std::size_t{c} * group_lanes), O::set1(s.beyond));
    while (lanes != 0) {
      alive[groups++] = c * group_lanes + lowest_lane(lanes);
      lanes &= lanes - 1;
    }
  }
  sort_by_key(alive, groups, key);
  for (std::uint32_t i = 0; i < groups; ++i) {
    const std::uint32_t g = alive[i];
    s.fresh_limits();
    if (key[g] > s.beyond) break;  // and so every group after it
    s.visit(g, low[g], high[g]);
  }
  s.flush();
  return s.rank();
}

// Every sample of a block of `count` rows: the entry of each target.
template <class O>
void search_samples(const neuron_lanes& v, const double* samples, std::size_t count,
                    lane_answer* out, double* scratch, std::uint32_t* alive) {
  for (std::size_t i = 0; i < count; ++i) {
    const lane_units u = search_sample<O>(v, samples + i * v.dimension, scratch, alive);
    out[i].distance = u.first;
    out[i].best = u.first_neuron;
    out[i].second = u.second_neuron;
  }
}
