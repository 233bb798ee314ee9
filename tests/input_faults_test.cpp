// Inputs that fail under the programs: a read error in any pass over any file
// they read, and names that are no regular file (a folder, a FIFO, a device).
// A read error is never the end of a file: the program says that the file
// cannot be read and ends with status 1, and the folder stays byte for byte
// as it was. What is not a file is refused as a file that cannot be opened,
// at once, before anything waits on it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_names.hpp"
#include "support/background_program.hpp"
#include "support/fault_injection.hpp"
#include "support/program_runner.hpp"
#include "support/setup_text.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using som_test::changed_entries;
using som_test::echo_text;
using som_test::folder_contents;
using som_test::host_lines;
using som_test::read_folder;
using som_test::run_program;
using som_test::run_result;
using som_test::setup_text;
using som_test::setup_values;
using som_test::temp_folder;

constexpr som_test::one_epoch_map one_epoch{4, 4, 3, 5};

// About 150 KB: each pass over it takes several reads.
constexpr int sample_count = 7000;

// A folder with the saved map of a first run, set up to continue it, and a
// label per sample for the report.
void prepare_run(const temp_folder& folder) {
  std::string data;
  std::string labels;
  for (int s = 0; s < sample_count; ++s) {
    data += std::to_string(s % 97 / 97.0) + " " + std::to_string(s % 89 / 89.0) + " " +
            std::to_string(s % 83 / 83.0) + "\n";
    labels += s % 3 == 0 ? "tri\n" : "jine\n";
  }
  folder.write("data.txt", host_lines(data));
  folder.write("popisky.txt", labels);
  folder.write("setup.txt", setup_text(one_epoch(0)));
  const run_result first = run_program(folder);
  ASSERT_EQ(first.status, 0) << first.console;
  folder.write("setup.txt", setup_text(one_epoch(1)));
}

// A copy of the prepared folder, made once.
void copy_prepared(const temp_folder& into) {
  static const temp_folder prepared;
  static const bool made = [] {
    prepare_run(prepared);
    return true;
  }();
  (void)made;
  // Entry by entry: copying a folder onto one that exists fails on Windows.
  for (const auto& entry : fs::directory_iterator(prepared.path())) {
    fs::copy(entry.path(), into.path() / entry.path().filename(), fs::copy_options::recursive);
  }
}

struct read_case {
  const char* file;
  bool report;  // som_report reads it (otherwise som_train)
};

TEST(ReadErrors, AnyReadOfAnyPassEndsTheRunAndChangesNothing) {
  if (!som_test::strace_works()) GTEST_SKIP() << "strace is missing or cannot trace here";
  const read_case cases[] = {
      {"setup.txt", false},    {"data.txt", false},
      {"ukladani.txt", false}, {"vahy.bin", false},
      {"vystup.txt", false},   {"setup.txt", true},
      {"data.txt", true},      {"vahy.bin", true},
      {"vystup.txt", true},    {"konecne_parametry.txt", true},
      {"trenovani.txt", true}, {"popisky.txt", true},
  };
  for (const read_case& c : cases) {
    const std::string program = c.report ? SOM_REPORT_EXE : SOM_TRAIN_EXE;
    auto prepare = [&](const temp_folder& folder) {
      copy_prepared(folder);
      // A record of a save that is read before the map (here no whole
      // record: without the fault it is removed).
      if (std::string(c.file) == "ukladani.txt") folder.write("ukladani.txt", "zaznam\n");
    };
    // The reads of the file in a run without faults: every one of them (a
    // few per pass) fails in turn.
    std::size_t reads = 0;
    {
      temp_folder folder;
      temp_folder logs;
      prepare(folder);
      const run_result run =
          run_program(folder, som_test::strace_prefix("read", "", {c.file}, logs / "log"), program);
      ASSERT_EQ(run.status, 0) << run.console;
      reads = som_test::traced_calls(logs / "log").size();
    }
    ASSERT_GE(reads, 2u) << c.file;
    for (std::size_t n = 1; n <= reads; ++n) {
      SCOPED_TRACE(std::string(c.report ? "som_report, " : "som_train, ") + c.file + ", read #" +
                   std::to_string(n) + " of " + std::to_string(reads));
      temp_folder folder;
      temp_folder logs;
      prepare(folder);
      const folder_contents before = read_folder(folder.path());
      const std::string inject = "error=EIO:when=" + std::to_string(n);
      const run_result run = run_program(
          folder, som_test::strace_prefix("read", inject, {c.file}, logs / "log"), program);
      EXPECT_EQ(run.status, 1);
      const std::string message = "Soubor " + std::string(c.file) + " se nepodarilo precist.\n";
      const bool echoed = !c.report && std::string(c.file) != "setup.txt";
      EXPECT_EQ(run.console, (echoed ? echo_text(one_epoch(1)) : "") + host_lines(message));
      EXPECT_EQ(changed_entries(before, read_folder(folder.path())), std::vector<std::string>{});
    }
  }
}

