// The training log when its writes fail (a disk full for a moment, or for
// good): the run still trains and saves its whole map; a write that failed
// is made again with the next lines, so a moment's failure loses nothing,
// and lines that never reach the file are said on the console. som_report
// draws a damaged log from the lines it can read and says what is missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fault_injection.hpp"
#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::echo_text;
using som_test::host_lines;
using som_test::read_saved_state;
using som_test::run_program;
using som_test::run_result;
using som_test::saved_state;
using som_test::setup_text;
using som_test::setup_values;
using som_test::temp_folder;

// Nine epochs of a few milliseconds each on a 30 x 30 map (S = 1800, R =
// 1800 / (t + 1), stop_radius 180), so that the log's lines reach the file
// in several writes.
const setup_values nine_epochs = {.map_rows = 30,
                                  .map_cols = 30,
                                  .dimension = 3,
                                  .radius_decay = 1,
                                  .rate_decay = 1,
                                  .stop_radius = 180,
                                  .Krok = 0,
                                  .seed = 11};

void prepare_run(const temp_folder& folder) {
  std::string data;
  for (int s = 0; s < 4000; ++s) {
    data += std::to_string(s % 101 / 101.0) + " " + std::to_string(s % 67 / 67.0) + " " +
            std::to_string(s % 53 / 53.0) + "\n";
  }
  folder.write("data.txt", host_lines(data));
  folder.write("setup.txt", setup_text(nine_epochs));
}

struct finished_run {
  saved_state map;
  std::string log;
};

// The run without faults.
const finished_run& uninterrupted() {
  static const finished_run run = [] {
    temp_folder folder;
    prepare_run(folder);
    EXPECT_EQ(run_program(folder).status, 0);
    return finished_run{read_saved_state(folder.path()), folder.read("trenovani.txt")};
  }();
  return run;
}

const std::string fresh_console =
    echo_text(nine_epochs) +
    host_lines("Soubor vahy.bin se nepodarilo otevrit. Sit se bude ucit z nahodnych vah.\n");
const std::string incomplete_note =
    "Zaznam uceni v souboru trenovani.txt je neuplny: chybi mu konec behu";

// A run whose writes of the log fail with ENOSPC as `when` says (strace
// counts the calls of each thread apart: the header and the last try after
// training are the main thread's first and second write, the lines the
// writer thread's); returns the run, with the number of failed writes.
run_result run_with_full_disk(const temp_folder& folder, const std::string& when,
                              std::size_t& failed) {
  temp_folder logs;
  const std::vector<std::string> log_paths = {(folder / "trenovani.txt").string(),
                                              (folder / "trenovani.txt.tmp").string()};
  const run_result run = run_program(
      folder,
      som_test::strace_prefix("write", "error=ENOSPC:when=" + when, log_paths, logs / "log"));
  failed = 0;
  for (const std::string& call : som_test::traced_calls(logs / "log")) {
    if (call.find("(INJECTED)") != std::string::npos) ++failed;
  }
  return run;
}

TEST(LogFaults, AWriteThatFailsForAMomentLosesNothing) {
  if (!som_test::strace_works()) GTEST_SKIP() << "strace is missing or cannot trace here";
  temp_folder folder;
  prepare_run(folder);
  std::size_t failed = 0;
  const run_result run = run_with_full_disk(folder, "2", failed);
  ASSERT_GE(failed, 1u) << "the lines came in one write";
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, fresh_console + host_lines("Hello world!\n"));
  EXPECT_EQ(folder.read("trenovani.txt"), uninterrupted().log);
  EXPECT_EQ(read_saved_state(folder.path()), uninterrupted().map);
}

TEST(LogFaults, LinesThatNeverReachTheFileAreSaidAndTheReportShowsTheRest) {
  if (!som_test::strace_works()) GTEST_SKIP() << "strace is missing or cannot trace here";
  temp_folder folder;
  prepare_run(folder);
  std::size_t failed = 0;
  const run_result run = run_with_full_disk(folder, "2+", failed);
  ASSERT_GE(failed, 2u);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.console,
      fresh_console + host_lines("Zaznam uceni v souboru trenovani.txt je neuplny (zapis selhal).\n"
                                 "Hello world!\n"));
  // The map is whole; the log is the beginning of the whole one.
  EXPECT_EQ(read_saved_state(folder.path()), uninterrupted().map);
  const std::string log = folder.read("trenovani.txt");
  EXPECT_LT(log.size(), uninterrupted().log.size());
  EXPECT_EQ(uninterrupted().log.substr(0, log.size()), log);

  const run_result report = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(report.status, 0) << report.console;
  EXPECT_NE(folder.read("report.html").find(incomplete_note), std::string::npos);
}

// A log damaged in the middle (a line cut short by a failing disk, a line
// changed by hand) and at its end (a last line without its line end, after
// the run has ended): drawn from the lines that are epochs.
TEST(LogFaults, TheReportDrawsADamagedLogAndSaysSo) {
  temp_folder folder;
  prepare_run(folder);
  ASSERT_EQ(run_program(folder).status, 0);
  const run_result clean = run_program(folder, "", SOM_REPORT_EXE);
  ASSERT_EQ(clean.status, 0) << clean.console;
  EXPECT_EQ(folder.read("report.html").find("neobsahuji epochu"), std::string::npos);
  EXPECT_EQ(folder.read("report.html").find(incomplete_note), std::string::npos);

  std::string log = folder.read("trenovani.txt");
  const std::size_t third_line = log.find('\n', log.find('\n') + 1) + 1;
  // A line cut short and the next run into it; the last line cut short.
  log.insert(third_line, host_lines("17\t1800.00\t0\t900.000000\n"));
  log.erase(log.size() - 3);
  folder.write("trenovani.txt", log);
  const run_result report = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(report.status, 0) << report.console;
  EXPECT_EQ(report.console, host_lines("Prehled mapy je v souboru report.html.\n"));
  const std::string page = folder.read("report.html");
  EXPECT_NE(page.find("Radky souboru trenovani.txt, ktere neobsahuji epochu: 2 (prvni je radek 3)"),
            std::string::npos);
  // Of the nine epochs, the eighth is the last read: its Radius, 200, is
  // above stop_radius, so the run did not end there.
  EXPECT_NE(page.find(incomplete_note), std::string::npos);
  EXPECT_NE(page.find("8 epoch ze souboru trenovani.txt"), std::string::npos);
}

}  // namespace
