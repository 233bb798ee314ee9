// The training log's writer thread: every line reaches the file, in order,
// whether lines come in a burst or one at a time with pauses between them,
// a line shows in the file while the writer is still running, and lines
// that cannot be written are said when it finishes.
#include "common/log_writer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/program_runner.hpp"

namespace {

using som_test::temp_folder;

std::string numbered_lines(int first, int count) {
  std::string text;
  for (int i = first; i < first + count; ++i) text += std::to_string(i) + "\t0.5\n";
  return text;
}

TEST(LogWriter, BurstsAndPausedLinesAllArriveInOrder) {
  temp_folder folder;
  const std::string path = (folder / "log.txt").string();
  som::native_file file;
  ASSERT_TRUE(som::create_file(path, som::default_permissions, file));
  std::string expected;
  {
    som::log_writer writer(file);
    // A burst, as from a small map's epochs...
    for (int i = 0; i < 20000; ++i) {
      const std::string line = numbered_lines(i, 1);
      writer.write(line);
      expected += line;
    }
    // ...then lines far enough apart that the writer sleeps between them.
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const std::string line = numbered_lines(20000 + i, 1);
      writer.write(line);
      expected += line;
    }
  }
  ASSERT_TRUE(som::close_file(file));
  EXPECT_EQ(folder.read("log.txt"), expected);
}

TEST(LogWriter, ALineShowsInTheFileWhileTheWriterRuns) {
  temp_folder folder;
  const std::string path = (folder / "log.txt").string();
  som::native_file file;
  ASSERT_TRUE(som::create_file(path, som::default_permissions, file));
  {
    som::log_writer writer(file);
    for (int round = 0; round < 2; ++round) {
      // The second line comes after a pause, when the writer waits to be called.
      if (round == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      writer.write(numbered_lines(round, 1));
      const std::string want = numbered_lines(0, round + 1);
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (folder.read("log.txt") != want && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      EXPECT_EQ(folder.read("log.txt"), want);
    }
  }
  ASSERT_TRUE(som::close_file(file));
}

// Lines that can never be written: the writer says so when it finishes
// (and every time after), and does not block or fail the one who gives them.
TEST(LogWriter, LinesThatCannotBeWrittenAreSaid) {
  som::native_file nowhere;  // no file at all: every write fails
  som::log_writer writer(nowhere);
  for (int i = 0; i < 100; ++i) writer.write(numbered_lines(i, 1));
  EXPECT_FALSE(writer.finish());
  EXPECT_FALSE(writer.finish());

  temp_folder folder;
  som::native_file file;
  ASSERT_TRUE(som::create_file((folder / "log.txt").string(), som::default_permissions, file));
  som::log_writer whole(file);
  whole.write(numbered_lines(0, 3));
  EXPECT_TRUE(whole.finish());
  ASSERT_TRUE(som::close_file(file));
  EXPECT_EQ(folder.read("log.txt"), numbered_lines(0, 3));
}

}  // namespace
