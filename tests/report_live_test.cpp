// som_report on the folder of a run that is still training: hand-made
// folders in every state, and a real som_train run caught half-way and
// watched to its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/background_program.hpp"
#include "support/fault_injection.hpp"
#include "support/file_times.hpp"
#include "support/page_reading.hpp"
#include "support/program_runner.hpp"
#include "support/saved_state.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::contains;
using som_test::doubles_le;
using som_test::host_lines;
using som_test::read_folder;
using som_test::run_program;
using som_test::temp_folder;

// 1 x 3 neurons of dimension 2, radius_decay 2 (S = 10): from Krok 0 to
// stop_radius 2 the run has eight epochs, R = 6.666667, 5, 4, 3.333333, ...;
// continued from Krok 8 to stop_radius 1, ten: R = 1.818182, 1.666667,
// 1.538462, ... (t = 9, 10, 11).
void write_setup(const temp_folder& folder, int Krok, int stop_radius) {
  folder.write("setup.txt",
               "1\tmap_rows\n3\tmap_cols\n2\tdimension\n2\tradius_decay\n4\t"
               "rate_decay\n" +
                   std::to_string(stop_radius) + "\tstop_radius\n" + std::to_string(Krok) +
                   "\tKrok\n7\tseed\n");
  folder.write("data.txt", "0.1 0.2\n0.9 0.8\n0.4 0.6\n");
}

void write_saved_map(const temp_folder& folder) {
  folder.write("vystup.txt", "0\t0\n0\t2\n0\t1\n");
  folder.write("konecne_parametry.txt",
               "8\tKrok\n7\tSeed for random number generator\n0\tRozdil\n");
  folder.write("vahy.bin", doubles_le({0.28, 0.44, 0.5, 0.58, 0.6, 0.68}));
  for (const char* name : {"vystup.txt", "konecne_parametry.txt", "vahy.bin"})
    som_test::set_written_ago(folder / name, 60);
}

TEST(ReportProgram, FreshRunInProgress) {
  temp_folder folder;
  write_setup(folder, 0, 2);
  // Three epochs written, the fourth on its way.
  folder.write("trenovani.txt", "Rozdil\tRadius\n4\t6.666667\n0\t5.000000\n1\t4.000000\n0\t3.33");
  const som_test::folder_contents before = read_folder(folder.path());
  const som_test::run_result result = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, host_lines("Trenovani probiha: Epocha 3 z 8 (37.5 %).\n"
                                       "Prehled mapy je v souboru report.html.\n"));
  // Nothing but report.html written.
  som_test::folder_contents after = read_folder(folder.path());
  ASSERT_EQ(after.count("report.html"), 1u);
  const std::string page = after["report.html"];
  after.erase("report.html");
  EXPECT_EQ(after, before);

  EXPECT_TRUE(som_test::tags_balanced(page));
  EXPECT_TRUE(contains(page, "<meta http-equiv=\"refresh\" content=\"5\"/>"));
  EXPECT_TRUE(contains(page, "<p class=\"progress\">Epocha 3 z 8 (37.5 %)</p>"));
  EXPECT_TRUE(contains(page, "<progress value=\"3\" max=\"8\"></progress>"));
  EXPECT_TRUE(contains(page, "<td>Pocet epoch tohoto behu</td><td class=\"n\">3 z 8</td>"));
  EXPECT_TRUE(contains(page, "Beh zacal z nahodnych vah"));
  EXPECT_TRUE(som_test::page_pictures(page).empty());
  EXPECT_FALSE(contains(page, "id=\"prostor\""));
  EXPECT_TRUE(contains(page, "3 epoch ze souboru trenovani.txt"));
  EXPECT_FALSE(contains(page, "neodpovidaji"));
}

TEST(ReportProgram, ContinuedRunInProgressShowsTheSavedMap) {
  temp_folder folder;
  write_setup(folder, 8, 1);
  write_saved_map(folder);
  folder.write("trenovani.txt", "Rozdil\tRadius\n0\t1.818182\n0\t1.666667\n1\t1.538462\n");
  const som_test::run_result result = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, host_lines("Trenovani probiha: Epocha 3 z 10 (30.0 %).\n"
                                       "Prehled mapy je v souboru report.html.\n"));
  const std::string page = folder.read("report.html");
  EXPECT_TRUE(som_test::tags_balanced(page));
  EXPECT_TRUE(contains(page, "<td>Krok (po posledni zapsane epose)</td><td class=\"n\">11</td>"));
  EXPECT_TRUE(contains(page, "na Kroku 18."));
  EXPECT_TRUE(contains(page, "<h2>Mapa (posledni ulozena, Krok 8)</h2>"));
  // U-matrix, hits and two component planes of the saved map, one pixel per neuron.
  const std::vector<som_test::decoded_png> pictures = som_test::page_pictures(page);
  ASSERT_EQ(pictures.size(), 4u);
  for (const som_test::decoded_png& p : pictures) EXPECT_EQ(p.width * p.height, 3u);
  EXPECT_TRUE(contains(page, "id=\"prostor\""));
  EXPECT_TRUE(contains(page, "<td>Kvantizacni chyba ulozene mapy</td>"));
  EXPECT_FALSE(contains(page, "neodpovidaji"));

  // Part of the saved map, or a map that does not fit: the progress, and why
  // there is no map.
  fs::remove(folder / "vahy.bin");
  ASSERT_EQ(run_program(folder, "", SOM_REPORT_EXE).status, 0);
  EXPECT_TRUE(contains(folder.read("report.html"), "Ulozena mapa neni uplna (chybi vahy.bin)."));
  write_saved_map(folder);
  folder.write("vahy.bin", doubles_le({0.28, 0.44, 0.5}));
  som_test::set_written_ago(folder / "vahy.bin", 60);
  ASSERT_EQ(run_program(folder, "", SOM_REPORT_EXE).status, 0);
  const std::string note = folder.read("report.html");
  EXPECT_TRUE(contains(note, "Ulozenou mapu nelze nacist: Soubor vahy.bin je kratsi"));
  EXPECT_TRUE(contains(note, "Epocha 3 z 10 (30.0 %)"));

  // A setup changed after the run began (here: another stop_radius and Krok).
  write_saved_map(folder);
  write_setup(folder, 0, 1);
  ASSERT_EQ(run_program(folder, "", SOM_REPORT_EXE).status, 0);
  EXPECT_TRUE(contains(folder.read("report.html"), "neodpovidaji souboru setup.txt"));
}

