// The builds of the lane search (best_two_lanes.hpp), one per processor
// target (common/targets.hpp), and the choice among them: the widest that
// this processor and its system run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/targets.hpp"
#include "som/map/neuron_groups.hpp"

namespace som {

// One sample's answer as the builds give it (a plain record: the builds
// construct nothing of the baseline's).
struct lane_answer {
  double distance;       // the best one's, squared; the largest double when none
  std::uint32_t best;    // row-major number, or no_neuron_here
  std::uint32_t second;  // row-major number, or no_neuron_here
};

// The scratch memory of one thread's searches: doubles (64-byte aligned)
// and numbers.
inline std::size_t lane_scratch_doubles(const neuron_lanes& lanes) {
  return 4 * std::size_t{lanes.centre_tiles} * group_lanes + lanes.dimension;
}
inline std::size_t lane_scratch_numbers(const neuron_lanes& lanes) {
  return std::size_t{lanes.centre_tiles} * group_lanes;
}

// Searches `count` samples (rows of lanes.dimension doubles) into out[0,
// count), with scratch memory as above.
using lane_search_fn = void (*)(const neuron_lanes& lanes, const double* samples,
                                std::size_t count, lane_answer* out, double* scratch,
                                std::uint32_t* alive);

struct lane_target {
  target_id target;
  lane_search_fn search;

  const char* name() const { return target_of(target).name; }
};

// Every build, widest first; the last (portable C++) runs anywhere.
std::span<const lane_target* const> lane_targets();

bool runs_here(const lane_target& target);

// The first build that runs here.
const lane_target& lane_target_here();

}  // namespace som
