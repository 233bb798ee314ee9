// som_map as a user runs it: new samples placed on a map exactly as the
// plain search places them, labelled by the map's training labels, the
// state files left as they were, every refusal before anything is written,
// and the folder's lock shared with other readers but not with a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/byte_reader.hpp"
#include "common/platform.hpp"
#include "common/text_format.hpp"
#include "formats/columns_file.hpp"
#include "formats/placement_file.hpp"
#include "mapping/new_table.hpp"
#include "som/map/best_two.hpp"
#include "support/background_program.hpp"
#include "support/digits.hpp"
#include "support/map_values.hpp"
#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

namespace {

using som_test::lines_of;
using som_test::same_bits;

namespace fs = std::filesystem;
using som_test::grid_holder;
using som_test::host_lines;
using som_test::temp_folder;

constexpr const char* usage =
    "Pouziti: som_map SOUBOR [--popisky SOUBOR|SLOUPEC] [--shluky K] [--hlavicka ano|ne] "
    "[--oddelovac carka|strednik|tabulator|mezery] [--desetinna tecka|carka]";

struct map_run {
  int status = -1;
  std::string console;
};

// `program` (som_map unless named) with `arguments`, in the folder.
map_run run_map(const temp_folder& folder, const std::vector<std::string>& arguments,
                const std::string& program_path = SOM_MAP_EXE) {
  som_test::background_program program(folder, program_path, arguments);
  map_run out;
  out.status = program.wait();
  out.console = program.console();
  return out;
}

std::map<std::string, std::string> folder_files(const temp_folder& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder.path()))
    files[entry.path().filename().string()] = som_test::read_file(entry.path());
  return files;
}

som::placement_table read_placements(const temp_folder& folder) {
  const std::string bytes = folder.read("zarazeni.txt");
  som::byte_reader reader(bytes);
  som::placements_reading read = som::read_placements(reader);
  EXPECT_TRUE(read.ok()) << "line " << read.bad_line;
  return read.table;
}

// The samples as lines of data.txt, each value the shortest decimal that
// reads back to it.
std::string sample_lines(const std::vector<double>& values, std::uint32_t dim) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    som::append_shortest(text, values[i]);
    text += (i + 1) % dim == 0 ? "\n" : " ";
  }
  return host_lines(text);
}

// A map of `rows` x `cols` given by its weights: setup.txt and vahy.bin.
void write_map(const temp_folder& folder, std::uint32_t rows, std::uint32_t cols, std::uint32_t dim,
               const std::vector<double>& weights) {
  som_test::setup_values setup;
  setup.map_rows = rows;
  setup.map_cols = cols;
  setup.dimension = dim;
  folder.write("setup.txt", som_test::setup_text(setup));
  folder.write("vahy.bin", som_test::doubles_le(weights));
}

// Every row of zarazeni.txt against find_best_two over every neuron: the
// same unit, its distance's square root bit for bit, the same neighbour flag.
void expect_plain_search(const som::placement_table& table, const som::weight_grid& grid,
                         const std::vector<double>& samples) {
  const std::uint32_t dim = grid.dimension;
  ASSERT_EQ(table.rows.size(), samples.size() / dim);
  for (std::size_t s = 0; s < table.rows.size(); ++s) {
    const som::best_two plain = som::find_best_two(grid, samples.data() + s * dim);
    const som::placement& row = table.rows[s];
    EXPECT_EQ(row.unit.row, plain.best.row) << "sample " << s;
    EXPECT_EQ(row.unit.col, plain.best.col) << "sample " << s;
    EXPECT_EQ(row.distance, std::sqrt(plain.best_distance)) << "sample " << s;
    EXPECT_EQ(row.neighbour, som::grid_neighbours(plain.best, plain.second)) << "sample " << s;
  }
}

