// The one list of processor targets: each target is one entry (its name and
// what it needs of the processor and of the operating system), and each
// component that has builds per target (the training kernels, the counting
// pass's byte classifier) keeps its own builds in an array indexed by the
// target, so that this file knows nothing of them. A component without a
// build for a target leaves its slot empty, and the next narrower target's
// build serves there.
//
// Adding a target: a value of target_id and its entry in targets.cpp (and,
// for a target compiled per function, its flags below), then a file per
// component that gets a build for it, each with its line in that
// component's array (README, "Processor targets").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/cpu_features.hpp"

// x86-64 with GCC or Clang: functions can be compiled for an instruction set
// of their own (common/target_begin.hpp), so the AVX2 and AVX-512 builds
// exist.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SOM_X86_TARGETS 1
#endif

// SSE2 is in the build's baseline: every x86-64 processor has it.
#if defined(__SSE2__) || defined(_M_X64)
#define SOM_SSE2_BASELINE 1
#endif

// Each target's instruction sets as the compiler names them, for
// target_begin.hpp (the same facts as the entries' needs).
#define SOM_TARGET_FLAGS_AVX512 "avx512f,avx2,fma"
#define SOM_TARGET_FLAGS_AVX2 "avx2,fma"

namespace som {

// Widest first; the last runs anywhere.
enum class target_id : std::uint8_t { avx512, avx2, sse2, portable };
inline constexpr std::size_t target_count = 4;

struct target_entry {
  target_id id;
  const char* name;
  // Nothing for the targets that every processor of the build's kind runs.
  cpu_features needs;
};

// Every target, widest first (entry i has id i).
std::span<const target_entry, target_count> targets();

const target_entry& target_of(target_id id);

// The target of this name, or null.
const target_entry* find_target(std::string_view name);

// Whether this processor and its system run the target (the processor is
// asked once per process).
bool runs_here(target_id id);

// Whether every processor that runs this build runs the target.
constexpr bool in_baseline(const target_entry& target) {
  return has_features(cpu_features{}, target.needs);
}

// A component's builds, one slot per target (empty where it has none).
template <class Build>
using per_target = std::array<Build, target_count>;

constexpr std::size_t slot(target_id id) { return static_cast<std::size_t>(id); }

// A component's builds without its empty slots, widest first (for the tests
// and the benchmarks, which take every build). Made at run time: whether the
// address of a build defined in another file is null is no constant for
// every compiler (GCC with the sanitizers refuses it).
template <class Build>
struct build_list {
  per_target<const Build*> entries{};
  std::size_t count = 0;

  std::span<const Build* const> all() const { return {entries.data(), count}; }
};

template <class Build>
build_list<Build> list_builds(const per_target<const Build*>& builds) {
  build_list<Build> list;
  for (const Build* build : builds) {
    if (build != nullptr) list.entries[list.count++] = build;
  }
  return list;
}

// The widest target that runs here and for which `builds` has a build, or,
// with `baseline_only`, the widest of those that every processor of the
// build's kind runs. Every component has a portable build, the last resort.
template <class Build>
target_id widest_build(const per_target<Build>& builds, bool baseline_only = false) {
  for (const target_entry& target : targets()) {
    if (!builds[slot(target.id)]) continue;
    if (baseline_only ? in_baseline(target) : runs_here(target.id)) return target.id;
  }
  return target_id::portable;
}

}  // namespace som
