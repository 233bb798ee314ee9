#include "som/kernels/kernel_table.hpp"

namespace som::kernels {

// Each build defines its own entry beside its code.
#if defined(SOM_X86_KERNELS)
extern const kernel_entry avx512_kernel;
extern const kernel_entry avx2_kernel;
#endif
extern const kernel_entry portable_kernel;

namespace {

const kernel_entry* const table[] = {
#if defined(SOM_X86_KERNELS)
    &avx512_kernel,
    &avx2_kernel,
#endif
    &portable_kernel,
};

const cpu_features& this_machine() {
  static const cpu_features features = detect_cpu_features();
  return features;
}

}  // namespace

std::span<const kernel_entry* const> kernel_table() { return table; }

bool runs_here(const kernel_entry& kernel) { return has_features(this_machine(), kernel.needs); }

const kernel_entry& best_kernel() {
  for (const kernel_entry* kernel : table) {
    if (runs_here(*kernel)) return *kernel;
  }
  return portable_kernel;
}

const kernel_entry* find_kernel(std::string_view name) {
  for (const kernel_entry* kernel : table) {
    if (name == kernel->name) return kernel;
  }
  return nullptr;
}

}  // namespace som::kernels
