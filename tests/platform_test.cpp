// The operating-system calls behind the program's files: replacing a file in
// one step, making a file new, opening only regular files for reading,
// following links, the errors they report, a file's stamp, and the blocks
// that hold large arrays.
#include "common/platform.hpp"

#include <gtest/gtest.h>

#include "support/windows_api.hpp"

#ifndef _WIN32
#include <cerrno>
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/owned_block.hpp"
#include "support/program_runner.hpp"

namespace {

using som_test::path_of;
using som_test::temp_folder;

// A plain rename fails on Windows when the target exists: this one must not.
TEST(RenameFile, ReplacesAnExistingFileOrFailsWithoutTouchingIt) {
  temp_folder folder;
  folder.write("state.bin", "old content, longer than the new one");
  folder.write("state.bin.tmp", "new");
  ASSERT_TRUE(som::rename_file(path_of(folder, "state.bin.tmp"), path_of(folder, "state.bin")));
  EXPECT_EQ(folder.read("state.bin"), "new");
  EXPECT_FALSE(folder.exists("state.bin.tmp"));
  EXPECT_TRUE(som::sync_folder_of(path_of(folder, "state.bin")));

  EXPECT_FALSE(som::rename_file(path_of(folder, "absent.tmp"), path_of(folder, "state.bin")));
  EXPECT_EQ(folder.read("state.bin"), "new");
}

// A file is always made new: a hard link under the name loses the name, and
// the file it led to keeps its content; an exclusive creation fails on any
// name that is taken.
TEST(CreateFile, ANameTakenByALinkIsFreedNotWrittenThrough) {
  temp_folder folder;
  folder.write("elsewhere.txt", "keep");
  std::error_code error;
  std::filesystem::create_hard_link(folder / "elsewhere.txt", folder / "state.bin.tmp", error);
  if (error) GTEST_SKIP() << "no hard links here: " << error.message();
  som::native_file file;
  ASSERT_TRUE(som::create_file(path_of(folder, "state.bin.tmp"), som::default_permissions, file));
  EXPECT_TRUE(som::write_file(file, "new", 3));
  EXPECT_TRUE(som::close_file(file));
  EXPECT_EQ(folder.read("state.bin.tmp"), "new");
  EXPECT_EQ(folder.read("elsewhere.txt"), "keep");

  const som::system_result taken =
      som::create_new_file(path_of(folder, "state.bin.tmp"), som::default_permissions, file);
  EXPECT_FALSE(taken);
  EXPECT_TRUE(som::name_taken(taken));
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(folder.read("state.bin.tmp"), "new");
}

// Only a regular file is opened for reading; a missing one is told apart.
TEST(OpenRegularFile, FilesOnlyAndMissingOnesToldApart) {
  temp_folder folder;
  folder.write("data.txt", "1 2\n");
  std::filesystem::create_directory(folder / "folder.txt");
  bool missing = true;
  std::FILE* file = som::open_regular_file(path_of(folder, "data.txt"), missing);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(missing);
  std::fclose(file);
  EXPECT_EQ(som::open_regular_file(path_of(folder, "folder.txt"), missing), nullptr);
  EXPECT_FALSE(missing);
  EXPECT_EQ(som::open_regular_file(path_of(folder, "absent.txt"), missing), nullptr);
  EXPECT_TRUE(missing);
}

// The system's own code comes back with a failure, taken before anything
// else (a close, a cleanup) can overwrite it.
TEST(FileCalls, AFailureCarriesTheSystemsErrorCode) {
  temp_folder folder;
#ifdef _WIN32
  const int no_file = ERROR_FILE_NOT_FOUND;
  const int no_folder = ERROR_PATH_NOT_FOUND;
#else
  const int no_file = ENOENT;
  const int no_folder = ENOENT;
#endif
  const som::system_result renamed =
      som::rename_file(path_of(folder, "absent.tmp"), path_of(folder, "state.bin"));
  EXPECT_FALSE(renamed.ok);
  EXPECT_EQ(renamed.error, no_file);

  som::native_file file;
  const som::system_result created =
      som::create_file(path_of(folder, "absent/state.bin"), som::default_permissions, file);
  EXPECT_FALSE(created);
  EXPECT_EQ(created.error, no_folder);
  EXPECT_FALSE(file.is_open());

  // A folder is no file to remove; a file that is not there is removed.
  std::filesystem::create_directory(folder / "store");
  folder.write("store/kept", "x");
  const som::system_result removed = som::remove_file(path_of(folder, "store"));
  EXPECT_FALSE(removed.ok);
  EXPECT_NE(removed.error, 0);
  EXPECT_TRUE(folder.exists("store/kept"));
  EXPECT_TRUE(som::remove_file(path_of(folder, "absent")));

  ASSERT_TRUE(som::create_file(path_of(folder, "written"), som::default_permissions, file));
  EXPECT_TRUE(som::write_file(file, "abc", 3));
  EXPECT_TRUE(som::sync_file(file));
  EXPECT_TRUE(som::close_file(file));
  EXPECT_EQ(folder.read("written"), "abc");
}

// Files have a time and a size; a folder and a missing name have neither.
TEST(FileStamp, AFileHasItsSizeAndAFolderOrAMissingNameNoStamp) {
  temp_folder folder;
  folder.write("log.txt", "12345");
  std::filesystem::create_directory(folder / "store");
  for (bool being_written : {false, true}) {
    const som::file_stamp file = som::stamp_file(path_of(folder, "log.txt").c_str(), being_written);
    EXPECT_TRUE(file.present) << being_written;
    EXPECT_EQ(file.size, 5u) << being_written;
    EXPECT_NE(file.time, 0) << being_written;
    EXPECT_FALSE(som::stamp_file(path_of(folder, "store").c_str(), being_written).present);
    EXPECT_FALSE(som::stamp_file(path_of(folder, "absent").c_str(), being_written).present);
  }
}

#ifndef _WIN32
TEST(ResolveLinks, FollowsEveryLinkToTheFileOpeningWouldReach) {
  temp_folder folder;
  std::filesystem::create_directory(folder / "store");
  std::filesystem::create_symlink("store/middle", folder / "first");
  std::filesystem::create_symlink("../store/last", folder / "store/middle");
  std::string target;
  ASSERT_TRUE(som::resolve_links(path_of(folder, "first"), target));
  // The last target need not exist: a save creates it there.
  EXPECT_EQ(std::filesystem::weakly_canonical(target), folder.path() / "store" / "last");
  ASSERT_TRUE(som::resolve_links(path_of(folder, "plain"), target));
  EXPECT_EQ(target, path_of(folder, "plain"));
  std::filesystem::create_symlink("loop", folder / "loop");
  const som::system_result loop = som::resolve_links(path_of(folder, "loop"), target);
  EXPECT_FALSE(loop.ok);
  EXPECT_EQ(loop.error, ELOOP);
}
#endif

TEST(Blocks, SmallAndLargeBlocksHoldTheirBytesAndImpossibleOnesAreRefused) {
  for (std::size_t bytes : {std::size_t{24}, std::size_t{3} << 20, (std::size_t{2} << 20) + 1}) {
    auto* block = static_cast<unsigned char*>(som::acquire_block(bytes));
    ASSERT_NE(block, nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
    std::memset(block, 0xA5, bytes);
    EXPECT_EQ(block[0], 0xA5);
    EXPECT_EQ(block[bytes - 1], 0xA5);
    som::release_block(block);
  }
  // Sizes no system can give: null, not a crash or a wrapped size.
  for (std::size_t bytes : {~std::size_t{0}, ~std::size_t{0} - (std::size_t{1} << 20)}) {
    void* block = som::acquire_block(bytes);
    EXPECT_EQ(block, nullptr) << bytes;
    som::release_block(block);
  }
  som::release_block(nullptr);

  // An array whose size in bytes would wrap is refused, not made small.
  EXPECT_EQ(som::acquire_array<double>(~std::size_t{0} / 4), nullptr);
  EXPECT_EQ(som::acquire_array<double>(0), nullptr);
  som::block_ptr<double> three = som::acquire_array<double>(3);
  ASSERT_NE(three, nullptr);
  three[2] = 1.5;
  EXPECT_EQ(three[2], 1.5);
}

}  // namespace