TEST(SomMap, PlacesSamplesAsThePlainSearchDoes) {
  std::mt19937 random(11);
  for (const std::uint32_t dim : {3u, 20u}) {
    for (const bool coarse : {true, false}) {
      SCOPED_TRACE(testing::Message() << "dimension " << dim << (coarse ? ", coarse" : ", fine"));
      const std::uint32_t rows = 5, cols = 6;
      auto value = [&] {
        return coarse ? static_cast<double>(random() % 3)
                      : std::uniform_real_distribution<double>(-1.0, 1.0)(random);
      };
      std::vector<double> weights(rows * cols * dim);
      for (double& w : weights) w = value();
      // Copied neurons: a sample is as near to each copy.
      std::copy_n(weights.begin() + 3 * dim, dim, weights.begin() + 7 * dim);
      std::copy_n(weights.begin() + 3 * dim, dim, weights.begin() + 20 * dim);
      // The samples: every neuron's own weights, and points anywhere (on
      // the coarse map, halves: equal distances everywhere).
      std::vector<double> samples = weights;
      for (int i = 0; i < 200 * static_cast<int>(dim); ++i)
        samples.push_back(coarse ? static_cast<double>(random() % 5) * 0.5 : value() * 1.5);
      temp_folder folder;
      write_map(folder, rows, cols, dim, weights);
      folder.write("nove.txt", sample_lines(samples, dim));
      const std::map<std::string, std::string> before = folder_files(folder);

      const map_run run = run_map(folder, {"nove.txt"});
      ASSERT_EQ(run.status, 0) << run.console;
      const grid_holder grid(rows, cols, dim, weights);
      const som::placement_table table = read_placements(folder);
      EXPECT_FALSE(table.labels || table.clusters || table.true_labels);
      expect_plain_search(table, grid.grid, samples);

      // Nothing else written, but the (empty) lock file, made as som_train makes it.
      std::map<std::string, std::string> after = folder_files(folder);
      after.erase("zarazeni.txt");
      EXPECT_EQ(after.at("som_train.zamek"), "");
      after.erase("som_train.zamek");
      EXPECT_EQ(after, before);
      EXPECT_TRUE(run.console.starts_with("Zarazeno " + std::to_string(samples.size() / dim) +
                                          " vzorku ze souboru nove.txt na mapu 5 x 6."))
          << run.console;
    }
  }
}

// A 1 x 4 map of one component, weights 0, 1, 2, 3, with six training
// samples. Labels by frequency: b (3), a (2).
//   neuron 0: a, b     -> a tie: b, the more frequent label
//   neuron 1: a        -> a
//   neuron 2: only a sample without a label
//   neuron 3: b, b     -> b
void labelled_map(const temp_folder& folder) {
  write_map(folder, 1, 4, 1, {0.0, 1.0, 2.0, 3.0});
  folder.write("data.txt", host_lines("0\n0.1\n1\n2\n3\n3.1\n"));
  folder.write("popisky.txt", host_lines("a\nb\na\n\nb\nb\n"));
  folder.write("vystup.txt", host_lines("0\t0\n0\t0\n0\t1\n0\t2\n0\t3\n0\t3\n"));
}

TEST(SomMap, LabelsClustersAndTrueLabels) {
  temp_folder folder;
  labelled_map(folder);
  // Neuron 2 has no labelled sample: neurons 1 and 3 are equally near it in
  // weight space, and the first in row-major order lends its label.
  folder.write("nove.txt", host_lines("0.2\n0.9\n2.2\n3.5\n"));
  folder.write("skutecne.txt", host_lines("b\na\n \nb\n"));
  const std::map<std::string, std::string> before = folder_files(folder);
  const map_run run = run_map(folder, {"nove.txt", "--popisky", "skutecne.txt", "--shluky", "2"});
  ASSERT_EQ(run.status, 0) << run.console;
  EXPECT_EQ(folder.read("zarazeni.txt"),
            host_lines("radek\tsloupec\tvzdalenost\tsousedni\tpopisek\todhad\tshluk\tskutecny\n"
                       "0\t0\t0.2\t1\tb\t0\t1\tb\n"
                       "0\t1\t0.09999999999999998\t1\ta\t0\t1\ta\n"
                       "0\t2\t0.20000000000000018\t1\ta\t1\t2\t\n"
                       "0\t3\t0.5\t1\tb\t0\t2\tb\n"));
  EXPECT_EQ(run.console,
            host_lines("Zarazeno 4 vzorku ze souboru nove.txt na mapu 1 x 4.\n"
                       "Kvantizacni chyba: 0.25 (prumerna vzdalenost vzorku od vah jeho neuronu)\n"
                       "Topograficka chyba: 0.0 % (0 vzorku ma druhy nejblizsi neuron jinde nez "
                       "hned vedle nejblizsiho)\n"
                       "Popisek od nejblizsiho neuronu s popiskem: 1 vzorku (jejich neuron nema "
                       "zadny trenovaci vzorek s popiskem)\n"
                       "Presnost: 100.0 % (3 z 3 vzorku se skutecnym popiskem)\n"
                       "Matice zamen (radky: skutecny popisek, sloupce: odhad):\n"
                       "     a  b\n"
                       "  a  1  0\n"
                       "  b  0  2\n"
                       "Vzorku ve shlucich: 1: 2, 2: 2\n"
                       "Vysledek je v souboru zarazeni.txt.\n"));
  std::map<std::string, std::string> after = folder_files(folder);
  after.erase("zarazeni.txt");
  after.erase("som_train.zamek");
  EXPECT_EQ(after, before);
}

