// The training kernels, one build per processor target (common/targets.hpp):
// each entry names its target and gives its entry point. The trainer, the
// tests and the benchmarks take every kernel from here.
#pragma once

#include <span>
#include <string_view>

#include "common/targets.hpp"
#include "som/kernels/kernel.hpp"

namespace som::kernels {

struct kernel_entry {
  target_id target;
  epoch_fn epoch;
  // Whether it trains faster than the plain loops (the portable build does
  // not: the shipped program then uses the plain loops).
  bool beats_plain;

  const char* name() const { return target_of(target).name; }
};

// Every kernel of this build, widest first; the last one (portable C++)
// runs anywhere.
std::span<const kernel_entry* const> kernel_table();

// Whether this processor and its system run the kernel.
bool runs_here(const kernel_entry& kernel);

// The widest kernel that runs here.
const kernel_entry& best_kernel();

// The kernel of this name (its target's), or null when the build has none.
const kernel_entry* find_kernel(std::string_view name);

}  // namespace som::kernels
