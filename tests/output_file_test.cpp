// A file written beside the one it replaces, as report.html and the state
// files are: committed, it takes the old file's place; discarded, it leaves
// the old file as it was; either way its .tmp is gone.
#include "common/output_file.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/program_runner.hpp"

namespace {

using som_test::path_of;
using som_test::temp_folder;

// The whole way of one file: written beside the old one, then put in its
// place, twice over, bytes kept exactly as written (no line-end translation).
TEST(OutputFile, CommitReplacesTheOldFileTwice) {
  temp_folder folder;
  const std::string name = path_of(folder, "vystup.txt");
  for (const std::string content : {"1\t2\r\n3\t4\r\n", "5\n"}) {
    som::output_file out;
    ASSERT_TRUE(som::open_output(out, name.c_str()));
    EXPECT_TRUE(som::write_output(out, content));
    ASSERT_TRUE(som::commit_output(out));
    EXPECT_EQ(folder.read("vystup.txt"), content);
    EXPECT_FALSE(folder.exists("vystup.txt.tmp"));
  }
}

TEST(OutputFile, DiscardKeepsTheOldFile) {
  temp_folder folder;
  folder.write("vahy.bin", "old");
  som::output_file out;
  ASSERT_TRUE(som::open_output(out, path_of(folder, "vahy.bin").c_str()));
  som::write_output(out, "new");
  som::discard_output(out);
  EXPECT_EQ(folder.read("vahy.bin"), "old");
  EXPECT_FALSE(folder.exists("vahy.bin.tmp"));
}

}  // namespace