struct refusal_case {
  const char* name;
  std::vector<std::string> arguments;
  std::string expected;  // the console
  void (*prepare)(const temp_folder&) = nullptr;
};

TEST(SomMap, RefusesBeforeWritingAnything) {
  const std::string not_done = ", zarazeni se neprovede.\n";
  const refusal_case cases[] = {
      {"no argument", {}, std::string("Chybi soubor se vzorky. ") + usage + "\n"},
      {"an unknown option",
       {"nove.txt", "--shluk", "2"},
       std::string("Neznamy argument --shluk. ") + usage + "\n"},
      {"two files",
       {"nove.txt", "jine.txt"},
       std::string("Neznamy argument jine.txt. ") + usage + "\n"},
      {"no clusters",
       {"nove.txt", "--shluky", "0"},
       std::string("Neznamy argument --shluky. ") + usage + "\n"},
      {"more clusters than neurons",
       {"nove.txt", "--shluky", "5"},
       "Mapa ma 4 neuronu, do 5 shluku ji rozdelit nelze.\n"},
      {"no such file", {"chybi.txt"}, "Soubor chybi.txt se nepodarilo otevrit.\n"},
      {"a sample of another dimension",
       {"spatne.txt"},
       "Soubor spatne.txt, radek 2: vzorek nema dimenzi 1 (cisla s desetinnou teckou, oddelena "
       "mezerami)" +
           not_done,
       [](const temp_folder& f) { f.write("spatne.txt", host_lines("0.5\n0.5 1\n")); }},
      {"no sample",
       {"prazdne.txt"},
       "V souboru prazdne.txt neni zadny vzorek" + not_done,
       [](const temp_folder& f) { f.write("prazdne.txt", host_lines("\n\n")); }},
      {"true labels of another count",
       {"nove.txt", "--popisky", "skutecne.txt"},
       "Soubor skutecne.txt ma 1 radku, ale v souboru nove.txt je 2 vzorku.\n",
       [](const temp_folder& f) { f.write("skutecne.txt", host_lines("a\n")); }},
      {"a true label with a tab",
       {"nove.txt", "--popisky", "skutecne.txt"},
       "Popisek \"a\tb\" v souboru skutecne.txt obsahuje tabulator nebo znak CR, ktere soubor "
       "zarazeni.txt v popisku nedovoli" +
           not_done,
       [](const temp_folder& f) { f.write("skutecne.txt", host_lines("a\tb\nc\n")); }},
      {"no vahy.bin",
       {"nove.txt"},
       "Soubor vahy.bin se nepodarilo otevrit.\n",
       [](const temp_folder& f) { fs::remove(f / "vahy.bin"); }},
      {"a short vahy.bin",
       {"nove.txt"},
       "Soubor vahy.bin je kratsi, nez vyzaduji rozmery mapy v souboru setup.txt.\n",
       [](const temp_folder& f) {
         f.write("vahy.bin", som_test::doubles_le({0, 1, 2}));
       }},
      {"a long vahy.bin",
       {"nove.txt"},
       "Soubor vahy.bin neodpovida velikosti mapy v setup.txt, trenovani se neprovede.\n",
       [](const temp_folder& f) {
         f.write("vahy.bin", som_test::doubles_le({0, 1, 2, 3, 4}));
       }},
      {"a setup without all values",
       {"nove.txt"},
       "Soubor setup.txt nema vsech osm hodnot, trenovani se neprovede.\n",
       [](const temp_folder& f) {
         f.write("setup.txt", host_lines("1\tmap_rows\n4\tmap_cols\n"));
       }},
      {"labels without vystup.txt",
       {"nove.txt"},
       "Soubor vystup.txt se nepodarilo otevrit.\n",
       [](const temp_folder& f) { fs::remove(f / "vystup.txt"); }},
      {"a vystup.txt short of a record",
       {"nove.txt"},
       "Soubor vystup.txt ma mene zaznamu, nez je vzorku v souboru data.txt.\n",
       [](const temp_folder& f) { f.write("vystup.txt", host_lines("0\t0\n")); }},
      {"popisky.txt of another count",
       {"nove.txt"},
       "Soubor popisky.txt ma 2 radku, ale v souboru data.txt je 6 vzorku.\n",
       [](const temp_folder& f) { f.write("popisky.txt", host_lines("a\nb\n")); }},
      {"a save that was cut off",
       {"nove.txt"},
       "Ukladani mapy nebylo dokonceno. Spustte som_train, ktery ho dokonci.\n",
       [](const temp_folder& f) { f.write("ukladani.txt", "som_train ukladani 1\n"); }},
      {"a table without the columns of sloupce.txt",
       {"nove.txt"},
       "V tabulce nove.txt chybi sloupce ze souboru sloupce.txt: x (tabulka nema radek s nazvy "
       "sloupcu)" +
           not_done,
       [](const temp_folder& f) {
         f.write("sloupce.txt", host_lines("nazev\tstred\tmeritko\nx\t0\t1\n"));
       }},
      {"a decimal comma with commas between cells",
       {"nove.txt", "--desetinna", "carka", "--oddelovac", "carka"},
       "Desetinna carka nejde s oddelovacem carka: zvolte --oddelovac strednik nebo --desetinna "
       "tecka.\n"},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    labelled_map(folder);
    folder.write("nove.txt", host_lines("0.5\n2.5\n"));
    folder.write("zarazeni.txt", "an earlier mapping\n");
    if (c.prepare != nullptr) c.prepare(folder);
    std::map<std::string, std::string> before = folder_files(folder);
    const map_run run = run_map(folder, c.arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console, host_lines(c.expected));
    std::map<std::string, std::string> after = folder_files(folder);
    after.erase("som_train.zamek");
    EXPECT_EQ(after, before);
  }
}

