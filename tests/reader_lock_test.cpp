// The folder's lock taken shared by the readers of a map (som_report,
// som_map): shared locks keep out only an exclusive one (a run's), and a
// reader makes the lock file only where it is asked to.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/platform.hpp"
#include "state/run_lock.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::temp_folder;

TEST(ReaderLock, SharedLocksKeepOnlyAnExclusiveOneOut) {
  temp_folder folder;
  const std::string path = (folder / "som_train.zamek").string();
  som::native_lock first, second, exclusive;
  ASSERT_EQ(som::take_file_lock(path, first, som::lock_mode::shared), som::lock_result::taken);
  EXPECT_EQ(som::take_file_lock(path, second, som::lock_mode::shared), som::lock_result::taken);
  EXPECT_EQ(som::take_file_lock(path, exclusive), som::lock_result::held_elsewhere);
  som::release_file_lock(first);
  EXPECT_EQ(som::take_file_lock(path, exclusive), som::lock_result::held_elsewhere);
  som::release_file_lock(second);
  ASSERT_EQ(som::take_file_lock(path, exclusive), som::lock_result::taken);
  EXPECT_EQ(som::take_file_lock(path, first, som::lock_mode::shared), som::lock_result::held_elsewhere);
  som::release_file_lock(exclusive);
}

TEST(ReaderLock, MadeOnlyWhereAsked) {
  temp_folder folder;
  const fs::path old = fs::current_path();
  fs::current_path(folder.path());
  {
    const som::reader_lock report(false);
    EXPECT_EQ(report.state(), som::lock_state::no_file);
    EXPECT_FALSE(fs::exists("som_train.zamek"));
    const som::reader_lock mapping(true);
    EXPECT_EQ(mapping.state(), som::lock_state::free);
    EXPECT_TRUE(fs::exists("som_train.zamek"));
    const som::reader_lock another(false);
    EXPECT_EQ(another.state(), som::lock_state::free);
    som::native_lock run;
    EXPECT_EQ(som::take_file_lock("som_train.zamek", run), som::lock_result::held_elsewhere);
  }
  som::native_lock run;
  EXPECT_EQ(som::take_file_lock("som_train.zamek", run), som::lock_result::taken);
  {
    const som::reader_lock report(false);
    EXPECT_EQ(report.state(), som::lock_state::held);
  }
  som::release_file_lock(run);
  fs::current_path(old);
}

#ifndef _WIN32
// A run whose lock file was removed holds the folder alone: a reader finds
// it held all the same, and a reader's shared hold of the folder keeps a
// run's exclusive one out. (On Windows a held lock file cannot be removed.)
TEST(ReaderLock, TheFoldersLockCountsToo) {
  temp_folder folder;
  const fs::path old = fs::current_path();
  fs::current_path(folder.path());
  som::run_lock run;
  ASSERT_EQ(som::try_run_lock(run), som::lock_result::taken);
  fs::remove("som_train.zamek");
  {
    const som::reader_lock mapping(true);
    EXPECT_EQ(mapping.state(), som::lock_state::held);
  }
  som::release_file_lock(run.file);
  som::release_file_lock(run.folder);
  fs::remove("som_train.zamek");
  {
    // Without a lock file the folder alone keeps a run out.
    const som::reader_lock report(false);
    EXPECT_EQ(report.state(), som::lock_state::no_file);
    som::native_lock on_folder;
    EXPECT_EQ(som::take_folder_lock(folder.path().string(), on_folder),
              som::lock_result::held_elsewhere);
    som::run_lock second;
    EXPECT_EQ(som::try_run_lock(second), som::lock_result::held_elsewhere);
  }
  som::run_lock third;
  EXPECT_EQ(som::try_run_lock(third), som::lock_result::taken);
  som::release_file_lock(third.file);
  som::release_file_lock(third.folder);
  fs::current_path(old);
}
#endif

}  // namespace
