// The order in which a run touches its files, watched from outside while the
// program runs: the training log is created, with its header, before the
// first epoch trains.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/program_runner.hpp"

namespace {

using som_test::host_lines;
using som_test::run_program;
using som_test::run_result;
using som_test::temp_folder;

// A run of one long epoch (R ≤ stop_radius at once): a 100 × 100 map of
// dimension 32 and 4000 samples (a fraction of a second on a fast machine).
void write_one_long_epoch(const temp_folder& folder) {
  folder.write("setup.txt", host_lines("100\tmap_rows\n100\tmap_cols\n32\tdimension\n"
                                       "1\tradius_decay\n1\trate_decay\n100000\tstop_radius\n"
                                       "0\tKrok\n3\tseed\n"));
  std::string data;
  for (int s = 0; s < 4000; ++s) {
    for (int k = 0; k < 32; ++k) {
      data += std::to_string((s * 7919 + k * 104729) % 1000 / 1000.0);
      data += k == 31 ? "\n" : " ";
    }
  }
  folder.write("data.txt", data);
}

TEST(RunOrder, TheLogHasItsHeaderBeforeTheFirstEpochEnds) {
  temp_folder folder;
  write_one_long_epoch(folder);
  // A log of an earlier run, which the run must replace before training.
  folder.write("trenovani.txt", "old log\n");
  run_result result;
  std::thread run([&] { result = run_program(folder); });
  // The first change of the log seen from outside: created again, with the
  // header and nothing else yet.
  const std::string header = host_lines("Rozdil\tRadius\n");
  std::string seen;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < give_up) {
    std::error_code error;
    const auto size = std::filesystem::file_size(folder / "trenovani.txt", error);
    if (!error && size != 0 && size != 8) {
      seen = som_test::read_replaced_file(folder / "trenovani.txt");
      if (seen != "old log\n") break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  run.join();
  ASSERT_EQ(result.status, 0) << result.console;
  EXPECT_EQ(seen, header) << "the log was not created with its header before training";
  EXPECT_EQ(folder.read("trenovani.txt").substr(0, header.size()), header);
  EXPECT_GT(folder.read("trenovani.txt").size(), header.size());
}

}  // namespace
