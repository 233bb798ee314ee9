// One run per folder: the lock that a run takes before it reads data.txt,
// seen from the system calls, from a second run, and from runs started in
// pairs on one saved map (together, a little apart, and with a slow save),
// after which the folder must hold one whole map.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/platform.hpp"
#include "support/background_program.hpp"
#include "support/fault_injection.hpp"
#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::echo_text;
using som_test::host_lines;
using som_test::read_folder;
using som_test::read_saved_state;
using som_test::run_program;
using som_test::run_result;
using som_test::save_leftovers;
using som_test::saved_state;
using som_test::setup_text;
using som_test::setup_values;
using som_test::strace_works;
using som_test::temp_folder;

constexpr const char* lock_name = "som_train.zamek";
const std::string refused_line =
    host_lines("Ve slozce uz bezi jiny beh som_train, trenovani se neprovede.\n");

constexpr som_test::one_epoch_map one_epoch{6, 6, 3, 3};

const std::string data_text = host_lines(
    "0.1 0.9 0.3\n0.8 0.2 0.4\n0.5 0.5 0.5\n0.9 0.9 0.1\n0.2 0.1 0.7\n0.6 0.3 0.9\n0.4 0.8 0.2\n");

// A folder holding the map of a first run, set up to continue it at Krok 1.
void prepare_saved_map(const temp_folder& folder) {
  folder.write("data.txt", data_text);
  folder.write("setup.txt", setup_text(one_epoch(0)));
  const run_result first = run_program(folder);
  ASSERT_EQ(first.status, 0) << first.console;
  folder.write("setup.txt", setup_text(one_epoch(1)));
}

TEST(FileLock, HeldUntilReleasedAndSeenWithoutBeingTaken) {
  temp_folder folder;
  const std::string path = (folder / lock_name).string();
  EXPECT_EQ(som::look_at_file_lock(path), som::lock_state::no_file);
  EXPECT_FALSE(folder.exists(lock_name)) << "looking must not create the file";

  som::native_lock first;
  ASSERT_EQ(som::take_file_lock(path, first), som::lock_result::taken);
  EXPECT_TRUE(folder.exists(lock_name));
  EXPECT_EQ(som::look_at_file_lock(path), som::lock_state::held);
  som::native_lock second;
  EXPECT_EQ(som::take_file_lock(path, second), som::lock_result::held_elsewhere);
  EXPECT_FALSE(second.is_held());
  // Looking at a held lock does not loosen it.
  EXPECT_EQ(som::look_at_file_lock(path), som::lock_state::held);
  EXPECT_EQ(som::take_file_lock(path, second), som::lock_result::held_elsewhere);

  som::release_file_lock(first);
  EXPECT_EQ(som::look_at_file_lock(path), som::lock_state::free);
  EXPECT_EQ(som::take_file_lock(path, second), som::lock_result::taken);
  som::release_file_lock(second);
  EXPECT_EQ(folder.read(lock_name), "") << "the lock file holds nothing";

  fs::create_directory(folder / "folder.zamek");
  som::native_lock on_folder;
  EXPECT_EQ(som::take_file_lock((folder / "folder.zamek").string(), on_folder),
            som::lock_result::failed);
}

// A lock file removed while it is held: the lock is no longer on the file
// that has the name, and a new file there could be locked again; the
// folder's own lock still excludes. On Windows a held lock file cannot be
// removed at all.
TEST(FileLock, RemovedLockFileAndTheFoldersLock) {
  temp_folder folder;
  const std::string path = (folder / lock_name).string();
  som::native_lock held;
  ASSERT_EQ(som::take_file_lock(path, held), som::lock_result::taken);
  EXPECT_TRUE(som::lock_is_at(held, path));
  som::native_lock on_folder;
  ASSERT_EQ(som::take_folder_lock(folder.path().string(), on_folder), som::lock_result::taken);
  std::error_code error;
  fs::remove(folder / lock_name, error);
#ifdef _WIN32
  EXPECT_TRUE(error) << "a held lock file was removed";
  EXPECT_TRUE(som::lock_is_at(held, path));
#else
  ASSERT_FALSE(error) << error.message();
  EXPECT_FALSE(som::lock_is_at(held, path));
  som::native_lock at_name;
  EXPECT_EQ(som::take_file_lock(path, at_name), som::lock_result::taken);
  EXPECT_TRUE(som::lock_is_at(at_name, path));
  som::native_lock second;
  EXPECT_EQ(som::take_folder_lock(folder.path().string(), second),
            som::lock_result::held_elsewhere);
  EXPECT_EQ(som::look_at_folder_lock(folder.path().string()), som::lock_state::held);
  som::release_file_lock(on_folder);
  EXPECT_EQ(som::look_at_folder_lock(folder.path().string()), som::lock_state::free);
  EXPECT_EQ(som::take_folder_lock(folder.path().string(), second), som::lock_result::taken);
  som::release_file_lock(second);
  som::release_file_lock(at_name);
#endif
  som::release_file_lock(held);
  som::release_file_lock(on_folder);
}

