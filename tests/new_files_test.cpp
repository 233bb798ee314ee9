// Every file the programs write is a new file that takes the old one's name:
// no file is ever written in place. A folder copied with hard links (as
// backup tools copy, `cp -al`) keeps its copy as it was while the original
// goes on, and a link left under a name the programs write first (a save's
// <file>.tmp, the log's, the record) loses only its name: the file it leads
// to stays as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/fault_injection.hpp"
#include "support/program_runner.hpp"
#include "support/setup_text.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::changed_entries;
using som_test::folder_contents;
using som_test::host_lines;
using som_test::read_folder;
using som_test::run_program;
using som_test::run_result;
using som_test::setup_text;
using som_test::setup_values;
using som_test::temp_folder;

constexpr som_test::one_epoch_map one_epoch{5, 4, 2, 9};

// A folder with the saved map and the page of a first run, set up to
// continue it.
void prepare_run(const temp_folder& folder) {
  folder.write("data.txt", host_lines("0.1 0.9\n0.8 0.2\n0.5 0.5\n0.9 0.9\n0.2 0.1\n"));
  folder.write("setup.txt", setup_text(one_epoch(0)));
  ASSERT_EQ(run_program(folder).status, 0);
  ASSERT_EQ(run_program(folder, "", SOM_REPORT_EXE).status, 0);
  folder.write("setup.txt", setup_text(one_epoch(1)));
}

// Both programs once more in the folder.
void run_both(const temp_folder& folder) {
  const run_result run = run_program(folder);
  EXPECT_EQ(run.status, 0) << run.console;
  const run_result report = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(report.status, 0) << report.console;
}

TEST(NewFiles, AHardLinkedCopyOfTheFolderStaysAsItWas) {
  temp_folder folder;
  prepare_run(folder);
  temp_folder backup;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    std::error_code error;
    fs::create_hard_link(entry.path(), backup / entry.path().filename().string(), error);
    if (error) GTEST_SKIP() << "no hard links here: " << error.message();
  }
  const folder_contents before = read_folder(backup.path());
  run_both(folder);
  // Every file of the original but the input has changed...
  const std::vector<std::string> changed = changed_entries(before, read_folder(folder.path()));
  for (const char* name :
       {"vystup.txt", "konecne_parametry.txt", "vahy.bin", "trenovani.txt", "report.html"}) {
    EXPECT_NE(std::find(changed.begin(), changed.end(), name), changed.end()) << name;
  }
  // ...and none of the copy.
  EXPECT_EQ(changed_entries(before, read_folder(backup.path())), std::vector<std::string>{});
}

TEST(NewFiles, ALinkUnderANameWrittenFirstLeadsNowhere) {
  temp_folder folder;
  prepare_run(folder);
  temp_folder elsewhere;
  elsewhere.write("precious.txt", "not to be touched\n");
  const char* names[] = {"vystup.txt.tmp", "konecne_parametry.txt.tmp",
                         "vahy.bin.tmp",   "trenovani.txt.tmp",
                         "ukladani.txt",   "report.html.tmp"};
  for (const char* name : names) {
    std::error_code error;
    fs::create_hard_link(elsewhere / "precious.txt", folder / name, error);
    if (error) GTEST_SKIP() << "no hard links here: " << error.message();
  }
  // Wine counts no links (1 for any file): the count is checked where the
  // system keeps it.
  const bool counted = fs::hard_link_count(elsewhere / "precious.txt") == 1 + std::size(names);
  run_both(folder);
  EXPECT_EQ(elsewhere.read("precious.txt"), "not to be touched\n");
  if (counted) {
    EXPECT_EQ(fs::hard_link_count(elsewhere / "precious.txt"), 2u)
        << "report.html.tmp is no name of the report's";
  }
#ifndef _WIN32
  // The same with symbolic links, to a file and to where a file would be.
  for (const char* name : names) {
    fs::remove(folder / name);
    fs::create_symlink(elsewhere / "precious.txt", folder / name);
  }
  fs::create_symlink(elsewhere / "new.txt", folder / "vystup.txt.predchozi");
  run_both(folder);
  EXPECT_EQ(elsewhere.read("precious.txt"), "not to be touched\n");
  EXPECT_FALSE(elsewhere.exists("new.txt"));
#endif
}

}  // namespace
