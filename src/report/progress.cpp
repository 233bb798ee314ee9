#include "report/progress.hpp"

#include "common/decimal.hpp"
#include "common/text_format.hpp"
#include "som/map/schedule.hpp"

namespace som {

namespace {

double radius_at(const setup_params& setup, std::uint32_t t) {
  return schedule_at(t, static_cast<double>(setup.radius_decay), 1.0,
                     squared_map_size(setup.map_rows, setup.map_cols))
      .radius;
}

// R as the log shows it: "%f", read back.
double logged_radius(double radius) {
  std::string text;
  append_fixed6(text, radius);
  return convert_decimal(text.data(), text.size());
}

}  // namespace

std::uint64_t epochs_in_run(const setup_params& setup) {
  return epochs_in_run(setup.map_rows, setup.map_cols, setup.radius_decay, setup.stop_radius,
                       setup.Krok);
}

run_progress progress_of(const setup_params& setup, const training_log& log) {
  run_progress progress;
  progress.done = log.Radius.size();
  progress.total = epochs_in_run(setup);
  if (progress.done != 0) {
    const std::uint64_t checked[] = {0, progress.done - 1};
    for (std::uint64_t epoch : checked) {
      const auto t = static_cast<std::uint32_t>(std::uint64_t{setup.Krok} + epoch + 1);
      if (logged_radius(radius_at(setup, t)) != log.Radius[epoch]) progress.log_fits_setup = false;
    }
  }
  return progress;
}

std::uint64_t progress_per_mille(const run_progress& progress) {
  if (progress.total == 0) return 0;
  if (progress.done >= progress.total) return 1000;
  return progress.done * 1000 / progress.total;
}

std::string progress_text(const run_progress& progress) {
  std::string out = "Epocha ";
  out += std::to_string(progress.done);
  if (progress.total == 0) return out;
  const std::uint64_t per_mille = progress_per_mille(progress);
  out += " z " + std::to_string(progress.total) + " (" + std::to_string(per_mille / 10) + "." +
         std::to_string(per_mille % 10) + " %)";
  return out;
}

}  // namespace som
