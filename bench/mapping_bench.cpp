// Times the mapping of new samples onto a trained map: the best and
// second-best unit of every sample, by the plain search through every
// neuron (find_best_two) and by best_two_finder with each build of the lane
// search, and checks that every sample gets the plain search's units and
// distance, bit for bit.
//
// The maps are trained here with the real training loop (train_map, as
// som_train runs it) on part of the data:
//   clusters  40 x 40 map, dimension 32: 20 Gaussian clusters (sigma 0.04)
//             with centres uniform in the unit cube, as the training
//             benchmark's W4; trained on 2000 samples, 1000000 new samples.
//   digits    20 x 20 map, dimension 64: the 8 x 8 handwritten digits of
//             bench/data/digits.csv.gz (pixel counts / 16), as D1; trained on
//             the first 1200, then 100000 new digits made from the other
//             597, each pixel count given noise (Gaussian, sigma 1, rounded
//             and kept within 0 to 16).
//
// usage: som_mapping_bench [REPEATS [CASE...]]   (default 5, both cases)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#if defined(SOM_BENCH_ZLIB)
#include <zlib.h>
#endif

#include "common/random.hpp"
#include "som/map/best_two.hpp"
#include "som/map/best_two_targets.hpp"
#include "som/map/map_storage.hpp"
#include "som/training/train_map.hpp"

