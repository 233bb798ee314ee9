// How far a run in progress has got: the epochs of a schedule, the log's
// complete lines, and finished or not from the files' times.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "report/progress.hpp"
#include "report/run_phase.hpp"
#include "report/time_left.hpp"
#include "formats/training_log.hpp"

namespace {

som::setup_params schedule(std::uint32_t rows, std::uint32_t cols, std::uint32_t radius_decay,
                           std::uint32_t stop_radius, std::uint32_t Krok) {
  som::setup_params setup;
  setup.map_rows = rows;
  setup.map_cols = cols;
  setup.dimension = 2;
  setup.radius_decay = radius_decay;
  setup.rate_decay = 4;
  setup.stop_radius = stop_radius;
  setup.Krok = Krok;
  return setup;
}

som::training_log log_of(const std::vector<double>& radius) {
  som::training_log log;
  for (double r : radius) {
    log.Rozdil.push_back(0);
    log.Radius.push_back(r);
  }
  return log;
}

TEST(ReportProgress, EpochsOfHandWorkedSchedules) {
  // 10 x 10 (S = 200), radius_decay 100, stop_radius 1: R = 200 / (t / 100 + 1)
  // is exactly 1.0 at t = 19900 (t / 100 = 199), above 1 at 19899.
  EXPECT_EQ(som::epochs_in_run(schedule(10, 10, 100, 1, 0)), 19900u);
  // Continued runs count from the Krok they start at.
  EXPECT_EQ(som::epochs_in_run(schedule(10, 10, 100, 1, 19000)), 900u);
  EXPECT_EQ(som::epochs_in_run(schedule(10, 10, 100, 1, 19899)), 1u);
  // A run that starts past the end of the schedule still trains one epoch.
  EXPECT_EQ(som::epochs_in_run(schedule(10, 10, 100, 1, 19900)), 1u);
  // The bundled example: 12 x 12 (S = 288), radius_decay 50, stop_radius 2 ends
  // at t = 7150 (t / 50 + 1 = 144, R = 288 × fl(1/144), which rounds to at
  // most 2); continued to stop_radius 1 it ends at t = 14350 (R = 288 × fl(1/288)).
  EXPECT_EQ(som::epochs_in_run(schedule(12, 12, 50, 2, 0)), 7150u);
  EXPECT_EQ(som::epochs_in_run(schedule(12, 12, 50, 1, 7150)), 7200u);
  // 1 x 3 (S = 10), radius_decay 2, stop_radius 2: R = 6.67, 5, 4, 3.33, 2.86,
  // 2.5, 2.22, 2: eight epochs; continued from 8 to stop_radius 1: R(t) = 10 /
  // (t / 2 + 1) reaches 1.0 (10 × fl(0.1) rounds to 1) at t = 18.
  EXPECT_EQ(som::epochs_in_run(schedule(1, 3, 2, 2, 0)), 8u);
  EXPECT_EQ(som::epochs_in_run(schedule(1, 3, 2, 1, 8)), 10u);
  // radius_decay 0: R = 0 from t = 1 on; a stop_radius of S or more: the
  // first epoch's R is already below it.
  EXPECT_EQ(som::epochs_in_run(schedule(10, 10, 0, 0, 0)), 1u);
  EXPECT_EQ(som::epochs_in_run(schedule(2, 2, 100, 8, 0)), 1u);
  // stop_radius 0 is never reached.
  EXPECT_EQ(som::epochs_in_run(schedule(10, 10, 100, 0, 0)), 0u);
  // Krok 4294967295: the first epoch's t wraps to 0 (R = S), and the run goes
  // on to t = 19900.
  EXPECT_EQ(som::epochs_in_run(schedule(10, 10, 100, 1, 0xFFFFFFFFu)), 19901u);
  // S wraps as the training computes it: 65536² + 1² = 1 modulo 2^32, so
  // R(1) = 0.5 is not above 1.
  EXPECT_EQ(som::epochs_in_run(schedule(65536, 1, 1, 1, 0)), 1u);
}

TEST(ReportProgress, FiguresOfAFreshAndAContinuedRun) {
  // The eight epochs of 1 x 3, radius_decay 2, stop_radius 2, as logged.
  const som::setup_params fresh = schedule(1, 3, 2, 2, 0);
  som::run_progress p = som::progress_of(fresh, log_of({6.666667, 5.0, 4.0}));
  EXPECT_EQ(p.done, 3u);
  EXPECT_EQ(p.total, 8u);
  EXPECT_TRUE(p.log_fits_setup);
  EXPECT_EQ(som::progress_text(p), "Epocha 3 z 8 (37.5 %)");
  EXPECT_EQ(som::progress_text(som::progress_of(fresh, log_of({}))), "Epocha 0 z 8 (0.0 %)");
  EXPECT_EQ(som::progress_text(som::progress_of(
                fresh, log_of({6.666667, 5, 4, 3.333333, 2.857143, 2.5, 2.222222, 2}))),
            "Epocha 8 z 8 (100.0 %)");
  // A log from another schedule: the setup was changed after the run began.
  EXPECT_FALSE(som::progress_of(fresh, log_of({6.666667, 5.0, 3.9})).log_fits_setup);
  EXPECT_FALSE(som::progress_of(fresh, log_of({6.7})).log_fits_setup);

  // Continued from Krok 8 to stop_radius 1: the log starts at t = 9
  // (R = 10 / 5.5), ten epochs in all; the share is rounded down.
  const som::setup_params continued = schedule(1, 3, 2, 1, 8);
  p = som::progress_of(continued, log_of({1.818182, 1.666667, 1.538462}));
  EXPECT_TRUE(p.log_fits_setup);
  EXPECT_EQ(som::progress_text(p), "Epocha 3 z 10 (30.0 %)");
  EXPECT_EQ(som::progress_text(som::progress_of(continued, log_of({1.818182}))),
            "Epocha 1 z 10 (10.0 %)");
  // The same log read as a fresh run's does not fit.
  EXPECT_FALSE(som::progress_of(schedule(1, 3, 2, 1, 0), log_of({1.818182})).log_fits_setup);
  const som::run_progress third{1, 3, true};
  EXPECT_EQ(som::progress_text(third), "Epocha 1 z 3 (33.3 %)");
  // A schedule that never ends has no total.
  EXPECT_EQ(som::progress_text(som::progress_of(schedule(10, 10, 100, 0, 0), log_of({198.0}))),
            "Epocha 1");
}

TEST(ReportLog, OnlyCompleteLinesWhileTheRunWrites) {
  som::training_log log;
  const std::string text = "Rozdil\tRadius\n4\t6.666667\n\n0\t5.000000\r\n1\t4.0";
  som::parse_training_log(text, true, log);
  EXPECT_EQ(log.Rozdil, (std::vector<std::uint32_t>{4, 0}));
  EXPECT_EQ(log.Radius, (std::vector<double>{6.666667, 5.0}));
  EXPECT_TRUE(log.unfinished_line);
  EXPECT_EQ(log.broken_lines, 0u);
  // Once no run writes the log, a last line without its line end was cut
  // short ("4.0" of "4.000000", say): never taken for an epoch.
  som::parse_training_log(text, false, log);
  EXPECT_EQ(log.Rozdil, (std::vector<std::uint32_t>{4, 0}));
  EXPECT_FALSE(log.unfinished_line);
  EXPECT_EQ(log.broken_lines, 1u);
  EXPECT_EQ(log.first_broken_line, 5u);
  // A header still being written, and an empty file: no epoch yet.
  for (const char* start : {"", "Rozd", "Rozdil\tRadius\n", "Rozdil\tRadius\n12"}) {
    SCOPED_TRACE(start);
    som::parse_training_log(start, true, log);
    EXPECT_TRUE(log.Rozdil.empty());
    EXPECT_EQ(log.broken_lines, 0u);
  }
  // What "%f" writes for values that are not finite.
  som::parse_training_log("h\n0\t-nan\n1\tinf\n", true, log);
  ASSERT_EQ(log.Radius.size(), 2u);
  EXPECT_TRUE(std::isnan(log.Radius[0]) && std::isnan(log.Radius[1]));
}

// A damaged log (a line changed by hand, a write cut short in the middle)
// gives the epochs it holds; the lines that are no epoch are counted, with
// the number of the first.
TEST(ReportLog, LinesThatAreNoEpochAreLeftOutAndCounted) {
  struct damaged {
    const char* text;
    std::vector<std::uint32_t> Rozdil;
    std::uint64_t broken;
    std::uint64_t first;
  };
  const damaged cases[] = {
      {"h\n1\t2\nx\t1.0\n3\t1\n", {1, 3}, 1, 3},
      {"h\n1\t2\n\n3\n4\t0.5\n", {1, 4}, 1, 4},
      {"h\n1\t2\t3\n7\t\n5\t0.25\n", {5}, 2, 2},
      {"h\n12\t19\n", {12}, 0, 0},
  };
  for (const damaged& c : cases) {
    SCOPED_TRACE(c.text);
    som::training_log log;
    som::parse_training_log(c.text, true, log);
    EXPECT_EQ(log.Rozdil, c.Rozdil);
    EXPECT_EQ(log.broken_lines, c.broken);
    EXPECT_EQ(log.first_broken_line, c.first);
  }
}

// A folder's stamp: the log written at `log`, the files of the saved map at
// `map` (in the order they are saved; -1 for a missing file).
som::folder_stamp stamp_of(std::int64_t log, std::array<std::int64_t, 3> map) {
  som::folder_stamp stamp;
  stamp.log = som::file_stamp{true, log, 100};
  for (std::size_t i = 0; i < 3; ++i)
    if (map[i] >= 0) stamp.map[i] = som::file_stamp{true, map[i], 100};
  return stamp;
}

TEST(ReportPhase, FinishedOrInProgressFromTimesAndContent) {
  const som::setup_params fresh = schedule(1, 3, 2, 2, 0);  // eight epochs
  auto in_progress = [&](const som::folder_stamp& stamp, std::uint64_t epochs,
                         const som::setup_params& setup, std::uint32_t saved_Krok) {
    return som::run_in_progress(som::times_of(stamp), epochs, setup, saved_Krok);
  };
  // No saved map, or part of it: a run that has not finished.
  som::folder_times times = som::times_of(stamp_of(50, {-1, -1, -1}));
  EXPECT_EQ(times.missing_map_files,
            (std::vector<std::string>{"vystup.txt", "konecne_parametry.txt", "vahy.bin"}));
  EXPECT_TRUE(in_progress(stamp_of(50, {-1, -1, -1}), 8, fresh, 8));
  times = som::times_of(stamp_of(50, {60, 60, -1}));
  EXPECT_EQ(times.missing_map_files, std::vector<std::string>{"vahy.bin"});
  EXPECT_TRUE(in_progress(stamp_of(50, {60, 60, -1}), 8, fresh, 8));
  // The log against the oldest file of the map: older, a finished run;
  // newer than any of them (the map is being renamed into place, or is the
  // one a continued run started from), a run in progress.
  EXPECT_FALSE(in_progress(stamp_of(50, {60, 70, 65}), 3, fresh, 0));
  EXPECT_TRUE(in_progress(stamp_of(66, {60, 70, 65}), 8, fresh, 8));
  EXPECT_TRUE(in_progress(stamp_of(61, {70, 70, 60}), 8, fresh, 8));
  // Equal times: finished only when the log holds every epoch of the
  // schedule and the map was saved at its end.
  EXPECT_FALSE(in_progress(stamp_of(60, {60, 60, 61}), 8, fresh, 8));
  EXPECT_TRUE(in_progress(stamp_of(60, {60, 60, 61}), 3, fresh, 8));
  // A continued run (from Krok 8 to stop_radius 1: ten epochs) that has just
  // begun beside the map it continues, saved at Krok 8; and the same run at
  // its end, saved at Krok 18.
  const som::setup_params continued = schedule(1, 3, 2, 1, 8);
  EXPECT_TRUE(in_progress(stamp_of(60, {60, 60, 60}), 0, continued, 8));
  EXPECT_TRUE(in_progress(stamp_of(60, {60, 60, 60}), 10, continued, 8));
  EXPECT_FALSE(in_progress(stamp_of(60, {60, 60, 60}), 10, continued, 18));
}

}  // namespace

