// som_report on a folder with the run lock: a run is in progress exactly
// while its lock is held (the file times decide only without a lock file),
// a save in progress is never read, and a save that was cut off is shown as
// such, without a map from its mixed files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "common/platform.hpp"
#include "support/background_program.hpp"
#include "support/fault_injection.hpp"
#include "support/file_times.hpp"
#include "support/page_reading.hpp"
#include "support/program_runner.hpp"
#include "support/setup_text.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::contains;
using som_test::host_lines;
using som_test::read_folder;
using som_test::run_program;
using som_test::run_result;
using som_test::temp_folder;

constexpr const char* lock_name = "som_train.zamek";
const std::string written = "Prehled mapy je v souboru report.html.\n";
const std::string interrupted =
    "Ukladani mapy nebylo dokonceno. Spustte som_train, ktery ho dokonci.";

// A finished run of a 4 x 4 map, its log then made to look newer than its
// map (as after a run that stopped before its save, or on coarse times).
void finished_run(const temp_folder& folder) {
  folder.write("setup.txt", som_test::setup_text({.map_rows = 4,
                                                  .map_cols = 4,
                                                  .dimension = 2,
                                                  .radius_decay = 4,
                                                  .rate_decay = 10,
                                                  .stop_radius = 2,
                                                  .Krok = 0,
                                                  .seed = 9}));
  folder.write("data.txt", host_lines("0.1 0.2\n0.7 0.4\n0.9 0.8\n0.3 0.3\n"));
  // Labels too: a page that shows no samples (a cut-off save) must not
  // count them against the labels.
  folder.write("popisky.txt", host_lines("a\nb\na\nb\n"));
  const run_result run = run_program(folder);
  ASSERT_EQ(run.status, 0) << run.console;
  for (const char* name : {"vystup.txt", "konecne_parametry.txt", "vahy.bin"})
    som_test::set_written_ago(folder / name, 60);
}

struct folder_case {
  const char* name;
  enum { held, free, no_file } lock;
  bool record;
  bool log_older;  // than the map, as after a finished run
  enum { finished, in_progress, saving, cut_off } shown;
};

TEST(ReportLock, TheLockDecidesWhatThePageShows) {
  const folder_case cases[] = {
      {"lock free, log newer than the map", folder_case::free, false, false, folder_case::finished},
      {"no lock file, log newer than the map", folder_case::no_file, false, false,
       folder_case::in_progress},
      {"lock held, log older than the map", folder_case::held, false, true,
       folder_case::in_progress},
      {"lock held and a record: saving", folder_case::held, true, false, folder_case::saving},
      {"lock free and a record: cut off", folder_case::free, true, false, folder_case::cut_off},
      {"no lock file and a record: cut off", folder_case::no_file, true, false,
       folder_case::cut_off},
  };
  for (const folder_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    finished_run(folder);
    // The state files as a cut-off save may leave them: a record, and a
    // vahy.bin that does not fit (it would fail the report if it were read).
    if (c.record) {
      folder.write("ukladani.txt", "som_train ukladani 1\n");
      folder.write("vahy.bin", "a mix");
    }
    if (c.log_older) som_test::set_written_ago(folder / "trenovani.txt", 120);
    if (c.lock == folder_case::no_file) fs::remove(folder / lock_name);
    som::native_lock lock;
    if (c.lock == folder_case::held) {
      ASSERT_EQ(som::take_file_lock((folder / lock_name).string(), lock), som::lock_result::taken);
    }
    const som_test::folder_contents before = read_folder(folder.path());
    const run_result report = run_program(folder, "", SOM_REPORT_EXE);
    som::release_file_lock(lock);
    EXPECT_EQ(report.status, 0) << report.console;
    som_test::folder_contents after = read_folder(folder.path());
    const std::string page = after["report.html"];
    after.erase("report.html");
    EXPECT_EQ(after, before) << "som_report wrote more than its page";
    EXPECT_TRUE(som_test::tags_balanced(page));

    const bool progress = c.shown == folder_case::in_progress || c.shown == folder_case::saving;
    EXPECT_EQ(contains(page, "http-equiv=\"refresh\""), progress);
    EXPECT_EQ(contains(report.console, "Trenovani probiha: "), progress) << report.console;
    const bool map_shown = c.shown == folder_case::finished || c.shown == folder_case::in_progress;
    EXPECT_EQ(som_test::page_pictures(page).empty(), !map_shown);
    EXPECT_EQ(contains(page, "id=\"prostor\""), map_shown);
    EXPECT_EQ(contains(page, "Beh prave uklada mapu"), c.shown == folder_case::saving);
    EXPECT_TRUE(contains(page, "id=\"trenovani\"")) << "the curves of the log";
    if (c.shown == folder_case::cut_off) {
      EXPECT_EQ(report.console, host_lines(interrupted + "\n" + written));
      EXPECT_TRUE(contains(page, interrupted));
    } else {
      EXPECT_FALSE(contains(page, interrupted));
    }
    if (c.shown == folder_case::finished) {
      EXPECT_EQ(report.console, host_lines(written));
    }
  }
}

// While the lock is held and a record is there, the watch writes no page
// from the state files; once the save is over and the run has ended, the
// finished run's page, and the watch ends.
TEST(ReportLock, WatchWaitsForTheSaveToEnd) {
  temp_folder folder;
  finished_run(folder);
  const std::string map = folder.read("vahy.bin");
  folder.write("ukladani.txt", "som_train ukladani 1\n");
  folder.write("vahy.bin", "a mix");
  som::native_lock lock;
  ASSERT_EQ(som::take_file_lock((folder / lock_name).string(), lock), som::lock_result::taken);
  som_test::background_program watch(folder, SOM_REPORT_EXE, {"--watch"});
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!folder.exists("report.html") && watch.running() &&
         std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(watch.running()) << watch.console();
  const std::string saving = folder.read("report.html");
  EXPECT_TRUE(contains(saving, "Beh prave uklada mapu"));
  EXPECT_TRUE(som_test::page_pictures(saving).empty());

  // The save ends: the map whole, the record gone, then the run ends.
  folder.write("vahy.bin", map);
  fs::remove(folder / "ukladani.txt");
  som::release_file_lock(lock);
  const auto end_by = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (watch.running() && std::chrono::steady_clock::now() < end_by) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(watch.running()) << "the watch did not end: " << watch.console();
  EXPECT_EQ(watch.wait(), 0);
  EXPECT_TRUE(watch.console().ends_with(
      host_lines("Trenovani skoncilo. Prehled mapy je v souboru report.html.\n")))
      << watch.console();
  const std::string finished = folder.read("report.html");
  EXPECT_FALSE(contains(finished, "refresh"));
  EXPECT_FALSE(som_test::page_pictures(finished).empty());
}

}  // namespace