// While another process holds the lock, a run says so after the setup lines
// and ends with status 1, having read and written nothing more.
TEST(RunLock, SecondRunInTheFolderIsRefused) {
  temp_folder folder;
  prepare_saved_map(folder);
  folder.write("trenovani.txt", "the log of another run");
  som::native_lock held;
  ASSERT_EQ(som::take_file_lock((folder / lock_name).string(), held), som::lock_result::taken);
  const som_test::folder_contents before = read_folder(folder.path());
  const run_result refused = run_program(folder);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.console, echo_text(one_epoch(1)) + refused_line);
  EXPECT_EQ(read_folder(folder.path()), before);

  som::release_file_lock(held);
  const run_result run = run_program(folder);
  EXPECT_EQ(run.status, 0) << run.console;
  EXPECT_EQ(run.console, echo_text(one_epoch(1)) + host_lines("Hello world!\n"));
}

// A run that is killed leaves no lock behind.
TEST(RunLock, KilledRunLeavesNoLock) {
  temp_folder folder;
  folder.write("data.txt", data_text);
  // 40 x 40 neurons down to a squared radius of 1: many seconds of training.
  folder.write("setup.txt", setup_text({.map_rows = 40,
                                        .map_cols = 40,
                                        .dimension = 3,
                                        .radius_decay = 40,
                                        .rate_decay = 100,
                                        .stop_radius = 1,
                                        .Krok = 0,
                                        .seed = 3}));
  {
    som_test::background_program long_run(folder, SOM_TRAIN_EXE);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!folder.exists("trenovani.txt") && long_run.running() &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(long_run.running()) << long_run.console();
    EXPECT_EQ(som::look_at_file_lock((folder / lock_name).string()), som::lock_state::held);
    const run_result refused = run_program(folder);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.console.ends_with(refused_line)) << refused.console;
  }  // the run is killed here
  // Windows lets go of a dead process's locks soon after its end, not at once.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (som::look_at_file_lock((folder / lock_name).string()) != som::lock_state::free &&
         std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(som::look_at_file_lock((folder / lock_name).string()), som::lock_state::free);
  folder.write("setup.txt", setup_text(one_epoch(0)));
  const run_result after = run_program(folder);
  EXPECT_EQ(after.status, 0) << after.console;
}

// ---- Runs in pairs.

// The maps a pair of runs may leave: the one of a single run continuing the
// first map, and the one of a second run (set up at Krok 1 as well) after it.
struct pair_outcomes {
  saved_state one_run;
  saved_state two_runs;
};

const pair_outcomes& outcomes() {
  static const pair_outcomes maps = [] {
    temp_folder folder;
    prepare_saved_map(folder);
    pair_outcomes out;
    EXPECT_EQ(run_program(folder).status, 0);
    out.one_run = read_saved_state(folder.path());
    EXPECT_EQ(run_program(folder).status, 0);
    out.two_runs = read_saved_state(folder.path());
    return out;
  }();
  return maps;
}

