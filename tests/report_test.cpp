#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "report/curve_svg.hpp"
#include "report/map_measures.hpp"
#include "report/png_image.hpp"
#include "report/report_html.hpp"
#include "som/map/find_bmu.hpp"
#include "support/file_times.hpp"
#include "support/map_values.hpp"
#include "support/page_reading.hpp"
#include "support/program_runner.hpp"
#include "support/report_run.hpp"
#include "support/saved_state.hpp"
#include "support/utf16_text.hpp"

namespace {

using som_test::decoded_png;
using som_test::doubles_le;
using som_test::grid_holder;
using som_test::page_pictures;
using som_test::run_holder;
using som_test::run_program;
using som_test::samples_of;
using som_test::tags_balanced;
using som_test::temp_folder;

// The hand-worked map: 2 × 3 neurons of dimension 1,
//   row 0: 0 1 3
//   row 1: 2 2 7
// and five samples. Per sample, the squared distances to the six neurons:
//   0.25: .0625 .5625 7.5625 3.0625 3.0625 45.5625 -> best (0,0), second (0,1): neighbours
//   2.0:  4 1 1 0 0 25                              -> best (1,0), second (1,1): neighbours
//   1.5:  2.25 .25 2.25 .25 .25 30.25               -> best (0,1), second (1,0) (first of
//                                                      the ties, not (1,1)): not neighbours
//   5.0:  25 16 4 9 9 4                             -> best (0,2), second (1,2): neighbours
//   2.75: 7.5625 3.0625 .0625 .5625 .5625 18.0625   -> best (0,2), second (1,0): not neighbours
// Quantization error (0.25 + 0 + 0.5 + 2 + 0.25) / 5 = 0.6; topographic 2 / 5
// in the 4-neighbourhood; in the 8-neighbourhood (0,1) and (1,0) touch, so 1 / 5.
const std::vector<double> hand_weights = {0, 1, 3, 2, 2, 7};
const std::vector<double> hand_samples = {0.25, 2.0, 1.5, 5.0, 2.75};

TEST(ReportMeasures, HandWorkedUMatrixHitsAndErrors) {
  grid_holder map(2, 3, 1, hand_weights);
  // Neighbours above, left, right, below: (0,0): 1, 2; (0,1): 1, 2, 1; (0,2): 2, 4;
  // (1,0): 2, 0; (1,1): 1, 0, 5; (1,2): 4, 5.
  const std::vector<double> u = som::u_matrix(map.grid);
  ASSERT_EQ(u.size(), 6u);
  EXPECT_DOUBLE_EQ(u[0], 1.5);
  EXPECT_DOUBLE_EQ(u[1], 4.0 / 3.0);
  EXPECT_DOUBLE_EQ(u[2], 3.0);
  EXPECT_DOUBLE_EQ(u[3], 1.0);
  EXPECT_DOUBLE_EQ(u[4], 2.0);
  EXPECT_DOUBLE_EQ(u[5], 4.5);

  std::vector<som::assignment> records = {{0, 0}, {1, 0}, {0, 1}, {0, 2}, {0, 2}};
  const som::assignment_table table{records.data(), 5};
  EXPECT_EQ(som::hit_counts(2, 3, table), (std::vector<std::uint32_t>{1, 1, 2, 1, 0, 0}));

  std::vector<double> values = hand_samples;
  const som::sample_matrix samples = samples_of(values, 1);
  const som::map_errors errors = som::measure_errors(map.grid, samples);
  EXPECT_DOUBLE_EQ(errors.quantization, 0.6);
  EXPECT_EQ(errors.topographic_count, 2u);
  EXPECT_DOUBLE_EQ(errors.topographic, 0.4);
  EXPECT_EQ(errors.topographic8_count, 1u);
  EXPECT_DOUBLE_EQ(errors.topographic8, 0.2);

  const som::grid_pos expected_second[] = {{0, 1}, {1, 1}, {1, 0}, {1, 2}, {1, 0}};
  for (std::uint32_t s = 0; s < samples.count; ++s) {
    SCOPED_TRACE(s);
    const som::best_two two = som::find_best_two(map.grid, samples.row(s));
    const som::grid_pos bmu = som::find_bmu(2, 3, 1, samples.row(s), map.grid);
    EXPECT_EQ(two.best.row, bmu.row);
    EXPECT_EQ(two.best.col, bmu.col);
    ASSERT_TRUE(two.has_second);
    EXPECT_EQ(two.second.row, expected_second[s].row);
    EXPECT_EQ(two.second.col, expected_second[s].col);
  }
}

TEST(ReportMeasures, EuclideanDistancesEdgeMapsAndDemotedBest) {
  // Two neurons 3-4-5 apart: both see one neighbour at distance 5.
  grid_holder pair(1, 2, 2, {0, 0, 3, 4});
  EXPECT_EQ(som::u_matrix(pair.grid), (std::vector<double>{5.0, 5.0}));

  // One neuron: no neighbours, no second-best unit, no topographic error.
  grid_holder single(1, 1, 2, {1, 1});
  EXPECT_EQ(som::u_matrix(single.grid), std::vector<double>{0.0});
  std::vector<double> values = {4, 5};
  const som::map_errors errors = som::measure_errors(single.grid, samples_of(values, 2));
  EXPECT_DOUBLE_EQ(errors.quantization, 5.0);
  EXPECT_EQ(errors.topographic_count, 0u);
  EXPECT_FALSE(som::find_best_two(single.grid, values.data()).has_second);

  // Squared distances 1, 1, 0: the last neuron wins and the first one, pushed
  // down from first place, stays ahead of the equally near second neuron.
  grid_holder row(1, 3, 1, {1, 1, 0});
  const double sample = 0.0;
  const som::best_two two = som::find_best_two(row.grid, &sample);
  EXPECT_EQ(two.best.col, 2u);
  EXPECT_EQ(two.second.col, 0u);
  EXPECT_FALSE(som::grid_neighbours(two.best, two.second));
}

TEST(ReportCurves, LongCurvesKeepEndsExtremesAndTheSpreadEarlyEpochs) {
  std::vector<double> values(10000);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 1000.0 / static_cast<double>(i + 1);
  values[5001] = 1e6;                                       // a spike
  values[7000] = std::numeric_limits<double>::quiet_NaN();  // never an extreme
  const std::vector<std::size_t> kept = som::curve_points(values, 2000, 1.0, 10000.0);
  ASSERT_LE(kept.size(), 2000u);
  EXPECT_GT(kept.size(), 1000u);
  EXPECT_EQ(kept.front(), 0u);
  EXPECT_EQ(kept.back(), values.size() - 1);
  for (std::size_t i = 1; i < kept.size(); ++i) ASSERT_LT(kept[i - 1], kept[i]);
  EXPECT_NE(std::find(kept.begin(), kept.end(), 5001u), kept.end());
  EXPECT_EQ(std::find(kept.begin(), kept.end(), 7000u), kept.end());
  // On the logarithmic axis the first hundred epochs take half the width:
  // every one of them is kept, while the last thousand share a few stretches.
  for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(kept[i], i);
  EXPECT_LT(std::count_if(kept.begin(), kept.end(), [](std::size_t i) { return i >= 9000; }), 40);

  const std::vector<std::size_t> all =
      som::curve_points(std::vector<double>(50, 1.0), 2000, 1.0, 50.0);
  EXPECT_EQ(all.size(), 50u);
}

TEST(ReportCurves, LogarithmicTicks) {
  // Four decades: their powers of ten.
  EXPECT_EQ(som::log_ticks(1.0, 7150.0), (std::vector<double>{1, 10, 100, 1000}));
  // A continued run within a decade and a bit: every digit.
  EXPECT_EQ(som::log_ticks(7151.0, 14350.0), (std::vector<double>{8000, 9000, 10000}));
  EXPECT_EQ(som::log_ticks(30.0, 700.0), (std::vector<double>{50, 100, 200, 500}));
  // Well inside one thousand: evenly spaced values.
  EXPECT_EQ(som::log_ticks(7151.0, 7200.0), (std::vector<double>{7160, 7170, 7180, 7190, 7200}));
}

TEST(ReportPage, WellFormedWithOnePixelPerNeuronInEveryPicture) {
  run_holder small(2, 3, 1, hand_weights, hand_samples, {{0, 0}, {1, 0}, {0, 1}, {0, 2}, {0, 2}});
  const std::string page = som::render_report(small.run);
  EXPECT_TRUE(tags_balanced(page));
  EXPECT_NE(page.find("<td>Kvantizacni chyba</td><td class=\"n\">0.6</td>"), std::string::npos);
  EXPECT_NE(
      page.find("<td>Topograficka chyba, 4-okoli</td><td class=\"n\">0.4 (2 z 5 vzorku)</td>"),
      std::string::npos);
  EXPECT_NE(
      page.find("<td>Topograficka chyba, 8-okoli</td><td class=\"n\">0.2 (1 z 5 vzorku)</td>"),
      std::string::npos);
  // A finished run's page stays as it is: no progress, no reloading.
  EXPECT_EQ(page.find("refresh"), std::string::npos);
  EXPECT_EQ(page.find("Trenovani probiha"), std::string::npos);
  EXPECT_NE(page.find("<td>Krok</td><td class=\"n\">12</td>"), std::string::npos);
  // Nothing is fetched: no scripts or links, and every reference is inline.
  for (const char* outside : {"<script", "<link", "@import", "url(http"}) {
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  }
  for (const std::string reference : {" href=\"", " src=\""}) {
    for (std::size_t at = page.find(reference); at != std::string::npos;
         at = page.find(reference, at + 1)) {
      EXPECT_EQ(page.compare(at + reference.size(), 5, "data:"), 0);
    }
  }

  // U-matrix, hits and one component plane, in this order.
  const std::vector<decoded_png> pictures = page_pictures(page);
  ASSERT_EQ(pictures.size(), 3u);
  for (const decoded_png& p : pictures) {
    EXPECT_EQ(p.width, 3u);
    EXPECT_EQ(p.height, 2u);
    EXPECT_EQ(p.colour_type, 3);
    EXPECT_EQ(p.palette_entries, 256u);
  }
  SOM_SKIP_UNLESS_PNG_PIXELS_DECODED();
  // The scale runs from the lowest value (palette entry 0) to the highest (254):
  // U-matrix 1.0 at (1,0) and 4.5 at (1,2); hits 0 at (1,1) and 2 at (0,2).
  ASSERT_EQ(pictures[0].rows.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(pictures[0].rows[1][0]), 0u);
  EXPECT_EQ(static_cast<unsigned char>(pictures[0].rows[1][2]), 254u);
  EXPECT_EQ(static_cast<unsigned char>(pictures[0].rows[0][2]), 145u);  // 3.0: 2 / 3.5 × 254
  ASSERT_EQ(pictures[1].rows.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(pictures[1].rows[1][1]), 0u);
  EXPECT_EQ(static_cast<unsigned char>(pictures[1].rows[0][2]), 254u);
  EXPECT_EQ(static_cast<unsigned char>(pictures[1].rows[0][1]), 127u);
}

TEST(ReportPage, ColourPictureAndEveryPlane) {
  // Dimension 3: the weights as colours, clamped to [0, 1].
  run_holder colours(1, 2, 3, {1.5, 0.5, -0.25, 0.0, 1.0, 0.2}, {}, {});
  const std::string page3 = som::render_report(colours.run);
  EXPECT_TRUE(tags_balanced(page3));
  const std::vector<decoded_png> pictures3 = page_pictures(page3);
  ASSERT_EQ(pictures3.size(), 2u + 1u + 3u);
  const decoded_png& rgb = pictures3[2];
  EXPECT_EQ(rgb.colour_type, 2);
  EXPECT_NE(page3.find("<td>Kvantizacni chyba</td><td class=\"n\">-</td>"), std::string::npos);

  // Twenty components: twenty planes, each captioned.
  std::vector<double> weights(4 * 20);
  for (std::size_t i = 0; i < weights.size(); ++i) weights[i] = static_cast<double>(i % 7);
  run_holder wide(2, 2, 20, weights, {}, {});
  const std::string page20 = som::render_report(wide.run);
  EXPECT_TRUE(tags_balanced(page20));
  EXPECT_EQ(page_pictures(page20).size(), 2u + 20u);
  EXPECT_NE(page20.find("<figcaption>Slozka 20</figcaption>"), std::string::npos);
  EXPECT_EQ(page20.find("Zobrazeno prvnich"), std::string::npos);

  SOM_SKIP_UNLESS_PNG_PIXELS_DECODED();
  ASSERT_EQ(rgb.rows.size(), 1u);
  EXPECT_EQ(rgb.rows[0], std::string("\xff\x80\x00\x00\xff\x33", 6));
}

TEST(ReportPage, LargeMapStaysCompact) {
  // 200 x 200 neurons with random weights (the largest data-space picture:
  // every link a long jump) and 100000 samples, each assigned somewhere.
  std::uint32_t state = 99;
  auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 16777216.0;
  };
  std::vector<double> weights(200 * 200 * 3), samples(100000 * 3);
  for (double& w : weights) w = next();
  for (double& x : samples) x = next();
  std::vector<som::assignment> assigned(100000);
  for (std::size_t s = 0; s < assigned.size(); ++s)
    assigned[s] = {static_cast<std::uint32_t>(s % 200), static_cast<std::uint32_t>(s / 500)};
  run_holder large(200, 200, 3, weights, samples, assigned);
  const std::string page = som::render_report(large.run);
  EXPECT_LT(page.size(), 2000000u);
  // No element per neuron: the hit counts are only written into small maps.
  std::size_t texts = 0;
  for (std::size_t at = page.find("<text"); at != std::string::npos;
       at = page.find("<text", at + 1))
    ++texts;
  EXPECT_LT(texts, 200u);
  EXPECT_EQ(page_pictures(page).size(), 2u + 1u + 3u);
  for (const decoded_png& p : page_pictures(page)) {
    EXPECT_EQ(p.width, 200u);
    EXPECT_EQ(p.height, 200u);
  }
}

