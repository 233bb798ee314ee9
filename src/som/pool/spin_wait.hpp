// Waiting between threads that meet many thousand times a second: spinning
// on the processor, a cheap clock for comparing short stretches of time, and
// a wait that spins first and naps only when the other thread is not
// running.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace som::pool {

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_pause();
#endif
}

// A cheap count that rises steadily, for comparing short stretches of time
// measured on the same thread (only ratios of its differences are used).
inline std::uint64_t ticks() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_ia32_rdtsc();
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  return __rdtsc();
#else
  return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

// Spins a while, then yields and naps, until `ready()` holds. A meeting is
// normally over within the spin; the naps only serve a thread that the
// system has taken off its core. (No blocking wait on the atomic itself: a
// pool sleeping in the C++ library's atomic wait was seen to hang on Windows.)
template <class Ready>
void wait_until(Ready ready) {
  constexpr int spins = 4000;
  constexpr int yields = 64;
  constexpr auto nap = std::chrono::microseconds(50);
  for (int i = 0; i < spins; ++i) {
    if (ready()) return;
    cpu_relax();
  }
  for (int i = 0; i < yields; ++i) {
    if (ready()) return;
    std::this_thread::yield();
  }
  while (!ready()) std::this_thread::sleep_for(nap);
}

// Waits until the count has reached `round` (counts only grow, and wrap:
// compared by their difference).
inline void wait_until_reached(const std::atomic<std::uint32_t>& count, std::uint32_t round) {
  wait_until([&count, round] {
    return static_cast<std::int32_t>(count.load(std::memory_order_acquire) - round) >= 0;
  });
}

}  // namespace som::pool
