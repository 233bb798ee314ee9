// A finished run held in memory, for building its page without files: the
// sizes, weights, samples and assignments a test gives, Krok 12 saved after
// a log of three epochs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "report/run_files.hpp"

namespace som_test {

struct run_holder {
  som::run_state run;
  run_holder(std::uint32_t rows, std::uint32_t cols, std::uint32_t dim,
             const std::vector<double>& weights, const std::vector<double>& samples,
             const std::vector<som::assignment>& records) {
    run.setup.map_rows = rows;
    run.setup.map_cols = cols;
    run.setup.dimension = dim;
    run.grid = som::alloc_weight_grid(rows, cols, dim, 1);
    std::copy(weights.begin(), weights.end(), run.grid->block);
    run.samples = som::alloc_sample_matrix(dim, static_cast<std::uint32_t>(samples.size() / dim));
    std::copy(samples.begin(), samples.end(), run.samples->block);
    run.assignments = som::alloc_assignment_table(static_cast<std::uint32_t>(records.size()));
    std::copy(records.begin(), records.end(), run.assignments->records);
    run.setup.Krok = 9;
    run.saved = som::final_parameters{12, 2026, 0};
    run.log.Rozdil = {9, 3, 0};
    run.log.Radius = {5.5, 4.25, 3.0};
  }
};

}  // namespace som_test
