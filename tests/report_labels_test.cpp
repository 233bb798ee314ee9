// What the report shows beyond the run's own files: the labels of
// popisky.txt on the map, the picture of the neurons' weights, and the
// numbers on the pictures' scales.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/messages.hpp"
#include "formats/labels_file.hpp"
#include "report/codebook_picture.hpp"
#include "report/label_section.hpp"
#include "report/scale_numbers.hpp"
#include "report/svg_parts.hpp"
#include "som/map/label_map.hpp"
#include "support/label_names.hpp"
#include "support/background_program.hpp"
#include "support/digits.hpp"
#include "support/file_times.hpp"
#include "support/map_values.hpp"
#include "support/page_reading.hpp"
#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

namespace {

using som_test::decoded_png;
using som_test::grid_holder;
using som_test::names_of;
using som_test::page_pictures;
using som_test::run_program;
using som_test::temp_folder;
using som_test::text_between;

TEST(LabelMap, MajorityShareAndPurity) {
  // A 1 x 3 map. Labels by frequency: 0 "x" (4 samples), 1 "y" (3), 2 "z" (1).
  // Neuron 0: x x y       -> x, share 2/3
  // Neuron 1: y y x, one without a label -> y, share 2/3
  // Neuron 2: x z         -> a tie of x and z: x, the more frequent label
  // Purity: x 2 + 1 of 4, y 2 of 3, z 0 of 1; the map 5 of 8.
  som::labels_reading read = som::read_labels("x\nx\ny\ny\ny\nx\n\nx\nz\n", 9);
  ASSERT_TRUE(read.ok()) << som::message_of(read.problem);
  const som::sample_labels& labels = read.labels;
  ASSERT_EQ(names_of(labels), (std::vector<std::string>{"x", "y", "z"}));
  std::vector<som::assignment> records = {{0, 0}, {0, 0}, {0, 0}, {0, 1}, {0, 1},
                                          {0, 1}, {0, 1}, {0, 2}, {0, 2}};
  const som::assignment_table table{records.data(), 9};
  const som::label_map map = som::map_labels(1, 3, table, labels);
  EXPECT_EQ(map.majority, (std::vector<std::uint32_t>{0, 1, 0}));
  EXPECT_DOUBLE_EQ(map.share[0], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(map.share[1], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(map.share[2], 0.5);
  EXPECT_EQ(map.on_majority, (std::vector<std::uint32_t>{3, 2, 0}));
  EXPECT_EQ(map.labelled, 8u);
  EXPECT_EQ(map.labelled_on_majority, 5u);

  // A neuron without labelled samples has no majority.
  read = som::read_labels("\n\nx\n\n\n\n\nx\nx\n", 9);
  ASSERT_TRUE(read.ok()) << som::message_of(read.problem);
  EXPECT_EQ(som::map_labels(1, 3, table, labels).majority[1], som::no_label);
}

TEST(LabelSection, TwentyColoursThenJine) {
  // 25 labels, label k on k + 1 samples, each label on a neuron of its own.
  std::string bytes;
  std::vector<som::assignment> records;
  for (std::uint32_t k = 0; k < 25; ++k) {
    for (std::uint32_t i = 0; i <= k; ++i) {
      bytes += "L" + std::to_string(k) + "\n";
      records.push_back({k / 5, k % 5});
    }
  }
  const som::labels_reading read =
      som::read_labels(bytes, static_cast<std::uint32_t>(records.size()));
  ASSERT_TRUE(read.ok()) << som::message_of(read.problem);
  const som::sample_labels& labels = read.labels;
  EXPECT_EQ(labels.names[0], "L24");
  // A label is text, never markup.
  EXPECT_EQ(som::html_text("<c>"), "&lt;c&gt;");
  const som::assignment_table table{records.data(), static_cast<std::uint32_t>(records.size())};
  const std::string section =
      som::label_section(som::map_labels(5, 5, table, labels), labels, 5, 5, 320.0);
  EXPECT_TRUE(som_test::tags_balanced(section));
  // The twenty most frequent (L24 .. L5) have colours, L4 .. L0 (15 samples) are "jine".
  EXPECT_NE(section.find(">L5</li>"), std::string::npos);
  EXPECT_EQ(section.find(">L4</li>"), std::string::npos);
  EXPECT_NE(section.find("jine</td><td class=\"n\">15</td><td class=\"n\">15</td>"),
            std::string::npos);
  EXPECT_NE(section.find("id=\"cistota\">100.0 %"), std::string::npos);
  const std::vector<decoded_png> pictures = page_pictures(section);
  ASSERT_EQ(pictures.size(), 1u);
  SOM_SKIP_UNLESS_PNG_PIXELS_DECODED();
  // Every neuron leads with its whole share: full colours, the first blue,
  // the last five the same grey.
  EXPECT_EQ(pictures[0].rows[4].substr(12, 3), std::string("\x1f\x77\xb4", 3));
  EXPECT_EQ(pictures[0].rows[0].substr(0, 3), pictures[0].rows[0].substr(12, 3));
}

// ---- The codebook picture.

TEST(CodebookPicture, ShapesImagesAndProfiles) {
  struct shape_case {
    const char* text;
    bool ok;
    std::uint32_t width, height;
  };
  for (const shape_case& c : std::vector<shape_case>{{"8x8", true, 8, 8},
                                                     {"4X2", true, 4, 2},
                                                     {"8x", false, 0, 0},
                                                     {"x8", false, 0, 0},
                                                     {"0x8", false, 0, 0},
                                                     {"8x8x", false, 0, 0},
                                                     {"+8x8", false, 0, 0},
                                                     {"8 x 8", false, 0, 0},
                                                     {"65536x65536", false, 0, 0}}) {
    SCOPED_TRACE(c.text);
    som::image_shape shape;
    EXPECT_EQ(som::parse_image_shape(c.text, shape), c.ok);
    EXPECT_EQ(shape.width, c.width);
    EXPECT_EQ(shape.height, c.height);
  }

  // Two neurons of 2 x 1 images: the lowest weight white, the highest black.
  grid_holder map(1, 2, 2, {0.0, 1.0, 0.5, 0.0});
  const som::codebook_png image = som::draw_codebook(map.grid, {2, 1}, 640.0);
  EXPECT_EQ(image.width, 2u * 3u + 1u);
  EXPECT_EQ(image.height, 3u);
  EXPECT_TRUE(image.pixelated);

  // A larger map's profiles: one picture, two bits a pixel.
  std::vector<double> weights(40 * 30 * 5);
  for (std::size_t i = 0; i < weights.size(); ++i) weights[i] = static_cast<double>(i % 11);
  grid_holder wide(40, 30, 5, weights);
  const std::string section = som::codebook_section(wide.grid, {}, 640.0);
  const std::vector<decoded_png> pictures = page_pictures(section, "codebook");
  ASSERT_EQ(pictures.size(), 1u);
  const std::uint32_t cell = 640 / 40 - 1;
  EXPECT_EQ(pictures[0].width, 30u * (cell + 1) + 1);
  EXPECT_EQ(pictures[0].height, 40u * (cell + 1) + 1);

  SOM_SKIP_UNLESS_PNG_PIXELS_DECODED();
  const std::vector<decoded_png> decoded =
      page_pictures(som::codebook_section(map.grid, {2, 1}, 640.0), "codebook");
  ASSERT_EQ(decoded.size(), 1u);
  const std::string& row = decoded[0].rows[1];
  const std::string& border = decoded[0].rows[0];
  EXPECT_EQ(static_cast<unsigned char>(row[1]), 0u);    // 0: white
  EXPECT_EQ(static_cast<unsigned char>(row[2]), 250u);  // 1: black
  EXPECT_EQ(static_cast<unsigned char>(row[4]), 125u);  // 0.5
  EXPECT_EQ(static_cast<unsigned char>(row[0]), static_cast<unsigned char>(border[3]));
  // Every profile cell has its line: each column inside a cell has a pixel of it.
  const decoded_png& profiles = pictures[0];
  for (std::uint32_t x = 1; x < cell + 1; ++x) {
    bool drawn = false;
    for (std::uint32_t y = 1; y < cell + 1; ++y) drawn = drawn || profiles.rows[y][x] == 2;
    EXPECT_TRUE(drawn) << x;
  }
}

// ---- Numbers on the scales.

TEST(ScaleNumbers, FourDigitsTinyValuesAsZero) {
  struct number_case {
    double value, span;
    const char* text;
  };
  const std::vector<number_case> cases = {
      {1.976e-323, 0.08453, "0"},       // a weight decayed to a denormal
      {4.447e-323, 4.447e-323, "4.447e-323"},  // a scale of denormals alone
      {0.0845312, 0.08, "0.08453"},
      {0.5, 1.0, "0.5"},
      {12.3456, 20.0, "12.35"},
      {99999.0, 1e5, "1e+05"},
      {12346.0, 1e4, "12350"},
      {0.00099996, 1.0, "0.001"},
      {-0.000123456, 1e-3, "-0.0001235"},
      {1234567.0, 1e6, "1.235e+06"},
      {0.0, 1.0, "0"},
      {3.0, 0.0, "3"},
  };
  for (const number_case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(som::scale_number(c.value, c.span), c.text);
  }
}

// The labels of every colour bar of a page, in page order, with where they
// start and end (by label_width).
struct placed {
  double from, to;
  std::string text;
};
std::vector<std::vector<placed>> legend_labels(const std::string& page) {
  std::vector<std::vector<placed>> out;
  for (std::size_t at = page.find("class=\"legend\""); at != std::string::npos;
       at = page.find("class=\"legend\"", at + 1)) {
    const std::string legend = page.substr(at, page.find("</svg>", at) - at);
    out.emplace_back();
    for (std::size_t t = legend.find("<text x=\""); t != std::string::npos;
         t = legend.find("<text x=\"", t + 1)) {
      const double x = std::atof(legend.c_str() + t + 9);
      const std::string anchor = text_between(legend.substr(t), "text-anchor=\"", "\"");
      const std::size_t begin = legend.find('>', t) + 1;
      const std::string text = legend.substr(begin, legend.find('<', begin) - begin);
      const double w = som::label_width(text);
      const double from = anchor == "start" ? x : anchor == "end" ? x - w : x - w / 2.0;
      out.back().push_back({from, from + w, text});
    }
  }
  return out;
}

TEST(ScaleNumbers, LegendsOfTheDigitsPlanesNeitherDenormalNorTouching) {
  // The values of the digits' planes that came out as "1.976e-323" and, on a
  // narrow bar, as "1.482e-3230.08453": a border pixel whose weight has
  // decayed to a denormal beside pixels with ink.
  const std::vector<std::vector<double>> planes = {
      {1.976e-323, 0.08453, 0.01, 0.02}, {4.447e-323, 1.482e-323, 0.08453, 0.0},
      {-123456.7, 0.0001, 98765.4, 3.0}, {0.5000001, 0.5000002, 0.5000003, 0.5}};
  for (const std::vector<double>& values : planes) {
    grid_holder map(2, 2, 1, values);
    const std::string page = som::draw_heat_map({"Slozka 1", &som::viridis, values, 40.0, {}, {}, {}}, 2,
                                                2, "scale-c1", som::finite_range(values));
    SCOPED_TRACE(page);
    const std::vector<std::vector<placed>> legends = legend_labels(page);
    ASSERT_EQ(legends.size(), 1u);
    ASSERT_GE(legends[0].size(), 1u);
    for (std::size_t i = 0; i < legends[0].size(); ++i) {
      const placed& label = legends[0][i];
      EXPECT_EQ(label.text.find("e-32"), std::string::npos) << label.text;
      // Significant digits: not the zeros in front, nor those that end a whole number.
      std::string mantissa = label.text.substr(0, label.text.find('e'));
      if (mantissa.find('.') == std::string::npos)
        while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
      std::size_t digits = 0;
      for (char c : mantissa) digits += c >= '0' && c <= '9' && (digits != 0 || c != '0');
      EXPECT_LE(digits, 4u) << label.text;
      if (i > 0) {
        EXPECT_GE(label.from, legends[0][i - 1].to + som::label_gap - 0.5) << label.text;
      }
    }
  }
}

// ---- The program with popisky.txt and --obraz.

// A finished run of a 1 x 2 map of dimension 2 and three samples.
void write_small_run(const temp_folder& folder) {
  folder.write("setup.txt", "1\n2\n2\n10\n10\n1\n0\n7\n");
  folder.write("data.txt", "0 0\n0.1 0\n1 1\n");
  folder.write("vahy.bin", som_test::doubles_le({0, 0, 1, 1}));
  folder.write("vystup.txt", "0\t0\n0\t0\n0\t1\n");
  folder.write("trenovani.txt", "Rozdil\tRadius\n0\t1.0\n");
  folder.write("konecne_parametry.txt", "1\tKrok\n7\tSeed\n0\tRozdil\n");
  som_test::set_written_ago(folder / "trenovani.txt", 60);
}

TEST(ReportProgram, LabelsColumnsAndImageShapeThatDoNotFit) {
  struct misfit {
    const char* name;
    const char* labels;   // popisky.txt, or none
    const char* columns;  // sloupce.txt, or none
    std::vector<std::string> arguments;
    std::string console;
  };
  const std::string header = "nazev\tstred\tmeritko\n";
  const std::string bad_line = " (ocekava se nazev, stred a nenulove meritko oddelene tabulatory).\n";
  const std::vector<misfit> cases = {
      {"too few labels", "a\nb\n", nullptr, {},
       "Soubor popisky.txt ma 2 radku, ale v souboru data.txt je 3 vzorku.\n"},
      {"too many labels", "a\nb\nc\nd\n", nullptr, {},
       "Soubor popisky.txt ma 4 radku, ale v souboru data.txt je 3 vzorku.\n"},
      {"shape of another dimension", nullptr, nullptr, {"--obraz", "2x2"},
       "Obraz 2x2 ma 4 bodu, ale vzorky v souboru setup.txt maji dimenzi 2.\n"},
      {"more clusters than neurons", nullptr, nullptr, {"--shluky", "3"},
       "Mapa ma 2 neuronu, do 3 shluku ji rozdelit nelze.\n"},
      {"no clusters", nullptr, nullptr, {"--shluky", "0"},
       "Neznamy argument --shluky. Pouziti: som_report [--watch] [--obraz SIRKAxVYSKA] [--shluky K]\n"},
      {"no shape", nullptr, nullptr, {"--obraz", "2y1"},
       "Neznamy argument --obraz. Pouziti: som_report [--watch] [--obraz SIRKAxVYSKA] [--shluky K]\n"},
      {"columns without their header", nullptr, "x\t0\t1\ny\t0\t1\n", {},
       "Soubor sloupce.txt ma chybny radek 1 (ocekava se hlavicka nazev, stred, meritko oddelene "
       "tabulatory).\n"},
      {"a column without its scale", nullptr, "nazev\tstred\tmeritko\nx\t0\t1\ny\t0\n", {},
       "Soubor sloupce.txt ma chybny radek 3" + bad_line},
      {"a scale of 0", nullptr, "nazev\tstred\tmeritko\nx\t0\t0\ny\t0\t1\n", {},
       "Soubor sloupce.txt ma chybny radek 2" + bad_line},
      {"a decimal comma", nullptr, "nazev\tstred\tmeritko\r\nx\t0,5\t1\r\ny\t0\t1\r\n", {},
       "Soubor sloupce.txt ma chybny radek 2" + bad_line},
      {"more columns than components", nullptr,
       "nazev\tstred\tmeritko\nx\t0\t1\ny\t0\t1\nz\t0\t1\n", {},
       "V souboru sloupce.txt je 3 sloupcu, ale vzorky v souboru setup.txt maji dimenzi 2.\n"},
      {"fewer columns than components", nullptr, "nazev\tstred\tmeritko\nx\t0\t1\n\n", {},
       "V souboru sloupce.txt je 1 sloupcu, ale vzorky v souboru setup.txt maji dimenzi 2.\n"},
      {"labels first", "a\n", "x\n", {},
       "Soubor popisky.txt ma 1 radku, ale v souboru data.txt je 3 vzorku.\n"},
  };
  for (const misfit& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    write_small_run(folder);
    if (c.labels != nullptr) folder.write("popisky.txt", c.labels);
    if (c.columns != nullptr) folder.write("sloupce.txt", c.columns);
    som_test::background_program report(folder, SOM_REPORT_EXE, c.arguments);
    EXPECT_EQ(report.wait(), 1);
    EXPECT_EQ(report.console(), som_test::host_lines(c.console));
    EXPECT_FALSE(folder.exists("report.html"));
    EXPECT_EQ(som_test::page_leftovers(folder.path()), std::vector<std::string>{});
  }

  // Fitting ones: the page has the labels, the columns' names and the
  // images, and its title the folder's name.
  temp_folder folder;
  write_small_run(folder);
  folder.write("popisky.txt", "a\r\na\r\n<b>\r\n");
  folder.write("sloupce.txt", "nazev\tstred\tmeritko\r\nšířka\t5\t2\r\n\t0\t1\r\n\r\n");
  som_test::background_program report(folder, SOM_REPORT_EXE, {"--obraz", "1x2"});
  EXPECT_EQ(report.wait(), 0);
  const std::string page = folder.read("report.html");
  EXPECT_TRUE(som_test::tags_balanced(page));
  EXPECT_NE(page.find("&lt;b&gt;</li>"), std::string::npos);
  EXPECT_NE(page.find("id=\"cistota\">100.0 %"), std::string::npos);
  EXPECT_NE(page.find("obrazek 1 x 2"), std::string::npos);
  EXPECT_EQ(page_pictures(page, "codebook").size(), 1u);
  EXPECT_NE(page.find("<figcaption>šířka <span class=\"k\">(slozka 1)</span></figcaption>"),
            std::string::npos);
  // A column without a name keeps the component's number.
  EXPECT_NE(page.find("<figcaption>Slozka 2</figcaption>"), std::string::npos);
  EXPECT_NE(page.find("<title>" + folder.path().filename().string() + " - Samoorganizujici mapa 1 x 2"),
            std::string::npos);
}

TEST(ReportProgram, DigitsFindTheirOwnNeurons) {
#ifndef SOM_TEST_ZLIB
  GTEST_SKIP() << "zlib was not found when the tests were configured: digits.csv.gz is not read";
#else
  std::string data, labels;
  ASSERT_TRUE(som_test::read_digits(data, labels));
  temp_folder folder;
  // A short schedule (113 epochs, about a second): the pixel counts 0 to 16
  // as they are, on a 15 x 15 map.
  som_test::setup_values setup;
  setup.map_rows = 15;
  setup.map_cols = 15;
  setup.dimension = 64;
  setup.radius_decay = 1;
  setup.rate_decay = 10;
  setup.stop_radius = 4;
  setup.seed = 7;
  folder.write("setup.txt", som_test::setup_text(setup));
  folder.write("data.txt", data);
  folder.write("popisky.txt", labels);
  ASSERT_EQ(run_program(folder).status, 0);
  som_test::background_program report(folder, SOM_REPORT_EXE, {"--obraz", "8x8"});
  ASSERT_EQ(report.wait(), 0);
  const std::string page = folder.read("report.html");
  const std::string purity = text_between(page, "id=\"cistota\">", " %");
  ASSERT_FALSE(purity.empty());
  EXPECT_GT(std::atof(purity.c_str()), 90.0);
  // Ten digits, each with a colour of its own.
  for (char digit = '0'; digit <= '9'; ++digit)
    EXPECT_NE(page.find(std::string(">") + digit + "</li>"), std::string::npos) << digit;
#endif
}

}  // namespace