// Starts two runs on the same saved map, the second `delay` after the first
// (through strace with every sync slowed down when `slow_save`; with the
// lock file removed just before the second starts when `remove_lock`, as a
// user clearing "a stale lock" would), and checks what they leave: each run
// either saved ("Hello world!", after the warning that the map is past its
// Krok where it continued the other run's map) or said that the folder was
// taken, with status 1; the folder holds the map of as many runs as saved,
// whole, and nothing of the save's own files.
void run_pair(std::chrono::milliseconds delay, bool slow_save, bool remove_lock = false) {
  temp_folder folder;
  prepare_saved_map(folder);
  std::string program = SOM_TRAIN_EXE;
  std::vector<std::string> arguments;
  if (slow_save) {
    // LeakSanitizer cannot work under ptrace; the sanitizer build turns it off.
    const char* asan = std::getenv("ASAN_OPTIONS");
    program = "/usr/bin/env";
    arguments = {std::string("ASAN_OPTIONS=") + (asan != nullptr ? std::string(asan) + ":" : "") +
                     "detect_leaks=0",
                 "/usr/bin/strace", "-f",         "-qq",
                 "-o",         "/dev/null",
                 "-e",         "trace=fsync,fdatasync",
                 "-e",         "inject=fsync,fdatasync:delay_exit=20000",
                 SOM_TRAIN_EXE};
  }
  som_test::background_program first(folder, program, arguments);
  if (delay.count() != 0) std::this_thread::sleep_for(delay);
  if (remove_lock) {
    std::error_code error;
    fs::remove(folder / lock_name, error);
  }
  som_test::background_program second(folder, program, arguments);
  // A run that continues the other's map (saved at Krok 2) says so.
  const std::string warned =
      echo_text(one_epoch(1)) +
      host_lines(
          "Pozor: ulozena mapa skoncila na Kroku 2, setup.txt zacina na Kroku 1.\n"
          "Hello world!\n");
  int saved = 0;
  int warnings = 0;
  for (som_test::background_program* run : {&first, &second}) {
    const int status = run->wait();
    const std::string console = run->console();
    if (status == 0) {
      ++saved;
      if (console == warned) {
        ++warnings;
      } else {
        EXPECT_EQ(console, echo_text(one_epoch(1)) + host_lines("Hello world!\n"));
      }
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(console, echo_text(one_epoch(1)) + refused_line);
    }
  }
  ASSERT_GE(saved, 1);
  EXPECT_EQ(warnings, saved - 1);
  const saved_state map = read_saved_state(folder.path());
  EXPECT_EQ(map, saved == 1 ? outcomes().one_run : outcomes().two_runs);
  EXPECT_EQ(save_leftovers({folder.path()}), std::vector<std::string>{});
  // The log belongs to the map: one epoch, of the run that saved last.
  const std::string log = folder.read("trenovani.txt");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

TEST(RunPairs, StartedTogetherOrApartLeaveOneWholeMap) {
  ASSERT_NE(outcomes().one_run, outcomes().two_runs);
#ifdef _WIN32
  // Starting a process under wine takes a good part of a second.
  constexpr int pairs = 8;
#else
  constexpr int pairs = 40;
#endif
  std::mt19937 draw(22);
  for (int pair = 0; pair < pairs; ++pair) {
    SCOPED_TRACE("together, pair " + std::to_string(pair));
    run_pair(std::chrono::milliseconds(0), false);
  }
  for (int pair = 0; pair < pairs; ++pair) {
    const auto delay = std::chrono::milliseconds(draw() % 201);
    SCOPED_TRACE("second " + std::to_string(delay.count()) + " ms later");
    run_pair(delay, false);
  }
}

// Every sync of the save takes 20 ms longer, so that the second run often
// starts while the first one saves.
TEST(RunPairs, SlowSaveLeavesOneWholeMap) {
  if (!strace_works()) GTEST_SKIP() << "strace is missing or cannot trace here";
  std::mt19937 draw(23);
  for (int pair = 0; pair < 20; ++pair) {
    const auto delay = std::chrono::milliseconds(draw() % 201);
    SCOPED_TRACE("second " + std::to_string(delay.count()) + " ms later");
    run_pair(delay, true);
  }
}

#ifndef _WIN32
// The lock file removed while the first run holds it (a run on Windows holds
// it so that it cannot be removed): the second run meets the folder's own
// lock, and never saves beside the first.
TEST(RunPairs, RemovedLockFileLetsNoSecondRunIn) {
  if (!strace_works()) GTEST_SKIP() << "strace is missing or cannot trace here";
  std::mt19937 draw(24);
  for (int pair = 0; pair < 40; ++pair) {
    const auto delay = std::chrono::milliseconds(draw() % 201);
    SCOPED_TRACE("lock removed and second run " + std::to_string(delay.count()) + " ms later");
    run_pair(delay, true, true);
  }
}
#endif

}  // namespace
