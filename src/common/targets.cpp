#include "common/targets.hpp"

namespace som {

namespace {

constexpr target_entry entries[] = {
    {target_id::avx512, "avx512", {.avx = true, .avx2 = true, .fma = true, .avx512f = true}},
    {target_id::avx2, "avx2", {.avx = true, .avx2 = true, .fma = true}},
    {target_id::sse2, "sse2", {}},
    {target_id::portable, "portable", {}},
};

static_assert(std::size(entries) == target_count);
static_assert(
    [] {
      for (std::size_t i = 0; i < target_count; ++i) {
        if (slot(entries[i].id) != i) return false;
      }
      return true;
    }(),
    "entry i is target i");

const cpu_features& this_machine() {
  static const cpu_features features = detect_cpu_features();
  return features;
}

}  // namespace

std::span<const target_entry, target_count> targets() { return entries; }

const target_entry& target_of(target_id id) { return entries[slot(id)]; }

const target_entry* find_target(std::string_view name) {
  for (const target_entry& target : entries) {
    if (name == target.name) return &target;
  }
  return nullptr;
}

bool runs_here(target_id id) { return has_features(this_machine(), target_of(id).needs); }

}  // namespace som
