// The fused epoch: a member of epoch_kernel (see kernel_body.hpp), included
// inside its definition. For epochs whose neighbourhood covers much of the
// map: one pass over the tiles moves a sample's neighbourhood and measures
// the next sample's distances.

// Written out in full, not through reach_of, masks_of and note_winner: with
// them GCC lays the loop out otherwise, and W3 ran 7 % slower (the same
// results).
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