// ---- The program on the files of a run.

// The hand-worked map as the files of a finished run: the log written
// before the saved map.
void write_hand_run(const temp_folder& folder) {
  folder.write(
      "setup.txt",
      "2\tmap_rows\n3\tmap_cols\n1\tdimension\n10\tradius_decay\n10\trate_decay\n1\tstop_radius\n"
      "0\tKrok\n7\tseed\n");
  folder.write("data.txt", "0.25\n2.0\n1.5\n5.0\n2.75\n");
  folder.write("vahy.bin", doubles_le(hand_weights));
  folder.write("vystup.txt", "0\t0\n1\t0\n0\t1\n0\t2\n0\t2\n");
  folder.write("trenovani.txt", "Rozdil\tRadius\n4\t11.818182\n1\t10.833333\n0\t-nan\n");
  folder.write("konecne_parametry.txt",
               "3\tKrok\n7\tSeed for random number generator\n0\tRozdil\n");
  som_test::set_written_ago(folder / "trenovani.txt", 60);
}

TEST(ReportProgram, WritesTheReportOfAHandMadeRun) {
  temp_folder folder;
  write_hand_run(folder);
  const som_test::run_result result = run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, som_test::host_lines("Prehled mapy je v souboru report.html.\n"));
  const std::string page = folder.read("report.html");
  EXPECT_TRUE(tags_balanced(page));
  EXPECT_NE(page.find("<td>Kvantizacni chyba</td><td class=\"n\">0.6</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>Pocet epoch posledniho behu</td><td class=\"n\">3</td>"), std::string::npos);
  EXPECT_EQ(page_pictures(page).size(), 3u);
  EXPECT_EQ(som_test::page_leftovers(folder.path()), std::vector<std::string>{});
}