namespace {

TEST(TimeLeft, PaceOfTheLastEpochsAndItsWords) {
  som::pace_history pace;
  EXPECT_LT(som::seconds_left(pace, 100), 0.0);
  som::note_progress(pace, 10.0, 5);
  EXPECT_LT(som::seconds_left(pace, 100), 0.0);  // one look: no pace yet
  som::note_progress(pace, 11.0, 5);             // no new epoch: nothing learnt
  som::note_progress(pace, 12.0, 9);             // 4 epochs in 2 s
  EXPECT_DOUBLE_EQ(som::seconds_left(pace, 100), 91 * 0.5);
  // The pace of the last half minute: the first looks are forgotten.
  for (int i = 1; i <= 40; ++i) som::note_progress(pace, 12.0 + 2.0 * i, 9 + static_cast<unsigned>(i));
  EXPECT_DOUBLE_EQ(som::seconds_left(pace, 100), (100 - 49) * 2.0);
  EXPECT_DOUBLE_EQ(som::seconds_left(pace, 49), 0.0);
  // A log that starts again belongs to a new run.
  som::note_progress(pace, 200.0, 1);
  EXPECT_LT(som::seconds_left(pace, 100), 0.0);

  const std::pair<double, const char*> words[] = {
      {0.2, "zbyva asi 1 s"},      {40.4, "zbyva asi 40 s"},   {59.6, "zbyva asi 1 min"},
      {170.0, "zbyva asi 3 min"},  {3599.0, "zbyva asi 1 h 0 min"}, {3630.0, "zbyva asi 1 h 1 min"},
      {7800.0, "zbyva asi 2 h 10 min"}};
  for (const auto& [seconds, text] : words) EXPECT_EQ(som::time_left_text(seconds), text) << seconds;
}

}  // namespace