TEST(SomMap, VersionAndARunInProgress) {
  temp_folder folder;
  labelled_map(folder);
  folder.write("nove.txt", host_lines("0.5\n"));
  const map_run version = run_map(folder, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.console, host_lines("som_map " SOM_VERSION "\n"));

  // A run holds the lock: its save may come at any moment.
  som::native_lock run;
  ASSERT_EQ(som::take_file_lock((folder / "som_train.zamek").string(), run),
            som::lock_result::taken);
  const map_run refused = run_map(folder, {"nove.txt"});
  som::release_file_lock(run);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(
      refused.console,
      host_lines("Ve slozce prave bezi som_train a mapa se muze zmenit, zarazeni se neprovede. "
                 "Spustte som_map, az trenovani skonci.\n"));
  EXPECT_FALSE(folder.exists("zarazeni.txt"));
}

#ifdef __linux__
// The process that holds a shared flock on the file with this inode, from
// the system's table of locks; 0 while there is none.
long shared_lock_holder(ino_t inode) {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, advisory, mode, pid, where;
    fields >> number >> kind >> advisory >> mode >> pid >> where;
    if (kind == "FLOCK" && mode == "READ" && where.ends_with(":" + std::to_string(inode)))
      return std::atol(pid.c_str());
  }
  return 0;
}

