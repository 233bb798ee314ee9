// The epoch that the trainer's plan chose (epoch_input::search and tame),
// and the build of the tile operations it runs on, which suits the thread's
// share of the tiles and the dimension (the same results from every build):
// the kernel files include this inside their own instruction-set region (see
// kernel_tiles.hpp), after their operations type is defined.
#pragma once

#include "som/kernels/kernel_blocked.hpp"
#include "som/kernels/kernel_fused.hpp"
#include "som/kernels/kernel_pruned.hpp"
#include "som/kernels/kernel_tiles.hpp"

// The pruned or the fused epoch on tile operations K.
template <class K>
std::uint32_t tiled_epoch(const epoch_args& args) {
  if (args.epoch.search == epoch_search::pruned) return pruned_epoch<K>(args);
  return fused_epoch<K>(args);
}

// Maps of 12 tiles or more (per thread) get four tiles side by side, and
// unrolled component loops for dimensions up to 4 (from about 8 on, the
// general build runs faster: its masks stay in mask registers and its groups
// wholly inside the radius skip them); the smallest maps, bound by the chain
// from one sample's winner to the next, one build with two tiles side by
// side (fewer builds keep the compile short).
template <class O, int U>
std::uint32_t sized_epoch(const epoch_args& args) {
  switch (args.epoch.dimension) {
    case 1: return tiled_epoch<tile_kernel<O, U, 1>>(args);
    case 2: return tiled_epoch<tile_kernel<O, U, 2>>(args);
    case 3: return tiled_epoch<tile_kernel<O, U, 3>>(args);
    case 4: return tiled_epoch<tile_kernel<O, U, 4>>(args);
    default: return tiled_epoch<tile_kernel<O, U>>(args);
  }
}

// The epoch for `args` on operations O. The blocked epoch has one build for
// any dimension (its loops run over whole lines of each neuron).
template <class O>
std::uint32_t run_epoch(const epoch_args& args) {
  if (args.epoch.search == epoch_search::blocked) return blocked_epoch<tile_kernel<O, 2>>(args);
  const std::size_t tiles = args.slice.tile_end - args.slice.tile_begin;
  if constexpr (tames_subnormals<O>) {
    // One build for any dimension: sparse data has many components.
    if (args.epoch.tame) {
      if (tiles >= 12) return tiled_epoch<tile_kernel<O, 4, 0, true>>(args);
      return tiled_epoch<tile_kernel<O, 2, 0, true>>(args);
    }
  }
  if (tiles >= 12) return sized_epoch<O, 4>(args);
  return tiled_epoch<tile_kernel<O, 2>>(args);
}

// One build for any dimension and map, for kernels whose speed does not
// matter (the portable one: the program trains with the plain loops where no
// vector kernel runs).
template <class O>
std::uint32_t run_epoch_any_dimension(const epoch_args& args) {
  if (args.epoch.search == epoch_search::blocked) return blocked_epoch<tile_kernel<O, 2>>(args);
  if constexpr (tames_subnormals<O>) {
    if (args.epoch.tame) return tiled_epoch<tile_kernel<O, 2, 0, true>>(args);
  }
  return tiled_epoch<tile_kernel<O, 2>>(args);
}