// som_data's table: a read error in either pass (the survey, then the
// writing), on one thread or with the table cut into blocks for several,
// writes nothing.
TEST(ReadErrors, ATableThatCannotBeReadWritesNothing) {
  if (!som_test::strace_works()) GTEST_SKIP() << "strace is missing or cannot trace here";
  std::string table = "a,b,c,druh\n";
  for (int r = 0; r < 20000; ++r) {
    table += std::to_string(r % 97 / 97.0) + "," + std::to_string(r) + "," +
             std::to_string(r % 13 * 1.5) + (r % 2 == 0 ? ",sude\n" : ",liche\n");
  }
  auto prepare = [&](const temp_folder& folder) {
    folder.write("t.csv", table);
    folder.write(som::run_lock_file_name, "");
  };
  for (const char* threads : {"1", "2"}) {
    auto run = [&](const temp_folder& folder, const std::string& inject, const fs::path& log) {
      som_test::background_program program(
          folder, "/bin/sh",
          {"-c", som_test::strace_prefix("read", inject, {"t.csv"}, log) + " '" + SOM_DATA_EXE +
                     "' t.csv --popisky druh --vlakna " + threads + "; exit $?"});
      run_result result;
      result.status = program.wait();
      result.console = program.console();
      return result;
    };
    std::size_t reads = 0;
    {
      temp_folder folder;
      temp_folder logs;
      prepare(folder);
      const run_result clean = run(folder, "", logs / "log");
      ASSERT_EQ(clean.status, 0) << clean.console;
      reads = som_test::traced_calls(logs / "log").size();
    }
    ASSERT_GE(reads, 6u);
    for (std::size_t n = 1; n <= reads; ++n) {
      SCOPED_TRACE(std::string("--vlakna ") + threads + ", read #" + std::to_string(n) + " of " +
                   std::to_string(reads));
      temp_folder folder;
      temp_folder logs;
      prepare(folder);
      const folder_contents before = read_folder(folder.path());
      const run_result failed = run(folder, "error=EIO:when=" + std::to_string(n), logs / "log");
      EXPECT_EQ(failed.status, 1);
      // In the second pass, after what the first found.
      const std::string end =
          host_lines("Soubor t.csv se nepodarilo precist.\nNic se nezapsalo.\n");
      EXPECT_TRUE(failed.console.ends_with(end)) << failed.console;
      EXPECT_EQ(changed_entries(before, read_folder(folder.path())), std::vector<std::string>{});
    }
  }
}

// ---- Names that are no regular file.

struct not_a_file {
  const char* name;
  const char* kind;
  bool report;
};

// Puts something other than a file at the name.
void spoil(const temp_folder& folder, const not_a_file& c) {
  fs::remove(folder / c.name);
  const std::string kind = c.kind;
  if (kind == "folder") {
    fs::create_directory(folder / c.name);
#ifndef _WIN32
  } else if (kind == "fifo") {
    ASSERT_EQ(::mkfifo((folder / c.name).c_str(), 0644), 0);
  } else if (kind == "device") {
    fs::create_symlink("/dev/zero", folder / c.name);
#endif
  }
}

TEST(NotAFile, RefusedAtOnceAsAFileThatCannotBeOpened) {
  const not_a_file cases[] = {
      {"data.txt", "folder", false},   {"vahy.bin", "folder", false},
      {"popisky.txt", "folder", true},
#ifndef _WIN32
      {"setup.txt", "fifo", false},    {"data.txt", "fifo", false},
      {"vahy.bin", "fifo", false},     {"vystup.txt", "fifo", false},
      {"setup.txt", "device", false},  {"ukladani.txt", "device", false},
      {"popisky.txt", "device", true}, {"setup.txt", "fifo", true},
      {"trenovani.txt", "fifo", true},
#endif
  };
  for (const not_a_file& c : cases) {
    SCOPED_TRACE(std::string(c.report ? "som_report, " : "som_train, ") + c.name + " is a " +
                 c.kind);
    temp_folder folder;
    copy_prepared(folder);
    spoil(folder, c);
    const folder_contents before = read_folder(folder.path());
    const auto start = std::chrono::steady_clock::now();
    // A program that waits on a FIFO is ended by the time limit.
    const run_result run =
        run_program(folder, "timeout 60", c.report ? SOM_REPORT_EXE : SOM_TRAIN_EXE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(run.status, 1);
    const std::string message = "Soubor " + std::string(c.name) + " se nepodarilo otevrit.\n";
    const bool echoed = !c.report && std::string(c.name) != "setup.txt";
    EXPECT_EQ(run.console, (echoed ? echo_text(one_epoch(1)) : "") + host_lines(message));
    EXPECT_EQ(changed_entries(before, read_folder(folder.path())), std::vector<std::string>{});
  }
}

// (AddressSanitizer reserves more address space than any such limit.)
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOM_TEST_ADDRESS_SANITIZER 1
#endif
#endif
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(SOM_TEST_ADDRESS_SANITIZER)
// A popisky.txt larger than the memory the report may have (a sparse file of
// 512 MiB under a limit of 256 MiB of address space): the report says so
// and ends with status 1, as for any memory that runs out.
TEST(Memory, ALabelFileLargerThanTheMemory) {
  temp_folder folder;
  copy_prepared(folder);
  fs::resize_file(folder / "popisky.txt", std::uintmax_t{512} << 20);
  const run_result report = run_program(folder, "ulimit -v 262144;", SOM_REPORT_EXE);
  EXPECT_EQ(report.status, 1);
  EXPECT_EQ(report.console, host_lines("Malo pameti!\n"));
  EXPECT_FALSE(folder.exists("report.html"));
}
#endif

#ifndef _WIN32
// A link to a regular file is that file.
TEST(NotAFile, LinksToFilesAreRead) {
  temp_folder folder;
  copy_prepared(folder);
  fs::create_directory(folder / "store");
  for (const char* name : {"setup.txt", "data.txt", "popisky.txt"}) {
    fs::rename(folder / name, folder / "store" / name);
    fs::create_symlink(fs::path("store") / name, folder / name);
  }
  const run_result run = run_program(folder);
  EXPECT_EQ(run.status, 0) << run.console;
  const run_result report = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(report.status, 0) << report.console;
}
#endif

}  // namespace
