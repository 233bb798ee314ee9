#include "som/best_two_targets.hpp"

namespace som {

// Each build defines its own entry beside its code.
#if defined(SOM_LANE_TARGETS_X86)
extern const lane_target lanes_avx512;
extern const lane_target lanes_avx2;
#endif
extern const lane_target lanes_portable;

namespace {

const lane_target* const table[] = {
#if defined(SOM_LANE_TARGETS_X86)
    &lanes_avx512,
    &lanes_avx2,
#endif
    &lanes_portable,
};

const cpu_features& this_machine() {
  static const cpu_features features = detect_cpu_features();
  return features;
}

}  // namespace

std::span<const lane_target* const> lane_targets() { return table; }

bool runs_here(const lane_target& target) { return has_features(this_machine(), target.needs); }

const lane_target& lane_target_here() {
  for (const lane_target* target : table)
    if (runs_here(*target)) return *target;
  return lanes_portable;
}

}  // namespace som
