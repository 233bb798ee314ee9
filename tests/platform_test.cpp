// The operating-system calls behind the program's files: replacing a file in
// one step, following links, and the blocks that hold large arrays.
#include "common/platform.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/program_runner.hpp"

namespace {

using som_test::temp_folder;

std::string path_of(const temp_folder& folder, const char* name) {
  return (folder / name).string();
}

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
  EXPECT_FALSE(som::resolve_links(path_of(folder, "loop"), target));
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
}

}  // namespace