// A mapping stopped while it holds the lock shared (found in the system's
// table of locks as it reads a long file of samples): a run is refused,
// and another mapping and a report go ahead; once it goes on, it finishes.
TEST(SomMapLock, ARunWaitsForTheMappingOtherReadersDoNot) {
  temp_folder folder;
  folder.write("setup.txt", som_test::setup_text({.map_rows = 4,
                                                  .map_cols = 4,
                                                  .dimension = 2,
                                                  .radius_decay = 4,
                                                  .rate_decay = 10,
                                                  .stop_radius = 2,
                                                  .Krok = 0,
                                                  .seed = 9}));
  folder.write("data.txt", host_lines("0.1 0.2\n0.7 0.4\n0.9 0.8\n0.3 0.3\n"));
  folder.write("popisky.txt", host_lines("a\nb\na\nb\n"));
  ASSERT_EQ(som_test::run_program(folder).status, 0);
  std::string many;
  for (int i = 0; i < 400000; ++i) many += i % 2 == 0 ? "0.2 0.2\n" : "0.8 0.6\n";
  folder.write("nove.txt", many);
  folder.write("malo.txt", host_lines("0.2 0.2\n"));
  const som_test::saved_state map = som_test::read_saved_state(folder.path());
  struct stat lock_file;
  ASSERT_EQ(::stat((folder / "som_train.zamek").c_str(), &lock_file), 0);

  som_test::background_program slow(folder, SOM_MAP_EXE, {"nove.txt"});
  long holder = 0;
  while (holder == 0 && slow.running()) holder = shared_lock_holder(lock_file.st_ino);
  if (holder == 0) GTEST_SKIP() << "the mapping ended before its lock was seen";
  ASSERT_EQ(::kill(static_cast<pid_t>(holder), SIGSTOP), 0);

  const som_test::run_result run = som_test::run_program(folder);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.console.ends_with(
      host_lines("Ve slozce uz bezi jiny beh som_train, trenovani se neprovede.\n")))
      << run.console;
  const map_run other = run_map(folder, {"malo.txt"});
  EXPECT_EQ(other.status, 0) << other.console;
  const som_test::run_result report = som_test::run_program(folder, "", SOM_REPORT_EXE);
  EXPECT_EQ(report.status, 0);
  EXPECT_EQ(report.console, host_lines("Prehled mapy je v souboru report.html.\n"));

  ASSERT_EQ(::kill(static_cast<pid_t>(holder), SIGCONT), 0);
  EXPECT_EQ(slow.wait(), 0) << slow.console();
  EXPECT_NE(slow.console().find("Zarazeno 400000 vzorku"), std::string::npos) << slow.console();
  EXPECT_EQ(som_test::read_saved_state(folder.path()), map);
}
#endif

TEST(SomMap, HeldOutDigitsAreLabelledRight) {
#ifndef SOM_TEST_ZLIB
  GTEST_SKIP() << "zlib was not found when the tests were configured: digits.csv.gz is not read";
#else
  // Three digits of four train a 20 x 20 map (about a second); the fourth
  // are mapped with their true labels.
  std::string data, labels, held_out, truth;
  ASSERT_TRUE(som_test::read_digits(data, labels, [](std::size_t i) { return i % 4 != 3; }));
  ASSERT_TRUE(som_test::read_digits(held_out, truth, [](std::size_t i) { return i % 4 == 3; }));
  temp_folder folder;
  folder.write("setup.txt", som_test::setup_text({.map_rows = 20,
                                                  .map_cols = 20,
                                                  .dimension = 64,
                                                  .radius_decay = 1,
                                                  .rate_decay = 10,
                                                  .stop_radius = 4,
                                                  .Krok = 0,
                                                  .seed = 7}));
  folder.write("data.txt", data);
  folder.write("popisky.txt", labels);
  ASSERT_EQ(som_test::run_program(folder).status, 0);
  folder.write("test.txt", held_out);
  folder.write("skutecne.txt", truth);
  const som_test::saved_state map = som_test::read_saved_state(folder.path());

  const map_run run = run_map(folder, {"test.txt", "--popisky", "skutecne.txt", "--shluky", "10"});
  ASSERT_EQ(run.status, 0) << run.console;
  const std::size_t at = run.console.find("Presnost: ");
  ASSERT_NE(at, std::string::npos) << run.console;
  EXPECT_GT(std::atof(run.console.c_str() + at + 10), 90.0) << run.console;
  EXPECT_NE(run.console.find("Zarazeno 449 vzorku"), std::string::npos) << run.console;
  EXPECT_EQ(som_test::read_saved_state(folder.path()), map);

  // The units of a trained map of 64 components, against the plain search.
  const std::vector<double> weights = som_test::read_doubles_le(map.at("vahy.bin"));
  const grid_holder grid(20, 20, 64, weights);
  std::vector<double> samples;
  for (std::size_t i = 0; i < held_out.size();) {
    char* end = nullptr;
    samples.push_back(std::strtod(held_out.c_str() + i, &end));
    i = static_cast<std::size_t>(end - held_out.c_str());
    while (i < held_out.size() && std::isspace(static_cast<unsigned char>(held_out[i]))) ++i;
  }
  const som::placement_table table = read_placements(folder);
  expect_plain_search(table, grid.grid, samples);
  std::size_t right = 0;
  for (const som::placement& row : table.rows) right += row.label == row.true_label;
  EXPECT_GT(right * 10, table.rows.size() * 9);
#endif
}

