// Saves of the map on POSIX, end to end: a vahy.bin that is a link, and
// faults injected by strace's syscall tampering into every write, sync and
// rename of a save (kills also at its removals) and of the recovery after
// it. The program runs as it ships; the N-th such call fails with EIO or
// kills the process, for every N. A failed save must leave the previous
// saved map byte for byte; a killed one, after the next run's recovery, one
// whole map: the one whose konecne_parametry.txt the user saw right after the
// crash. In every case, continuing the schedule as the README says (entry 7
// from line 1 of konecne_parametry.txt) ends with the uninterrupted
// schedule's map.
//
// The fault tests are skipped where strace cannot run (the check scripts
// install it).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/fault_injection.hpp"
#include "support/program_runner.hpp"
#include "support/saved_state.hpp"

#ifndef _WIN32

namespace {

namespace fs = std::filesystem;
using som_test::continue_saved_map;
using som_test::echo_text;
using som_test::host_lines;
using som_test::read_saved_state;
using som_test::run_program;
using som_test::run_result;
using som_test::save_leftovers;
using som_test::saved_Krok;
using som_test::saved_state;
using som_test::setup_text;
using som_test::setup_values;
using som_test::strace_works;
using som_test::temp_folder;
using som_test::traced_calls;

// Every run trains exactly one epoch and advances Krok by one.
constexpr som_test::one_epoch_map schedule_setup{4, 4, 3, 5};

const std::string data_text =
    host_lines("0.1 0.9 0.3\n0.8 0.2 0.4\n0.5 0.5 0.5\n0.9 0.9 0.1\n0.2 0.1 0.7\n0.6 0.3 0.9\n");

constexpr std::uint32_t final_Krok = 3;

// The saved map after runs with Krok 0, 1, ..., runs - 1 (runs at most
// final_Krok), each continuing the last.
const saved_state& uninterrupted(std::uint32_t runs) {
  static std::vector<saved_state> maps;
  if (maps.empty()) {
    temp_folder folder;
    folder.write("data.txt", data_text);
    for (std::uint32_t Krok = 0; Krok < final_Krok; ++Krok) {
      folder.write("setup.txt", setup_text(schedule_setup(Krok)));
      run_program(folder);
      maps.push_back(read_saved_state(folder.path()));
    }
  }
  return maps.at(runs - 1);
}

// A folder holding the map of the first run, set up to continue it (Krok
// 1); with `linked`, vahy.bin is a link to store/map.bin. Or a copy of
// another such folder, as it is.
struct continued_folder {
  temp_folder folder;
  bool linked;

