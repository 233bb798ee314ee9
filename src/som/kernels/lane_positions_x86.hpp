// The grid positions (row, col) of a tile's 8 lanes as 32-bit integers, and
// their squared grid distances to a unit in wrapping 32-bit arithmetic, with
// AVX2 integer instructions. Shared by the AVX2 and AVX-512 kernels: included
// inside their anonymous namespaces, so that each file builds it with its own
// target flags.

struct lane_positions {
  __m256i row, col;
};

inline lane_positions make_lane_positions(const std::uint32_t* rows, const std::uint32_t* cols) {
  return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows)),
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cols))};
}

// The lanes from (r, c) on, for 8 <= cols <= 2^31.
inline lane_positions first_lane_positions(std::uint32_t r, std::uint32_t c, std::uint32_t cols) {
  const __m256i limit = _mm256_set1_epi32(static_cast<int>(cols));
  __m256i col = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(c)),
                                 _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  // All ones where the lane has passed the end of the row (at most once).
  const __m256i wraps = _mm256_cmpeq_epi32(_mm256_max_epu32(col, limit), col);
  col = _mm256_sub_epi32(col, _mm256_and_si256(wraps, limit));
  return {_mm256_sub_epi32(_mm256_set1_epi32(static_cast<int>(r)), wraps), col};
}

// Moves the lanes on by one tile: step_row rows and step_col columns, with
// one more row where the column passes the row's end (column >= wrap_at).
inline void advance_lane_positions(lane_positions& p, std::uint32_t step_row,
                                   std::uint32_t step_col, std::uint32_t wrap_at) {
  const __m256i limit = _mm256_set1_epi32(static_cast<int>(wrap_at));
  const __m256i wraps = _mm256_cmpeq_epi32(_mm256_max_epu32(p.col, limit), p.col);
  const __m256i onward = _mm256_add_epi32(p.col, _mm256_set1_epi32(static_cast<int>(step_col)));
  const __m256i back = _mm256_sub_epi32(p.col, limit);
  p.col = _mm256_blendv_epi8(onward, back, wraps);
  p.row = _mm256_sub_epi32(_mm256_add_epi32(p.row, _mm256_set1_epi32(static_cast<int>(step_row))),
                           wraps);
}

// (bi − row)² + (bj − col)² per lane, wrapping modulo 2^32.
inline __m256i squared_grid_distances(const lane_positions& p, std::uint32_t bi, std::uint32_t bj) {
  const __m256i di = _mm256_sub_epi32(_mm256_set1_epi32(static_cast<int>(bi)), p.row);
  const __m256i dj = _mm256_sub_epi32(_mm256_set1_epi32(static_cast<int>(bj)), p.col);
  return _mm256_add_epi32(_mm256_mullo_epi32(di, di), _mm256_mullo_epi32(dj, dj));
}
