// The training log's writer thread: every line reaches the file, in order,
// whether lines come in a burst or one at a time with pauses between them,
// and a line shows in the file while the writer is still running.
#include "common/log_writer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
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
  ASSERT_EQ(std::fclose(file), 0);
  EXPECT_EQ(folder.read("log.txt"), expected);
}

TEST(LogWriter, ALineShowsInTheFileWhileTheWriterRuns) {
  temp_folder folder;
  const std::string path = (folder / "log.txt").string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
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
  ASSERT_EQ(std::fclose(file), 0);
}

}  // namespace