  explicit continued_folder(bool link, const fs::path& copy_of = {}) : linked(link) {
    if (!copy_of.empty()) {
      fs::copy(copy_of, folder.path(),
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
      return;
    }
    folder.write("data.txt", data_text);
    folder.write("setup.txt", setup_text(schedule_setup(1)));
    for (const auto& [name, bytes] : uninterrupted(1)) folder.write(name, bytes);
    if (linked) {
      fs::create_directory(folder / "store");
      fs::rename(folder / "vahy.bin", folder / "store/map.bin");
      fs::create_symlink("store/map.bin", folder / "vahy.bin");
    }
  }

  std::vector<fs::path> folders() const {
    if (linked) return {folder.path(), folder / "store"};
    return {folder.path()};
  }

  // Every file a save may write or rename, for strace's path filter (which
  // sees a written file by its full path, a renamed one by the name the
  // program gives, relative to the folder).
  std::string path_filter() const {
    std::string filter;
    for (const fs::path& in : folders()) {
      const fs::path relative = fs::relative(in, folder.path());
      for (const char* name : {"vystup.txt", "konecne_parametry.txt", "vahy.bin", "map.bin"}) {
        for (const char* suffix : {"", ".tmp", ".predchozi"}) {
          const std::string file = std::string(name) + suffix;
          // (A renamed file by its first name alone: the old state files.)
          if (*suffix != '\0') filter += " -P '" + (in / file).string() + "'";
          filter += " -P '" + (relative == "." ? fs::path(file) : relative / file).string() + "'";
        }
      }
    }
    return filter + " -P '" + (folder / "ukladani.txt").string() + "' -P ukladani.txt";
  }
};

struct call_kind {
  const char* calls;  // one strace syscall set, also the set traced
  bool by_path;       // only calls on the save's files count (not the log's)
};
const call_kind writes{"write", true};
const call_kind syncs{"fsync,fdatasync", false};
// (The training log's own rename into place, before training, is no part
// of a save.)
const call_kind renames{"rename,renameat,renameat2", true};
// Also the calls that tidy up at the start of the run and at the end of the
// save, so that kills fall at every instant.
const call_kind unlinks{"unlink,unlinkat", false};

std::string strace_prefix(const continued_folder& at, const call_kind& kind,
                          const std::string& inject, const fs::path& log) {
  // LeakSanitizer cannot work under ptrace; the sanitizer build turns it off.
  std::string prefix =
      "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f"
      " --quiet=attach,personality,exit,path-resolution -y -o '" +
      log.string() + "' -e trace=" + kind.calls;
  if (!inject.empty()) prefix += " -e inject=" + std::string(kind.calls) + ":" + inject;
  return kind.by_path ? prefix + at.path_filter() : prefix;
}

// The message a failure of the traced call must print: for the call on a
// state file (or its temporary or previous file) that file's, for the
// record or a folder the record's.
std::string expected_message(const std::string& call) {
  // The file named first in the call, by its name with or without suffix
  // just before the end of a path (">" after -y's descriptor paths).
  std::string name = "ukladani.txt";
  std::size_t first = std::string::npos;
  for (const char* file : {"vystup.txt", "konecne_parametry.txt", "vahy.bin", "map.bin"}) {
    for (const char* suffix : {"", ".tmp", ".predchozi"}) {
      for (const char* end : {">", "\""}) {
        const std::size_t at = call.find(std::string(file) + suffix + end);
        if (at < first) {
          first = at;
          name = file;
        }
      }
    }
  }
  if (name == "map.bin") name = "vahy.bin";
  if (name == "vahy.bin" && call.find("write(") != std::string::npos) {
    return "Nepodarila se zapsat data!\n";
  }
  return "Soubor " + name + " se nepodarilo uzavrit.\n";
}

// Continues the schedule as the README says until it reaches final_Krok.
saved_state continue_schedule(continued_folder& at) {
  for (int run = 0; run < 4 && saved_Krok(at.folder) < final_Krok; ++run) {
    const run_result next = continue_saved_map(at.folder, schedule_setup(0));
    EXPECT_EQ(next.status, 0) << next.console;
  }
  return read_saved_state(at.folder.path());
}

// A run that recovers the map and loads it, then stops before training
// (trenovani.txt is taken by a folder); the saved map it leaves.
saved_state recovered_map(continued_folder& at, const std::string& prefix = "") {
  fs::remove(at.folder / "trenovani.txt");
  fs::create_directory(at.folder / "trenovani.txt");
  const run_result run = run_program(at.folder, prefix);
  if (prefix.empty()) {
    // Set up at Krok 1, the run warns where it found the new map (Krok 2):
    // the Krok it compares is the one of the map the recovery left.
    const std::uint32_t saved = saved_Krok(at.folder);
    const std::string warning = saved == 1 ? ""
                                           : "Pozor: ulozena mapa skoncila na Kroku " +
                                                 std::to_string(saved) +
                                                 ", setup.txt zacina na Kroku 1.\n";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console,
              echo_text(schedule_setup(1)) +
                  host_lines(warning + "Soubor trenovani.txt se nepodarilo otevrit.\n"));
  }
  fs::remove(at.folder / "trenovani.txt");
  return read_saved_state(at.folder.path());
}

// The number of calls of a kind that a whole save makes.
std::size_t calls_of_a_save(const call_kind& kind, bool linked) {
  continued_folder at(linked);
  temp_folder logs;
  EXPECT_EQ(run_program(at.folder, strace_prefix(at, kind, "", logs / "log")).status, 0);
  return traced_calls(logs / "log").size();
}

// The link stays, its target gets the new map with its permissions kept, and
// the save's own files come and go beside the target.
TEST(Save, LinkedWeightsFileIsReplacedAtItsTarget) {
  ASSERT_NE(uninterrupted(1), uninterrupted(2));
  continued_folder at(true);
  const fs::perms private_file = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(at.folder / "store/map.bin", private_file);
  const run_result run = run_program(at.folder);
  EXPECT_EQ(run.status, 0) << run.console;
  EXPECT_EQ(read_saved_state(at.folder.path()), uninterrupted(2));
  ASSERT_TRUE(fs::is_symlink(at.folder / "vahy.bin"));
  EXPECT_EQ(fs::read_symlink(at.folder / "vahy.bin"), "store/map.bin");
  EXPECT_EQ(fs::status(at.folder / "store/map.bin").permissions(), private_file);
  EXPECT_TRUE(save_leftovers(at.folders()).empty());
}

class SaveFaults : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!strace_works()) GTEST_SKIP() << "strace is missing or cannot trace here";
  }
};

