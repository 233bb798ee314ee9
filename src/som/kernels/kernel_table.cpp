#include "som/kernels/kernel_table.hpp"

namespace som::kernels {

// Each build defines its own entry beside its code.
#if defined(SOM_X86_TARGETS)
extern const kernel_entry avx512_kernel;
extern const kernel_entry avx2_kernel;
#endif
extern const kernel_entry portable_kernel;

namespace {

// The kernels by target. SSE2 has none: where AVX2 does not run, the plain
// loops train (the portable kernel is no faster than they are).
constexpr per_target<const kernel_entry*> builds = [] {
  per_target<const kernel_entry*> by_target{};
#if defined(SOM_X86_TARGETS)
  by_target[slot(target_id::avx512)] = &avx512_kernel;
  by_target[slot(target_id::avx2)] = &avx2_kernel;
#endif
  by_target[slot(target_id::portable)] = &portable_kernel;
  return by_target;
}();

}  // namespace

std::span<const kernel_entry* const> kernel_table() {
  static const build_list<kernel_entry> listed = list_builds(builds);
  return listed.all();
}

bool runs_here(const kernel_entry& kernel) { return som::runs_here(kernel.target); }

const kernel_entry& best_kernel() { return *builds[slot(widest_build(builds))]; }

const kernel_entry* find_kernel(std::string_view name) {
  for (const kernel_entry* kernel : kernel_table()) {
    if (name == kernel->name()) return kernel;
  }
  return nullptr;
}

}  // namespace som::kernels
