// Times the training loop alone (train_map, as the program runs it, without
// reading the files or saving the map) on one workload folder, with the
// plain loops and with kernels of the kernel table, and checks that every
// variant ends with the first one's weights, assignments, Krok and Rozdil,
// bit for bit.
//
// usage: som_train_bench FOLDER [REPEATS [VARIANT...]]
//   VARIANT: plain, a kernel's name from the table (avx512, avx2, portable)
//   or best (the widest that runs here), each optionally /THREADS (e.g.
//   avx512/2: every run of samples on the pool of 2 threads), or auto (what
//   som_train does: the shipped engine, which for large maps picks the pool
//   or one thread by timing both), each optionally +fused, +pruned or
//   +blocked to force how the winners are searched (e.g. avx512+pruned; by
//   default the radius decides each epoch).
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
#include "common/messages.hpp"
#include "common/random.hpp"
#include "formats/sample_data.hpp"
#include "formats/setup_file.hpp"
#include "formats/training_log.hpp"
#include "som/kernels/kernel_table.hpp"
#include "som/map/map_storage.hpp"
#include "som/pool/pool_policy.hpp"
#include "som/training/train_map.hpp"
#include "state/state_load.hpp"

namespace {

struct variant {
  std::string name;
  som::training_engine engine;
};

struct outcome {
  double seconds = 0;
  double cpu_seconds = 0;       // of the whole process, every thread
  std::vector<double> weights;  // in neuron order
  std::vector<som::assignment> assignments;
  std::uint32_t rozdil = 0;
  std::uint32_t krok = 0;
  std::uint64_t searched = 0;  // components of tiles measured by a kernel
};

// The whole training loop, as the program runs it, from the saved map in the
// folder or else from the setup's seed.
outcome train(const variant& v, const som::setup_params& setup, const som::sample_matrix& samples) {
  som::owned_grid grid(som::alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension,
                                              som::grid_lanes(v.engine)));
  som::random_generator gen;
  som::seed_random(gen, setup.seed);
  std::vector<som::assignment> assignments(samples.count);
  som::assignment_table table{assignments.data(), samples.count};
  som::map_origin origin = som::map_origin::random;
  if (const som::failure failed = som::load_saved_map(*grid, table, gen, origin)) {
    std::printf("%s", som::message_of(failed).c_str());
    std::exit(1);
  }
  som::training_params params;
  params.radius_decay = setup.radius_decay;
  params.rate_decay = setup.rate_decay;
  params.stop_radius = setup.stop_radius;
  params.engine = v.engine;
  std::FILE* log = std::tmpfile();
  outcome out;
  som::trainer_counters counters;
  params.counters = &counters;
  out.krok = setup.Krok;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  {
    // Each epoch's line formatted and written as the run writes it (the
    // run hands the writing to a thread of its own, so this costs more).
    struct log_context {
      std::FILE* file;
      std::string line;
    } context{log, {}};
    som::epoch_sink lines;
    lines.context = &context;
    lines.record = [](void* c, std::uint32_t Rozdil, double Radius) {
      auto& to = *static_cast<log_context*>(c);
      to.line.clear();
      som::append_log_line(to.line, Rozdil, Radius);
      if (to.file != nullptr) std::fwrite(to.line.data(), 1, to.line.size(), to.file);
    };
    som::train_map(lines, params, samples, *grid, table, out.krok, out.rozdil);
  }
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out.searched = counters.searched;
  out.cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  if (log != nullptr) std::fclose(log);
  for (std::size_t n = 0; n < grid->neurons; ++n) {
    for (std::uint32_t k = 0; k < grid->dimension; ++k) out.weights.push_back(grid->at(n, k));
  }
  out.assignments = std::move(assignments);
  return out;
}

bool same(const outcome& a, const outcome& b) {
  return a.rozdil == b.rozdil && a.krok == b.krok && a.weights.size() == b.weights.size() &&
         std::memcmp(a.weights.data(), b.weights.data(), a.weights.size() * sizeof(double)) == 0 &&
         a.assignments.size() == b.assignments.size() &&
         std::equal(a.assignments.begin(), a.assignments.end(), b.assignments.begin(),
                    [](const som::assignment& x, const som::assignment& y) {
                      return x.row == y.row && x.col == y.col;
                    });
}