// ---- Tables in the units of the user's table, for a map som_data made.

const std::string tables = std::string(SOM_SOURCE_DIR) + "/tests/data/tables/";

std::vector<som::column_scaling> columns_of(const temp_folder& folder) {
  const std::string bytes = folder.read("sloupce.txt");
  som::byte_reader reader(bytes);
  const som::columns_reading read = som::read_columns(reader);
  EXPECT_TRUE(read.ok()) << bytes;
  return read.columns;
}

// data.txt's values as som_train reads them.
std::vector<double> data_values(const temp_folder& folder) {
  std::vector<double> values;
  std::istringstream in(folder.read("data.txt"));
  for (std::string word; in >> word;) values.push_back(std::strtod(word.c_str(), nullptr));
  return values;
}

// Real exports (Excel in a Czech locale in Windows-1250, Excel's CSV UTF-8
// and its UTF-16 text, R, pandas) read back as som_data scaled them into
// data.txt, bit for bit, with every scaling, and their labels as popisky.txt
// holds them.
TEST(SomMapTable, ReadsExportsAsSomDataScalesThem) {
  struct export_case {
    const char* file;
    std::vector<std::string> options;  // som_data's beside --popisky
    const char* labels;
  };
  const export_case cases[] = {
      {"excel_cz.csv", {}, "trida"},        {"excel_utf8_bom.csv", {}, "Site"},
      {"r_write_table.tsv", {}, "Species"}, {"pandas_to_csv.csv", {"--vynechat", "1"}, "group"},
      {"excel_unicode.txt", {}, "nazev"},
  };
  for (const export_case& c : cases) {
    for (const char* scaling : {"z", "01", "ne"}) {
      SCOPED_TRACE(testing::Message() << c.file << ", --skalovani " << scaling);
      temp_folder folder;
      std::vector<std::string> arguments = {tables + c.file, "--popisky", c.labels, "--skalovani",
                                            scaling};
      arguments.insert(arguments.end(), c.options.begin(), c.options.end());
      const map_run converted = run_map(folder, arguments, SOM_DATA_EXE);
      ASSERT_EQ(converted.status, 0) << converted.console;

      som::new_samples input;
      const std::string message = som::read_table_samples(tables + c.file, columns_of(folder), {},
                                                          std::string(c.labels), input);
      ASSERT_EQ(message, "");
      const std::vector<double> expected = data_values(folder);
      const som::sample_matrix& samples = *input.samples;
      ASSERT_EQ(std::size_t{samples.count} * samples.dimension, expected.size());
      for (std::uint32_t i = 0; i < samples.count; ++i)
        for (std::uint32_t j = 0; j < samples.dimension; ++j)
          EXPECT_TRUE(
              same_bits(samples.row(i)[j], expected[std::size_t{i} * samples.dimension + j]))
              << "row " << i << ", component " << j;
      ASSERT_TRUE(input.true_labels.has_value());
      EXPECT_EQ(*input.true_labels, lines_of(folder.read("popisky.txt")));
    }
  }
}