TEST_P(SaveFaults, ErrorAtEveryWriteSyncAndRenameKeepsThePreviousMap) {
  const bool linked = GetParam();
  for (const call_kind* kind : {&writes, &syncs, &renames}) {
    const std::size_t count = calls_of_a_save(*kind, linked);
    EXPECT_GE(count, 4u) << kind->calls;
    for (std::size_t n = 1; n <= count; ++n) {
      SCOPED_TRACE(std::string(kind->calls) + " #" + std::to_string(n));
      continued_folder at(linked);
      temp_folder logs;
      const std::string inject = "error=EIO:when=" + std::to_string(n);
      const run_result run = run_program(at.folder, strace_prefix(at, *kind, inject, logs / "log"));
      std::string failed_call;
      for (const std::string& call : traced_calls(logs / "log")) {
        if (call.find("(INJECTED)") != std::string::npos) failed_call = call;
      }
      ASSERT_FALSE(failed_call.empty());
      EXPECT_EQ(run.status, 1) << failed_call;
      EXPECT_EQ(run.console, echo_text(schedule_setup(1)) + expected_message(failed_call))
          << failed_call;
      EXPECT_EQ(read_saved_state(at.folder.path()), uninterrupted(1)) << failed_call;
      EXPECT_TRUE(save_leftovers(at.folders()).empty()) << failed_call;
      EXPECT_EQ(fs::is_symlink(at.folder / "vahy.bin"), linked);
      EXPECT_EQ(continue_schedule(at), uninterrupted(final_Krok)) << failed_call;
    }
  }
}

TEST_P(SaveFaults, KillAtEveryWriteSyncRenameAndUnlinkLeavesOneWholeMap) {
  const bool linked = GetParam();
  for (const call_kind* kind : {&writes, &syncs, &renames, &unlinks}) {
    const std::size_t count = calls_of_a_save(*kind, linked);
    for (std::size_t n = 1; n <= count; ++n) {
      SCOPED_TRACE(std::string(kind->calls) + " #" + std::to_string(n));
      continued_folder at(linked);
      temp_folder logs;
      const std::string inject = "signal=KILL:when=" + std::to_string(n);
      const run_result killed =
          run_program(at.folder, strace_prefix(at, *kind, inject, logs / "log"));
      EXPECT_EQ(killed.status, 128 + 9) << killed.console;
      // What the user reads to continue, before any recovery.
      const std::string seen_parameters = at.folder.read("konecne_parametry.txt");
      const saved_state map = recovered_map(at);
      EXPECT_TRUE(map == uninterrupted(1) || map == uninterrupted(2));
      EXPECT_EQ(map.at("konecne_parametry.txt"), seen_parameters);
      EXPECT_TRUE(save_leftovers(at.folders()).empty());
      EXPECT_EQ(fs::is_symlink(at.folder / "vahy.bin"), linked);
      EXPECT_EQ(continue_schedule(at), uninterrupted(final_Krok));
    }
  }
}

// A recovery is itself killed at each of its syncs, renames and removals,
// then run again: the result is the same whole map.
TEST_P(SaveFaults, KillDuringRecoveryAndRecoverAgain) {
  const bool linked = GetParam();
  const std::size_t save_renames = calls_of_a_save(renames, linked);
  const std::size_t save_syncs = calls_of_a_save(syncs, linked);
  for (std::size_t save_kill = 1; save_kill <= save_renames + 1; ++save_kill) {
    // The last case kills the save at its last sync, after the renames.
    continued_folder killed(linked);
    temp_folder logs;
    const call_kind& save_call = save_kill <= save_renames ? renames : syncs;
    const std::size_t when = save_kill <= save_renames ? save_kill : save_syncs;
    run_program(killed.folder,
                strace_prefix(killed, save_call, "signal=KILL:when=" + std::to_string(when),
                              logs / "save"));
    ASSERT_TRUE(killed.folder.exists("ukladani.txt")) << "the save was not killed mid-way";
    const std::string seen_parameters = killed.folder.read("konecne_parametry.txt");
    for (const call_kind* kind : {&syncs, &renames, &unlinks}) {
      for (std::size_t n = 1;; ++n) {
        SCOPED_TRACE("save killed at rename #" + std::to_string(save_kill) + ", recovery at " +
                     kind->calls + " #" + std::to_string(n));
        continued_folder at(linked, killed.folder.path());
        const std::string inject = "signal=KILL:when=" + std::to_string(n);
        recovered_map(at, strace_prefix(at, *kind, inject, logs / "recovery"));
        const bool recovery_was_killed = at.folder.exists("ukladani.txt");
        const saved_state map = recovered_map(at);
        EXPECT_TRUE(map == uninterrupted(1) || map == uninterrupted(2));
        EXPECT_EQ(map.at("konecne_parametry.txt"), seen_parameters);
        EXPECT_TRUE(save_leftovers(at.folders()).empty());
        if (!recovery_was_killed) break;  // the recovery has fewer such calls
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, SaveFaults, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "LinkedWeights" : "PlainFiles");
                         });

}  // namespace

#endif
