// The fused epoch, for epochs whose neighbourhood covers much of the map:
// one pass over the tiles moves a sample's neighbourhood and measures the
// next sample's distances. Written over a tile_kernel K (kernel_tiles.hpp),
// and included with it inside each kernel's instruction-set region.
#pragma once

#include "som/kernels/kernel_tiles.hpp"

// Written out in full, not through reach_of, masks_of and note_winner: with
// them GCC lays the loop out otherwise, and W3 ran 7 % slower (the same
// results).
template <class K>
std::uint32_t fused_epoch(const epoch_args& args) {
  // A local object, whose running minima stay in registers.
  K k(args);
  const epoch_input& epoch = k.epoch;
  const thread_slice& slice = k.slice;
  const epoch_extras& extras = k.extras;
  const std::uint32_t dimension = k.dimension;
  const std::size_t own_begin = slice.tile_begin;
  const std::size_t own_end = slice.tile_end;
  std::uint32_t rozdil = 0;
  if (epoch.count == 0) return 0;
  k.reset();
  k.search(epoch.samples, own_begin, own_end);
  grid_pos bmu = k.agree(k.candidate());
  for (std::uint32_t s = 0; s < epoch.count; ++s) {
    const double* x = epoch.samples + static_cast<std::size_t>(s) * dimension;
    const bool last = s + 1 == epoch.count;
    const double* next = last ? nullptr : x + dimension;
    k.reset();
    // The tiles [near_begin, near_end) of the rows within the radius's reach.
    std::size_t near_begin;
    std::size_t near_end;
    std::uint32_t first_row;
    k.reach_of(bmu, near_begin, near_end, first_row);
    if (next != nullptr) k.search(next, own_begin, near_begin);
    if (near_begin < near_end) {
      // The lanes inside the radius depend on the winner only: worked out
      // once per winner where the trainer keeps a table of them.
      const std::uint8_t* known = nullptr;
      std::uint8_t* keep = nullptr;
      if (extras.lane_masks != nullptr) {
        const std::size_t neuron = std::size_t{bmu.row} * epoch.map_cols + bmu.col;
        std::uint8_t* row =
            extras.lane_masks + neuron * (own_end - own_begin) + (near_begin - own_begin);
        if (extras.masks_known[neuron] != 0) {
          known = row;
        } else {
          keep = row;
          extras.masks_known[neuron] = 1;
        }
      }
      if (next != nullptr) {
        k.template update<true>(x, bmu, first_row, next, near_begin, near_end, known, keep);
      } else {
        k.template update<false>(x, bmu, first_row, nullptr, near_begin, near_end, known, keep);
      }
    }
    if (next != nullptr) k.search(next, near_end, own_end);

    if (slice.assignments != nullptr) rozdil += som::note_winner(slice.assignments[s], bmu);
    if (!last) bmu = k.agree(k.candidate());
  }
  // Every tile measured in full for every sample.
  if (extras.searched != nullptr) {
    *extras.searched += std::uint64_t{epoch.count} * (own_end - own_begin) * epoch.dimension;
  }
  return rozdil;
}