TEST(ReportProgram, FilesThatDoNotFitEachOther) {
  struct mismatch {
    const char* name;
    const char* file;
    std::string content;
    std::string console;
  };
  const std::vector<mismatch> cases = {
      {"short weights", "vahy.bin", doubles_le({0, 1, 3, 2, 2}),
       "Soubor vahy.bin je kratsi, nez vyzaduji rozmery mapy v souboru setup.txt.\n"},
      {"long weights", "vahy.bin", doubles_le({0, 1, 3, 2, 2, 7, 8}),
       "Soubor vahy.bin neodpovida velikosti mapy v setup.txt, trenovani se neprovede.\n"},
      {"title line in data.txt", "data.txt", "a b\n0 0\n1 1\n2 2\n3 3\n4 4\n",
       "Soubor data.txt, radek 1: vzorek nema dimenzi 1 (cisla s desetinnou teckou, oddelena "
       "mezerami), trenovani se neprovede.\n"},
      {"setup.txt without Krok", "setup.txt", "2\n3\n1\n10\n10\n1\n7\n",
       "Soubor setup.txt nema vsech osm hodnot, trenovani se neprovede.\n"},
      {"fewer assignments", "vystup.txt", "0\t0\n1\t0\n0\t1\n0\t2\n",
       "Soubor vystup.txt ma mene zaznamu, nez je vzorku v souboru data.txt.\n"},
      {"more assignments", "vystup.txt", "0\t0\n1\t0\n0\t1\n0\t2\n0\t2\n1\t1\n",
       "Soubor vystup.txt ma vice zaznamu, nez je vzorku v souboru data.txt.\n"},
      {"assignment outside", "vystup.txt", "0\t0\n1\t0\n0\t3\n0\t2\n0\t2\n",
       "Zaznam 3 souboru vystup.txt lezi mimo mapu (radek 0, sloupec 3).\n"},
      {"no map", "setup.txt", "0\n3\n1\n10\n10\n1\n0\n7\n",
       "Mapa v souboru setup.txt nema zadny neuron.\n"},
      // What som_train refuses, refused with the same line.
      {"decimal in setup.txt", "setup.txt", "2\n3\n1\n10\n0.5\trate_decay\n1\n0\n7\n",
       "Hodnota v souboru setup.txt neni cele cislo (0.5), trenovani se neprovede.\n"},
      {"setup.txt in UTF-16", "setup.txt", som_test::utf16("2\n3\n1\n10\n10\n1\n0\n7\n"),
       "Soubor setup.txt je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n"},
      {"data.txt in UTF-16", "data.txt", som_test::utf16("0.25\n2.0\n1.5\n5.0\n2.75\n", true),
       "Soubor data.txt je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n"},
      {"data.txt without samples", "data.txt", "\"0.25\"\n\"2.0\"\n\"1.5\"\n\"5.0\"\n\"2.75\"\n",
       "Soubor data.txt, radek 1: vzorek nema dimenzi 1 (cisla s desetinnou teckou, oddelena "
       "mezerami), trenovani se neprovede.\n"},
      {"popisky.txt in UTF-16", "popisky.txt", som_test::utf16("a\r\nb\r\na\r\nb\r\na\r\n"),
       "Soubor popisky.txt je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo "
       "ANSI.\n"},
  };
  for (const mismatch& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    write_hand_run(folder);
    folder.write(c.file, c.content);
    const som_test::run_result result = run_program(folder, "", SOM_REPORT_EXE);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.console, som_test::host_lines(c.console));
    EXPECT_FALSE(folder.exists("report.html"));
    EXPECT_EQ(som_test::page_leftovers(folder.path()), std::vector<std::string>{});
  }
  // (Without a file of the saved map, the folder shows a run in progress.)
  for (const char* name : {"setup.txt", "data.txt", "trenovani.txt"}) {
    SCOPED_TRACE(name);
    temp_folder folder;
    write_hand_run(folder);
    std::filesystem::remove(folder / name);
    const som_test::run_result result = run_program(folder, "", SOM_REPORT_EXE);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.console,
              som_test::host_lines(std::string("Soubor ") + name + " se nepodarilo otevrit.\n"));
  }
}

