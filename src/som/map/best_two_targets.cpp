#include "som/map/best_two_targets.hpp"

namespace som {

// Each build defines its own entry beside its code.
#if defined(SOM_X86_TARGETS)
extern const lane_target lanes_avx512;
extern const lane_target lanes_avx2;
#endif
extern const lane_target lanes_portable;

namespace {

// The builds by target. SSE2 has none: where AVX2 does not run, the
// portable build searches.
constexpr per_target<const lane_target*> builds = [] {
  per_target<const lane_target*> by_target{};
#if defined(SOM_X86_TARGETS)
  by_target[slot(target_id::avx512)] = &lanes_avx512;
  by_target[slot(target_id::avx2)] = &lanes_avx2;
#endif
  by_target[slot(target_id::portable)] = &lanes_portable;
  return by_target;
}();

}  // namespace

std::span<const lane_target* const> lane_targets() {
  static const build_list<lane_target> listed = list_builds(builds);
  return listed.all();
}

bool runs_here(const lane_target& target) { return som::runs_here(target.target); }

const lane_target& lane_target_here() { return *builds[slot(widest_build(builds))]; }

}  // namespace som