bool parse_variant(const std::string& text, variant& v) {
  v.name = text;
  const std::size_t plus = text.find('+');
  const std::string search = plus == std::string::npos ? "" : text.substr(plus + 1);
  const std::string rest = text.substr(0, plus);
  if (search == "pruned") {
    v.engine.search = som::kernels::search_mode::pruned;
  } else if (search == "fused") {
    v.engine.search = som::kernels::search_mode::fused;
  } else if (search == "blocked") {
    v.engine.search = som::kernels::search_mode::blocked;
  } else if (!search.empty()) {
    std::printf("%s: no such search, skipped\n", text.c_str());
    return false;
  }
  const std::size_t slash = rest.find('/');
  const std::string name = rest.substr(0, slash);
  if (name == "plain") {
    v.engine = som::plain_engine();
    return slash == std::string::npos && search.empty();
  }
  if (name == "auto") {
    const som::kernels::search_mode mode = v.engine.search;
    v.engine = som::shipped_engine();
    v.engine.search = mode;
    return slash == std::string::npos;
  }
  const som::kernels::kernel_entry* kernel =
      name == "best" ? &som::kernels::best_kernel() : som::kernels::find_kernel(name);
  if (kernel == nullptr) {
    std::printf("%s: no such kernel, skipped\n", text.c_str());
    return false;
  }
  if (!som::kernels::runs_here(*kernel)) {
    std::printf("%s: does not run here, skipped\n", text.c_str());
    return false;
  }
  v.engine.kernel = kernel;
  v.engine.threads = 1;
  if (slash != std::string::npos) {
    v.engine.threads = static_cast<unsigned>(std::atoi(rest.c_str() + slash + 1));
    v.engine.pool = som::pool::pool_mode::always_pool;
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

  som::setup_params setup;
  som::sample_lines lines;
  som::failure failed = som::read_input_file("setup.txt", [&](som::byte_reader& reader) {
    setup = som::read_setup(reader).params;
    return som::failure();
  });
  if (!failed) {
    failed = som::read_input_file("data.txt", [&](som::byte_reader& reader) {
      lines = som::scan_sample_lines(reader, setup.dimension);
      return som::failure();
    });
  }
  som::owned_samples samples(som::alloc_sample_matrix(setup.dimension, lines.count));
  if (!failed) {
    failed = som::read_input_file("data.txt", [&](som::byte_reader& reader) {
      if (som::read_sample_values(reader, *samples)) return som::failure();
      return som::failure::of(som::failure_kind::missing_value, "data.txt");
    });
  }
  if (failed) {
    std::printf("%s", som::message_of(failed).c_str());
    return 1;
  }

  std::vector<variant> variants;
  if (argc > 3) {
    for (int i = 3; i < argc; ++i) {
      variant v;
      if (parse_variant(argv[i], v)) variants.push_back(v);
    }
  } else {
    const unsigned threads =
        som::pool::threads_that_pay(setup.map_rows, setup.map_cols, setup.dimension);
    std::vector<std::string> names = {"plain", "best"};
    if (threads > 1) {
      names.push_back("best/" + std::to_string(threads));
      names.push_back("auto");
    }
    for (const std::string& name : names) {
      variant v;
      parse_variant(name, v);
      variants.push_back(v);
    }
  }

  std::printf("%s: %ux%u map, dimension %u, N %u\n", argv[1], setup.map_rows, setup.map_cols,
              setup.dimension, lines.count);
  bool all_same = true;
  double plain_median = 0;
  outcome reference;
  bool have_reference = false;
  for (const variant& v : variants) {
    std::vector<double> times;
    std::vector<double> cpu_times;
    std::uint64_t last_searched = 0;
    for (int r = 0; r < repeats; ++r) {
      outcome out = train(v, setup, *samples);
      last_searched = out.searched;
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
    if (v.engine.kernel == nullptr && v.name == "plain") plain_median = median;
    const double epochs = static_cast<double>(reference.krok - setup.Krok);
    const double steps = epochs * lines.count * setup.map_rows * setup.map_cols * setup.dimension;
    std::printf("  train %-12s median %8.3f s (cpu %.3f s, %d runs)  %.3g search steps/s",
                v.name.c_str(), median, cpu_median, repeats, steps / median);
    if (last_searched != 0) {
      const double tiles = static_cast<double>(
          (std::uint64_t{setup.map_rows} * setup.map_cols + som::kernels::tile_lanes - 1) /
          som::kernels::tile_lanes);
      std::printf("  %.0f%% searched", 100.0 * static_cast<double>(last_searched) /
                                           (epochs * lines.count * tiles * setup.dimension));
    }
    if (plain_median > 0 && v.name != "plain") std::printf("  %.2fx plain", plain_median / median);
    std::printf("\n");
  }
  std::printf("  results %s\n", all_same ? "identical" : "DIFFER");
  return all_same ? 0 : 1;
}
