// Measures two limits of this machine that bound the training speed, with
// nothing of the program in the way:
//
//  - the fused update and distance loop at its fastest: 8-lane AVX-512
//    vectors, four tiles side by side, every lane inside the radius (no lane
//    masks), on a grid of W3's size (50 KiB) and of half of W2's (400 KiB,
//    what each of two threads holds); in nanoseconds per vector of 8 weights,
//    the same six operations per vector as the real kernel;
//  - one meeting of two threads, as the thread pool holds one per sample:
//    each publishes a count in a cache line of its own and waits for the
//    other's.
//
// usage: som_limits_bench [CPU0 CPU1]   (with two CPUs: pins the threads,
//                                         Linux only; the loop runs on both)
#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/cpu_features.hpp"

// GCC 12 warns about the deliberately undefined upper halves inside some
// AVX-512 intrinsics.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace {

bool pin(int cpu) {
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
#else
  (void)cpu;
  return false;
#endif
}

// One pass of the fused loop over `tiles` tiles of `dimension` components.
__attribute__((target("avx512f,fma"), noinline)) double fused_pass(double* w, std::size_t tiles,
                                                                   std::size_t dimension,
                                                                   const double* xu,
                                                                   const double* xs) {
  const __m512d alpha = _mm512_set1_pd(0.01);
  const __m512d one = _mm512_set1_pd(1.0);
  __m512d best = _mm512_set1_pd(1e300);
  const std::size_t stride = 8 * dimension;
  for (std::size_t t = 0; t + 4 <= tiles; t += 4) {
    double* b = w + t * stride;
    __m512d sum[4] = {_mm512_setzero_pd(), _mm512_setzero_pd(), _mm512_setzero_pd(),
                      _mm512_setzero_pd()};
    for (std::size_t k = 0; k < dimension; ++k) {
      const __m512d xk = _mm512_set1_pd(xu[k]);
      const __m512d yk = _mm512_set1_pd(xs[k]);
#pragma GCC unroll 4
      for (int u = 0; u < 4; ++u) {
        double* p = b + u * stride + k * 8;
        const __m512d old = _mm512_load_pd(p);
        const __m512d moved = _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(xk, old), alpha), old);
        _mm512_store_pd(p, moved);
        const __m512d d = _mm512_fnmadd_pd(one, moved, yk);
        sum[u] = _mm512_add_pd(sum[u], _mm512_mul_pd(d, d));
      }
    }
    for (const __m512d& s : sum) best = _mm512_min_pd(best, s);
  }
  alignas(64) double lanes[8];
  _mm512_store_pd(lanes, best);
  return *std::min_element(lanes, lanes + 8);
}

double nanoseconds_per_vector(std::size_t tiles, std::size_t dimension) {
  const std::size_t values = tiles * 8 * dimension;
  auto* w = static_cast<double*>(std::aligned_alloc(64, values * sizeof(double)));
  for (std::size_t i = 0; i < values; ++i) w[i] = static_cast<double>(i % 1000) * 1e-3;
  std::vector<double> xu(dimension, 0.25);
  std::vector<double> xs(dimension, 0.75);
  const int passes = static_cast<int>(std::max<std::size_t>(200, 40'000'000 / values));
  double sink = 0.0;
  for (int p = 0; p < passes / 10; ++p)
    sink += fused_pass(w, tiles, dimension, xu.data(), xs.data());
  std::vector<double> times;
  for (int r = 0; r < 5; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < passes; ++p) sink += fused_pass(w, tiles, dimension, xu.data(), xs.data());
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::free(w);
  if (sink == 42.0) std::printf(" ");
  std::sort(times.begin(), times.end());
  return times[2] / passes / static_cast<double>(tiles * dimension) * 1e9;
}

struct alignas(64) meeting_slot {
  std::atomic<std::uint32_t> reached{0};
};

double nanoseconds_per_meeting(int cpu0, int cpu1) {
  constexpr std::uint32_t meetings = 2'000'000;
  meeting_slot slots[2];
  auto side = [&](int me, int cpu) {
    if (cpu >= 0) pin(cpu);
    for (std::uint32_t i = 1; i <= meetings; ++i) {
      slots[me].reached.store(i, std::memory_order_release);
      while (slots[1 - me].reached.load(std::memory_order_acquire) < i) _mm_pause();
    }
  };
  const auto start = std::chrono::steady_clock::now();
  std::thread other(side, 1, cpu1);
  side(0, cpu0);
  other.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
         meetings * 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const int cpu0 = argc > 2 ? std::atoi(argv[1]) : -1;
  const int cpu1 = argc > 2 ? std::atoi(argv[2]) : -1;
  if (!som::detect_cpu_features().avx512f) {
    std::printf("no AVX-512 here: the fused loop is not measured\n");
  } else {
    for (int cpu : {cpu0, cpu1}) {
      if (cpu >= 0 && !pin(cpu)) std::printf("cannot pin to CPU %d\n", cpu);
      const char* where = cpu >= 0 ? "CPU " : "unpinned";
      std::printf(
          "fused loop, %s%s: W3's grid (50 tiles x 16) %.3f ns/vector, "
          "half of W2's (100 tiles x 64) %.3f ns/vector\n",
          where, cpu >= 0 ? std::to_string(cpu).c_str() : "", nanoseconds_per_vector(50, 16),
          nanoseconds_per_vector(100, 64));
      if (cpu < 0) break;
    }
  }
  std::printf("meeting of two threads: %.0f ns (median of 3)\n", [&] {
    double m[3];
    for (double& v : m) v = nanoseconds_per_meeting(cpu0, cpu1);
    std::sort(m, m + 3);
    return m[1];
  }());
  return 0;
}
