// Times the training alone (no reading, no writing) on one workload folder,
// with the plain loops and with each fast kernel path and thread count, and
// checks that every variant ends with the plain loops' weights, assignments
// and Rozdil, bit for bit.
//
// usage: som_train_bench FOLDER [REPEATS [VARIANT...]]
//   VARIANT: plain, portable, avx2, avx512 or best (the widest available),
//   each optionally /THREADS (e.g. avx512/2: every epoch on 2 threads), or
//   auto (what som_train does: the best path, and for large maps the thread
//   pool or one thread, whichever its timed epochs find faster).
//   Default: plain, best, and for large maps best/THREADS and auto.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/byte_reader.hpp"
#include "common/input_file.hpp"
#include "common/random.hpp"
#include "run/sample_data.hpp"
#include "run/setup_file.hpp"
#include "som/fast_epoch.hpp"
#include "som/map_storage.hpp"
#include "som/schedule.hpp"
#include "som/train_epoch.hpp"

namespace {

struct variant {
  std::string name;
  bool plain = false;
  som::kernel_path path = som::kernel_path::portable;
  unsigned threads = 1;
  bool always_pool = false;
};

struct outcome {
  double seconds = 0;
  double cpu_seconds = 0;       // of the whole process, every thread
  std::vector<double> weights;  // in neuron order
  std::vector<som::assignment> assignments;
  std::uint32_t rozdil = 0;
  std::uint32_t epochs = 0;
};

outcome train(const variant& v, const som::setup_params& setup, const som::sample_matrix& samples) {
  const std::uint32_t lanes = v.plain ? 1 : som::fast_grid_lanes;
  som::weight_grid grid =
      som::alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension, lanes);
  som::random_generator gen;
  som::seed_random(gen, setup.seed);
  som::init_random_weights(grid, gen);
  std::vector<som::assignment> assignments(samples.count);
  som::fast_trainer trainer(v.path, v.threads, v.always_pool);

  const double squared_size = som::squared_map_size(setup.map_rows, setup.map_cols);
  std::uint32_t Krok = setup.Krok;
  outcome out;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  som::epoch_schedule schedule;
  do {
    ++Krok;
    schedule = som::schedule_at(Krok, setup.radius_decay, setup.rate_decay, squared_size);
    out.rozdil = v.plain ? som::train_epoch_plain(samples, grid, assignments.data(),
                                                  schedule.learning_rate, schedule.radius)
                         : trainer.train_epoch(samples, grid, assignments.data(),
                                               schedule.learning_rate, schedule.radius);
    ++out.epochs;
  } while (schedule.radius > static_cast<double>(setup.stop_radius));
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out.cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;

  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < grid.dimension; ++k) out.weights.push_back(grid.at(n, k));
  }
  out.assignments = std::move(assignments);
  som::free_weight_grid(grid);
  return out;
}

bool same(const outcome& a, const outcome& b) {
  return a.rozdil == b.rozdil && a.epochs == b.epochs && a.weights.size() == b.weights.size() &&
         std::memcmp(a.weights.data(), b.weights.data(), a.weights.size() * sizeof(double)) == 0 &&
         a.assignments.size() == b.assignments.size() &&
         std::equal(a.assignments.begin(), a.assignments.end(), b.assignments.begin(),
                    [](const som::assignment& x, const som::assignment& y) {
                      return x.row == y.row && x.col == y.col;
                    });
}

bool parse_variant(const std::string& text, const som::setup_params& setup, variant& v) {
  const std::size_t slash = text.find('/');
  const std::string name = text.substr(0, slash);
  v.name = text;
  v.threads =
      slash == std::string::npos ? 1 : static_cast<unsigned>(std::atoi(text.c_str() + slash + 1));
  v.always_pool = v.threads > 1;
  if (name == "plain") {
    v.plain = true;
    return true;
  }
  if (name == "portable") v.path = som::kernel_path::portable;
  else if (name == "avx2") v.path = som::kernel_path::avx2;
  else if (name == "avx512") v.path = som::kernel_path::avx512;
  else if (name == "best") v.path = som::best_kernel_path();
  else if (name == "auto") {
    v.path = som::best_kernel_path();
    v.threads = som::fast_thread_count(setup.map_rows, setup.map_cols, setup.dimension);
    v.always_pool = false;
  } else return false;
  if (!som::kernel_path_available(v.path)) {
    std::printf("%s: not available here, skipped\n", text.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: som_train_bench FOLDER [REPEATS [VARIANT...]]\n");
    return 2;
  }
  std::filesystem::current_path(argv[1]);
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  som::input_file setup_file;
  if (!setup_file.open("setup.txt")) return 1;
  som::byte_reader reader(setup_file.source());
  std::FILE* quiet = std::fopen("/dev/null", "w");
  const som::setup_params setup = som::read_setup(reader, quiet != nullptr ? quiet : stdout);
  setup_file.close();
  const std::uint32_t count = som::count_samples("data.txt");
  som::sample_matrix samples = som::alloc_sample_matrix(setup.dimension, count);
  som::load_samples(samples, stdout);

  std::vector<variant> variants;
  if (argc > 3) {
    for (int i = 3; i < argc; ++i) {
      variant v;
      if (parse_variant(argv[i], setup, v)) variants.push_back(v);
    }
  } else {
    const unsigned threads =
        som::fast_thread_count(setup.map_rows, setup.map_cols, setup.dimension);
    std::vector<std::string> names = {"plain", "best"};
    if (threads > 1) {
      names.push_back("best/" + std::to_string(threads));
      names.push_back("auto");
    }
    for (const std::string& name : names) {
      variant v;
      parse_variant(name, setup, v);
      variants.push_back(v);
    }
  }

  std::printf("%s: %ux%u map, dimension %u, N %u\n", argv[1], setup.map_rows, setup.map_cols,
              setup.dimension, count);
  bool all_same = true;
  double plain_median = 0;
  outcome reference;
  bool have_reference = false;
  for (const variant& v : variants) {
    std::vector<double> times;
    std::vector<double> cpu_times;
    for (int r = 0; r < repeats; ++r) {
      outcome out = train(v, setup, samples);
      times.push_back(out.seconds);
      cpu_times.push_back(out.cpu_seconds);
      if (!have_reference) {
        reference = std::move(out);
        have_reference = true;
      } else if (!same(out, reference)) {
        all_same = false;
        std::printf("%s: RESULTS DIFFER\n", v.name.c_str());
      }
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu_times.begin(), cpu_times.end());
    const double median = times[times.size() / 2];
    const double cpu_median = cpu_times[cpu_times.size() / 2];
    if (v.plain) plain_median = median;
    const double steps = static_cast<double>(reference.epochs) * count * setup.map_rows *
                         setup.map_cols * setup.dimension;
    std::printf("  train %-12s median %8.3f s (cpu %.3f s, %d runs)  %.3g search steps/s",
                v.name.c_str(), median, cpu_median, repeats, steps / median);
    if (plain_median > 0 && !v.plain) std::printf("  %.2fx plain", plain_median / median);
    std::printf("\n");
  }
  som::free_sample_matrix(samples);
  std::printf("  results %s\n", all_same ? "identical" : "DIFFER");
  return all_same ? 0 : 1;
}