TEST(ReportProgram, NoRunYetAndUnknownArguments) {
  temp_folder folder;
  write_setup(folder, 0, 2);
  const som_test::run_result none = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.console, host_lines("Soubor trenovani.txt se nepodarilo otevrit.\n"));
  EXPECT_FALSE(folder.exists("report.html"));

  som_test::background_program bad(folder, SOM_REPORT_EXE, {"--wach"});
  EXPECT_EQ(bad.wait(), 1);
  EXPECT_EQ(bad.console(), host_lines("Neznamy argument --wach. Pouziti: som_report [--watch] [--obraz SIRKAxVYSKA] [--shluky K]\n"));
  EXPECT_FALSE(folder.exists("report.html"));
}

// ---- A real run.

// The epochs whose lines are complete in the log (less its header).
std::size_t logged_epochs(const temp_folder& folder) {
  if (!folder.exists("trenovani.txt")) return 0;
  const std::string log = folder.read("trenovani.txt");
  const std::size_t lines = static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
  return lines == 0 ? 0 : lines - 1;
}

template <typename Done>
bool wait_until(Done done, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(ReportLive, ReportWhileTrainingThenWatchToTheEnd) {
  // 20 x 20 neurons (S = 800), radius_decay 20, stop_radius 1: R = 800 /
  // (t / 20 + 1) reaches 1 at t = 15980. With 2000 samples that is several
  // seconds of training on a fast machine, against milliseconds for a
  // report: the watch, which waits a second for the saved map's files to
  // stand still before its first page, must still find the run training.
  temp_folder folder;
  folder.write("setup.txt",
               "20\tmap_rows\n20\tmap_cols\n3\tdimension\n20\tradius_decay\n100\trate_decay\n"
               "1\tstop_radius\n0\tKrok\n5\tseed\n");
  std::string data;
  std::uint32_t state = 17;
  for (int s = 0; s < 2000 * 3; ++s) {
    state = state * 1664525u + 1013904223u;
    data += std::to_string(state >> 22) + (s % 3 == 2 ? "\n" : " ");
  }
  folder.write("data.txt", data);

  som_test::background_program training(folder, SOM_TRAIN_EXE);
  ASSERT_TRUE(wait_until([&] { return logged_epochs(folder) >= 1 || !training.running(); },
                         std::chrono::seconds(120)));
  const som_test::run_result midway = run_program(folder, "", SOM_REPORT_EXE);
  ASSERT_TRUE(training.running()) << "the run ended before the report could catch it";
  EXPECT_EQ(midway.status, 0);
  const std::string page = folder.read("report.html");
  const std::string progress =
      som_test::text_between(page, "<p class=\"progress\">Epocha ", "</p>");
  ASSERT_FALSE(progress.empty()) << midway.console;
  const std::size_t space = progress.find(' ');
  const unsigned long done = std::stoul(progress.substr(0, space));
  EXPECT_GE(done, 1u);
  EXPECT_LT(done, 15980u);
  EXPECT_EQ(progress.substr(space, 8), " z 15980");
  EXPECT_TRUE(contains(midway.console, "Trenovani probiha: Epocha "));
  EXPECT_TRUE(contains(page, "http-equiv=\"refresh\""));
  EXPECT_TRUE(contains(page, "Beh zacal z nahodnych vah"));

  // Watched from here to the end: the page is rewritten as the run goes on
  // and a last time when the saved map appears, then the watch ends.
  som_test::background_program watching(folder, SOM_REPORT_EXE, {"--watch"});
  EXPECT_EQ(training.wait(), 0);
  ASSERT_TRUE(wait_until([&] { return !watching.running(); }, std::chrono::seconds(60)))
      << "the watch did not end with the run";
  EXPECT_EQ(watching.wait(), 0);
  const std::string watched = watching.console();
  EXPECT_TRUE(contains(watched, " z 15980 ("));
  const std::string last_line =
      host_lines("Trenovani skoncilo. Prehled mapy je v souboru report.html.\n");
  ASSERT_GE(watched.size(), last_line.size());
  EXPECT_EQ(watched.substr(watched.size() - last_line.size()), last_line);
  const std::string finished = folder.read("report.html");
  EXPECT_FALSE(contains(finished, "refresh"));
  EXPECT_FALSE(contains(finished, "Trenovani probiha"));
  EXPECT_TRUE(contains(finished, "<td>Krok</td><td class=\"n\">15980</td>"));
  EXPECT_TRUE(contains(finished, "<td>Pocet epoch posledniho behu</td><td class=\"n\">15980</td>"));
  EXPECT_EQ(som_test::page_leftovers(folder.path()), std::vector<std::string>{});

  // Run again after the end: the finished run, the same page.
  const som_test::run_result after = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(after.status, 0);
  EXPECT_EQ(after.console, host_lines("Prehled mapy je v souboru report.html.\n"));
  EXPECT_EQ(folder.read("report.html"), finished);
}

}  // namespace
