#include "table/map_suggestion.hpp"

#include <algorithm>
#include <cmath>

#include "som/map/schedule.hpp"

namespace som {

namespace {

constexpr std::uint64_t steps_per_neuron = 500;
constexpr double last_rate_wanted = 0.02;
constexpr std::uint32_t largest = 0xFFFFFFFFu;

double last_rate_of(std::uint64_t epochs, std::uint32_t rate_decay) {
  return schedule_at(static_cast<std::uint32_t>(epochs), 1.0, static_cast<double>(rate_decay), 1.0)
      .learning_rate;
}

}  // namespace

map_suggestion suggest_map(std::uint32_t samples, std::uint32_t dimension, double first,
                           double second) {
  map_suggestion out;
  const double n = std::max<double>(1.0, static_cast<double>(samples));
  const double neurons = std::ceil(5.0 * std::pow(n, 0.54321));
  const auto m = static_cast<std::uint32_t>(std::min(neurons, 4.0e9));
  out.neurons_wanted = m;
  double ratio = 1.0;
  if (dimension >= 2 && first > 0.0 && !(second * static_cast<double>(m) < first))
    ratio = std::sqrt(first / second);
  out.side_ratio = ratio;
  std::uint32_t cols = static_cast<std::uint32_t>(
      std::min<double>(m, std::max(1.0, std::round(std::sqrt(static_cast<double>(m) / ratio)))));
  std::uint32_t rows = static_cast<std::uint32_t>(
      std::max(1.0, std::round(static_cast<double>(m) / static_cast<double>(cols))));
  if (std::min(rows, cols) == 1) {
    rows = std::max(rows, cols);
    cols = 1;
  }

  setup_params& s = out.setup;
  s.map_rows = rows;
  s.map_cols = cols;
  s.dimension = dimension;
  s.stop_radius = 1;
  s.Krok = 0;
  s.seed = 0;
  // The neurons the map has, and the epochs they want.
  const std::uint64_t wanted = steps_per_neuron * std::uint64_t{rows} * cols;
  const std::uint64_t per_epoch = std::max<std::uint64_t>(1, samples);
  const std::uint64_t epochs_wanted = (wanted + per_epoch - 1) / per_epoch;
  const auto enough = [&](std::uint64_t radius_decay) {
    const std::uint64_t epochs = epochs_in_run(rows, cols, static_cast<std::uint32_t>(radius_decay),
                                               s.stop_radius, 0);
    return epochs != 0 && epochs >= epochs_wanted;
  };
  // From Krok 0 the schedule has about radius_decay × (S / stop_radius - 1)
  // epochs: start there and step to the smallest that is enough.
  const double squared_size = squared_map_size(rows, cols);
  const double per_decay = std::max(1.0, squared_size - 1.0);
  std::uint64_t low = static_cast<std::uint64_t>(
      std::clamp(std::ceil(static_cast<double>(epochs_wanted) / per_decay), 1.0, 4.0e9));
  while (low < largest && !enough(low)) ++low;
  while (low > 1 && enough(low - 1)) --low;
  s.radius_decay = static_cast<std::uint32_t>(low);
  out.epochs = epochs_in_run(rows, cols, s.radius_decay, s.stop_radius, 0);
  out.sample_steps = out.epochs * samples;
  // The last epoch's rate rises with rate_decay: the smallest enough.
  low = 1;
  std::uint64_t high = largest;
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    if (last_rate_of(out.epochs, static_cast<std::uint32_t>(middle)) >= last_rate_wanted) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  s.rate_decay = static_cast<std::uint32_t>(low);
  out.last_rate = last_rate_of(out.epochs, s.rate_decay);
  return out;
}

}  // namespace som