namespace {

// Numbers from a fixed seed (splitmix64), the same on every machine.
struct numbers {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  double gauss() {
    const double a = 1.0 - uniform(), b = uniform();
    return std::sqrt(-2.0 * std::log(a)) * std::cos(6.283185307179586 * b);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
};

struct workload {
  std::string name;
  std::uint32_t rows = 0, cols = 0, dimension = 0;
  std::uint32_t radius_decay = 0, rate_decay = 0, stop_radius = 0, seed = 0;
  std::vector<double> training;  // rows of `dimension`
  std::vector<double> mapped;
};

workload clusters() {
  workload w{"clusters", 40, 40, 32, 1, 10, 6, 4, {}, {}};
  numbers gen{2026};
  std::vector<double> centres(20 * w.dimension);
  for (double& c : centres) c = gen.uniform();
  auto draw = [&](std::vector<double>& out, std::size_t count) {
    for (std::size_t s = 0; s < count; ++s) {
      const double* centre = centres.data() + gen.below(20) * w.dimension;
      for (std::uint32_t k = 0; k < w.dimension; ++k) out.push_back(centre[k] + 0.04 * gen.gauss());
    }
  };
  draw(w.training, 2000);
  draw(w.mapped, 1000000);
  return w;
}

// The 1797 digits (64 pixel counts each), or none without zlib.
std::vector<std::vector<int>> read_digits(const char* path) {
  std::vector<std::vector<int>> digits;
#if defined(SOM_BENCH_ZLIB)
  gzFile file = gzopen(path, "rb");
  if (file == nullptr) return digits;
  char line[1024];
  while (gzgets(file, line, sizeof line) != nullptr) {
    std::vector<int> pixels;
    const char* at = line;
    for (int k = 0; k < 64; ++k) {
      pixels.push_back(std::atoi(at));
      at = std::strchr(at, ',');
      if (at == nullptr) break;
      ++at;
    }
    if (pixels.size() == 64) digits.push_back(pixels);
  }
  gzclose(file);
#else
  (void)path;
#endif
  return digits;
}

workload digits(const char* path) {
  workload w{"digits", 20, 20, 64, 2, 20, 3, 5, {}, {}};
  const std::vector<std::vector<int>> all = read_digits(path);
  if (all.size() < 1300) return w;
  for (std::size_t d = 0; d < 1200; ++d)
    for (int p : all[d]) w.training.push_back(p / 16.0);
  numbers gen{64};
  for (std::size_t s = 0; s < 100000; ++s) {
    const std::vector<int>& digit = all[1200 + gen.below(all.size() - 1200)];
    for (int pixel : digit) {
      const double noisy = std::round(pixel + gen.gauss());
      w.mapped.push_back(std::clamp(noisy, 0.0, 16.0) / 16.0);
    }
  }
  return w;
}

// The map trained from random weights on the workload's training samples,
// in the plain layout.
std::vector<double> train(const workload& w) {
  const som::training_engine engine = som::shipped_engine();
  som::owned_grid grid(som::alloc_weight_grid(w.rows, w.cols, w.dimension, som::grid_lanes(engine)));
  som::random_generator gen;
  som::seed_random(gen, w.seed);
  som::init_random_weights(*grid, gen);
  std::vector<double> samples = w.training;
  const som::sample_matrix matrix{samples.data(),
                                  static_cast<std::uint32_t>(samples.size() / w.dimension),
                                  w.dimension};
  std::vector<som::assignment> assignments(matrix.count);
  som::assignment_table table{assignments.data(), matrix.count};
  som::training_params params;
  params.radius_decay = w.radius_decay;
  params.rate_decay = w.rate_decay;
  params.stop_radius = w.stop_radius;
  params.engine = engine;
  std::uint32_t krok = 0, rozdil = 0;
  const som::epoch_sink quiet{[](void*, std::uint32_t, double) {}, nullptr};
  som::train_map(quiet, params, matrix, *grid, table, krok, rozdil);
  std::vector<double> weights;
  for (std::size_t n = 0; n < grid->neurons; ++n)
    for (std::uint32_t k = 0; k < w.dimension; ++k) weights.push_back(grid->at(n, k));
  return weights;
}

// Wall seconds and the process's processor seconds (every thread) of f.
struct timing {
  double wall = 0, cpu = 0;
};

timing measure(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool same(const som::best_two& a, const som::best_two& b) {
  return a.best.row == b.best.row && a.best.col == b.best.col && a.has_second == b.has_second &&
         a.second.row == b.second.row && a.second.col == b.second.col &&
         std::memcmp(&a.best_distance, &b.best_distance, sizeof(double)) == 0;
}

bool run(const workload& w, int repeats) {
  if (w.training.empty()) {
    std::printf("%s: no data (the digits need zlib), skipped\n", w.name.c_str());
    return true;
  }
  std::vector<double> weights;
  const double training = measure([&] { weights = train(w); }).wall;
  const som::weight_grid grid{weights.data(), w.rows, w.cols, w.dimension, 1,
                              std::size_t{w.rows} * w.cols, std::size_t{w.rows} * w.cols};
  std::vector<double> mapped = w.mapped;
  const som::sample_matrix samples{mapped.data(),
                                   static_cast<std::uint32_t>(mapped.size() / w.dimension),
                                   w.dimension};
  std::printf("%s: %ux%u map, dimension %u, trained on %zu samples in %.2f s; %u samples mapped\n",
              w.name.c_str(), w.rows, w.cols, w.dimension, w.training.size() / w.dimension,
              training, samples.count);

  std::vector<som::best_two> reference(samples.count);
  std::vector<double> plain_wall, plain_cpu;
  for (int r = 0; r < repeats; ++r) {
    const timing t = measure([&] {
      for (std::uint32_t s = 0; s < samples.count; ++s)
        reference[s] = som::find_best_two(grid, samples.row(s));
    });
    plain_wall.push_back(t.wall);
    plain_cpu.push_back(t.cpu);
  }
  const double plain = median(plain_wall), plain_processor = median(plain_cpu);
  std::printf("  %-16s median %8.3f s, processor %8.3f s (%d runs)\n", "plain", plain,
              plain_processor, repeats);

  struct variant {
    std::string name;
    const som::lane_target* target;  // null: as the finder chooses
    unsigned threads;
  };
  std::vector<variant> variants = {{"finder", nullptr, 1}, {"finder/2", nullptr, 2}};
  for (const som::lane_target* t : som::lane_targets())
    if (som::runs_here(*t)) variants.push_back({t->name(), t, 1});
  bool all_same = true;
  for (const variant& v : variants) {
    std::vector<som::best_two> found(samples.count);
    std::vector<double> times, processor;
    for (int r = 0; r < repeats; ++r) {
      std::fill(found.begin(), found.end(), som::best_two{});
      const timing t = measure([&] {
        if (v.target == nullptr) {
          const som::best_two_finder finder(grid);
          finder.find_all(samples, found.data(), v.threads);
        } else {
          const som::best_two_finder finder(grid, *v.target);
          finder.find_all(samples, found.data(), v.threads);
        }
      });
      times.push_back(t.wall);
      processor.push_back(t.cpu);
      std::size_t differ = 0;
      for (std::uint32_t s = 0; s < samples.count; ++s) differ += same(found[s], reference[s]) ? 0 : 1;
      if (differ != 0) {
        all_same = false;
        std::printf("  %s: %zu SAMPLES DIFFER from the plain search\n", v.name.c_str(), differ);
      }
    }
    const double m = median(times), p = median(processor);
    std::printf("  %-16s median %8.3f s, processor %8.3f s (%d runs)  %6.1fx plain (processor %.1fx)\n",
                v.name.c_str(), m, p, repeats, plain / m, plain_processor / p);
  }
  std::printf("  units %s\n", all_same ? "identical for every sample" : "DIFFER");
  return all_same;
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::string> cases;
  for (int i = 2; i < argc; ++i) cases.emplace_back(argv[i]);
  if (cases.empty()) cases = {"clusters", "digits"};
  bool ok = true;
  for (const std::string& c : cases) {
    if (c == "clusters") {
      ok = run(clusters(), repeats) && ok;
    } else if (c == "digits") {
      ok = run(digits(SOM_BENCH_DIGITS), repeats) && ok;
    } else {
      std::printf("%s: no such case\n", c.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