// A UTF-8 byte order mark before setup.txt, data.txt or popisky.txt (as
// Notepad's "UTF-8 with BOM" and Excel's "CSV UTF-8" write them) changes
// nothing on the page.
TEST(ReportProgram, Utf8MarksChangeNothing) {
  const std::string labels = "a\r\nb\r\na\r\nb\r\na\r\n";
  temp_folder plain;
  write_hand_run(plain);
  plain.write("popisky.txt", labels);
  ASSERT_EQ(run_program(plain, "", SOM_REPORT_EXE).status, 0);
  // The page names its folder: each page with its folder's name taken out.
  const auto page_of = [](const temp_folder& folder) {
    std::string page = folder.read("report.html");
    const std::string name = folder.path().filename().string();
    for (std::size_t at = page.find(name); at != std::string::npos; at = page.find(name, at))
      page.erase(at, name.size());
    return page;
  };
  const std::string page = page_of(plain);
  for (const char* name : {"setup.txt", "data.txt", "popisky.txt"}) {
    SCOPED_TRACE(name);
    temp_folder folder;
    write_hand_run(folder);
    folder.write("popisky.txt", labels);
    folder.write(name, std::string(som_test::utf8_mark) + folder.read(name));
    som_test::set_written_ago(folder / "trenovani.txt", 60);
    const som_test::run_result result = run_program(folder, "", SOM_REPORT_EXE);
    EXPECT_EQ(result.status, 0) << result.console;
    EXPECT_TRUE(page_of(folder) == page) << "the page differs";
  }
}

}  // namespace