// A 2 x 2 map of som_data's folder for a table of two columns, and new rows
// with the columns in another order, a name in other case and accents, and
// columns the map does not know: those are left alone, the components
// scaled as sloupce.txt says, the samples placed as the plain search places
// them, the state files untouched.
TEST(SomMapTable, ColumnsByNameOthersIgnored) {
  temp_folder folder;
  folder.write("trenink.csv",
               "D\xC3\xA9lka;\xC5\xA0\xC3\xAD\xC5\x99ka;druh\n1,5;2;a\n2;3,5;b\n"
               "0,5;1;a\n4;1,25;b\n");
  const map_run converted = run_map(folder, {"trenink.csv", "--popisky", "druh"}, SOM_DATA_EXE);
  ASSERT_EQ(converted.status, 0) << converted.console;
  const std::vector<double> weights = {-1, -1, 1, -1, -1, 1, 1, 1};
  write_map(folder, 2, 2, 2, weights);
  folder.write("vystup.txt", host_lines("0\t0\n1\t1\n0\t0\n1\t1\n"));
  folder.write("nove.csv",
               "pozn;druh;\xC5\xA1\xC3\xAD\xC5\x99ka;D\xC3\xA9lka;id\n"
               "x;b;3,5;2;1\n\"y;z\";a;1,5;0,75;2\n;;-7;10;3\n");
  std::map<std::string, std::string> before = folder_files(folder);
  before.erase("som_train.zamek");
  const map_run run = run_map(folder, {"nove.csv", "--popisky", "druh"});
  ASSERT_EQ(run.status, 0) << run.console;

  const std::vector<som::column_scaling> columns = columns_of(folder);
  ASSERT_EQ(columns.size(), 2u);
  const double table[3][2] = {{2, 3.5}, {0.75, 1.5}, {10, -7}};
  std::vector<double> samples;
  for (const auto& row : table)
    for (std::size_t j = 0; j < 2; ++j) samples.push_back(som::scaled_value(columns[j], row[j]));
  const grid_holder grid(2, 2, 2, weights);
  const som::placement_table placed = read_placements(folder);
  expect_plain_search(placed, grid.grid, samples);
  ASSERT_EQ(placed.rows.size(), 3u);
  EXPECT_EQ(placed.rows[0].true_label, "b");
  EXPECT_EQ(placed.rows[1].true_label, "a");
  EXPECT_EQ(placed.rows[2].true_label, "");
  std::map<std::string, std::string> after = folder_files(folder);
  after.erase("zarazeni.txt");
  after.erase("som_train.zamek");
  EXPECT_EQ(after, before);
}

TEST(SomMapTable, RefusalsNameTheColumnAndWriteNothing) {
  const std::string not_done = ", zarazeni se neprovede.\n";
  struct table_case {
    const char* name;
    std::string table;
    std::vector<std::string> options;
    std::string expected;
  };
  const table_case cases[] = {
      {"a missing column",
       "b;druh\n1;x\n",
       {},
       "V tabulce nove.csv chybi sloupce ze souboru sloupce.txt: a" + not_done},
      {"both missing, no title",
       "1;2\n3;4\n",
       {},
       "V tabulce nove.csv chybi sloupce ze souboru sloupce.txt: a, b (tabulka nema radek s "
       "nazvy sloupcu)" +
           not_done},
      {"a name twice",
       "a;a;b\n1;2;3\n",
       {},
       "V tabulce nove.csv ma vic sloupcu stejny nazev: a" + not_done},
      {"text for a number",
       "a;b\n1;2\n1;x\n",
       {},
       "Tabulka nove.csv, radek 3, sloupec 2 (b): \"x\" neni cislo" + not_done},
      {"the other decimal mark",
       "a,b\n1,2\n1,2.5x\n3,0.5\n",
       {"--desetinna", "tecka"},
       "Tabulka nove.csv, radek 3, sloupec 2 (b): \"2.5x\" neni cislo" + not_done},
      {"a missing value",
       "a;b\n1;2\n;2\n",
       {},
       "Tabulka nove.csv, radek 3, sloupec 1 (a): chybi hodnota (\"\")" + not_done},
      {"a number beyond the doubles",
       "a;b\n1;1e999\n",
       {},
       "Tabulka nove.csv, radek 2, sloupec 2 (b): cislo \"1e999\" je mimo rozsah cisel (nejvic "
       "asi 1.8e308)" +
           not_done},
      {"no row", "a;b\n", {}, "V tabulce nove.csv neni zadny radek s daty" + not_done},
      {"no label column",
       "a;b\n1;2\n",
       {"--popisky", "druh"},
       "Sloupec druh (--popisky) v tabulce neni. Sloupce: 1 a, 2 b.\n"},
      {"an open quote",
       "a;b\n1;\"2\n",
       {},
       "Tabulka nove.csv, radek 2, sloupec 2: uvozovky otevrene na zacatku bunky se do konce "
       "souboru neuzavrou.\n"},
  };
  for (const table_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    write_map(folder, 1, 2, 2, {0, 0, 1, 1});
    folder.write("sloupce.txt", host_lines("nazev\tstred\tmeritko\na\t1\t2\nb\t0\t1\n"));
    folder.write("nove.csv", c.table);
    const std::map<std::string, std::string> before = folder_files(folder);
    std::vector<std::string> arguments = {"nove.csv"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const map_run run = run_map(folder, arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console, host_lines(c.expected));
    std::map<std::string, std::string> after = folder_files(folder);
    after.erase("som_train.zamek");
    EXPECT_EQ(after, before);
  }
}

}  // namespace
