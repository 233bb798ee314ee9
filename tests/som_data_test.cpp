// som_data as a user runs it: real exports turned into a folder that
// som_train trains, values that read back bit for bit, the scaling against an
// independent computation, refusals that name row and column and write
// nothing, the lock and the rules for existing files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "formats/columns_file.hpp"
#include "formats/sample_data.hpp"
#include "formats/setup_file.hpp"
#include "som/map/map_storage.hpp"
#include "state/run_lock.hpp"
#include "support/background_program.hpp"
#include "support/map_values.hpp"
#include "support/program_runner.hpp"

namespace {

using som_test::lines_of;
using som_test::same_bits;

namespace fs = std::filesystem;
using som_test::last_line;
using som_test::run_result;
using som_test::temp_folder;

const std::string tables = std::string(SOM_SOURCE_DIR) + "/tests/data/tables/";
constexpr const char* nothing_written = "Nic se nezapsalo.";

run_result run_som_data(const temp_folder& folder, const std::vector<std::string>& arguments) {
  som_test::background_program run(folder, SOM_DATA_EXE, arguments);
  run_result result;
  result.status = run.wait();
  result.console = run.console();
  return result;
}

// Every file of the folder and its bytes (the lock's file aside, which a
// run leaves in place).
std::map<std::string, std::string> folder_files(const temp_folder& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    if (name == som::run_lock_file_name) continue;
    files[name] = entry.is_regular_file() ? som_test::read_file(entry.path()) : "<folder>";
  }
  return files;
}

std::vector<som::column_scaling> read_columns_file(const temp_folder& folder) {
  const std::string bytes = folder.read(som::columns_file_name);
  som::byte_reader reader(bytes);
  const som::columns_reading columns = som::read_columns(reader);
  EXPECT_TRUE(columns.ok()) << bytes;
  return columns.columns;
}

// data.txt read back by som_train's own reader.
std::vector<double> read_data(const temp_folder& folder, std::uint32_t count,
                              std::uint32_t dimension) {
  const std::string bytes = folder.read(som::data_file_name);
  std::vector<double> values(std::size_t{count} * dimension);
  som::sample_matrix samples;
  samples.block = values.data();
  samples.count = count;
  samples.dimension = dimension;
  som::byte_reader reader(bytes);
  EXPECT_TRUE(som::read_sample_values(reader, samples));
  double extra;
  EXPECT_FALSE(som::read_decimal(reader, extra)) << "data.txt holds more values";
  return values;
}

// The mean and sample standard deviation by a two-pass sum in long double,
// which for these few values gives the correctly rounded results.
void expect_standard_scaling(const std::vector<double>& column, const som::column_scaling& got,
                             const std::string& what) {
  long double sum = 0;
  for (double x : column) sum += x;
  const long double mean = sum / column.size();
  long double squares = 0;
  for (double x : column) squares += (x - mean) * (x - mean);
  const double variance = static_cast<double>(squares / (column.size() - 1));
  EXPECT_EQ(got.centre, static_cast<double>(mean)) << what;
  EXPECT_EQ(got.scale, std::sqrt(variance)) << what;
}

struct fixture {
  const char* file;
  std::vector<std::string> options;
  std::vector<std::string> names;          // sloupce.txt
  std::vector<std::vector<double>> table;  // the table's numbers, one row per kept sample
  std::vector<std::string> labels;         // popisky.txt, empty: none written
  const char* dialect;                     // a piece of the first console line
};

// Each real export converted, its values checked to the bit, then trained
// by som_train.
TEST(SomData, RealExportsTrain) {
  const fixture fixtures[] = {
      {"excel_cz.csv",
       {"--popisky", "trida"},
       {"D\xC3\xA9lka kali\xC5\xA1n\xC3\xADho l\xC3\xADstku (cm)",
        "\xC5\xA0\xC3\xAD\xC5\x99ka; kali\xC5\xA1n\xC3\xADho l\xC3\xADstku (cm)", "Hmotnost \"g\""},
       {{5.1, 3.5, 0.25},
        {4.9, 3, 0.2},
        {7, 3.2, 1.4},
        {6.4, 3.2, 1.5},
        {6.3, 3.3, 2.5},
        {5.8, 2.7, 1.9}},
       {"kosatec \xC5\xA1t\xC4\x9Btinat\xC3\xBD", "kosatec \xC5\xA1t\xC4\x9Btinat\xC3\xBD",
        "kosatec r\xC5\xAFznobarv\xC3\xBD", "kosatec r\xC5\xAFznobarv\xC3\xBD",
        "kosatec virginsk\xC3\xBD", "kosatec virginsk\xC3\xBD"},
       "Windows-1250 (prevedeno na UTF-8), oddelovac strednik, desetinna carka, konce radku CR LF"},
      {"excel_utf8_bom.csv",
       {"--popisky", "Site"},
       {"Temperature (\xC2\xB0"
        "C)",
        "Pressure (kPa)", "Humidity"},
       {{21.5, 101.3, 0.45}, {19, 99.8, 0.6}, {25.25, 100.1, 0.3}, {17.75, 102, 0.55}},
       {"Brno", "Plze\xC5\x88", "\xC3\x9Ast\xC3\xAD nad Labem", "Brno"},
       "UTF-8 s BOM, oddelovac carka"},
      {"libreoffice.csv",
       {"--popisky", "note", "--vynechat", "id", "--vynechat-neuplne"},
       {"x", "y", "z"},
       {{0.5, 1.25, -3}, {0.75, 1.5, -2.5}, {1.25, 2, -1.5}},
       {"plain", "with, comma", "ok"},
       "UTF-8, oddelovac carka"},
      {"r_write_csv.csv",
       {"--popisky", "Species", "--vynechat", "1", "--vynechat-neuplne"},
       {"Sepal.Length", "Sepal.Width", "Petal.Length", "Petal.Width"},
       {{5.1, 3.5, 1.4, 0.2},
        {4.9, 3, 1.4, 0.2},
        {4.6, 3.1, 1.5, 0.2},
        {7, 3.2, 4.7, 1.4},
        {6.4, 3.2, 4.5, 1.5},
        {6.9, 3.1, 4.9, 1.5},
        {5.5, 2.3, 4, 1.3},
        {6.3, 3.3, 6, 2.5},
        {5.8, 2.7, 5.1, 1.9},
        {7.1, 3, 5.9, 2.1},
        {6.3, 2.9, 5.6, 1.8}},
       {"setosa", "setosa", "setosa", "versicolor", "versicolor", "versicolor", "versicolor",
        "virginica", "virginica", "virginica", "virginica"},
       "bunky v uvozovkach"},
      {"r_write_table.tsv",
       {"--popisky", "Species"},
       {"Sepal.Length", "Sepal.Width", "Petal.Length", "Petal.Width"},
       {{5, 3.6, 1.4, 0.2},
        {5.4, 3.9, 1.7, 0.4},
        {4.6, 3.4, 1.4, 0.3},
        {5, 3.4, 1.5, 0.2},
        {6.5, 2.8, 4.6, 1.5},
        {5.7, 2.8, 4.5, 1.3},
        {6.3, 3.3, 4.7, 1.6},
        {4.9, 2.4, 3.3, 1},
        {6.5, 3, 5.8, 2.2},
        {7.6, 3, 6.6, 2.1},
        {4.9, 2.5, 4.5, 1.7},
        {7.3, 2.9, 6.3, 1.8}},
       {"setosa", "setosa", "setosa", "setosa", "versicolor", "versicolor", "versicolor",
        "versicolor", "virginica", "virginica", "virginica", "virginica"},
       "oddelovac tabulator"},
      {"pandas_to_csv.csv",
       {"--popisky", "group", "--vynechat", "1"},
       {"height_cm", "weight_kg", "age"},
       {{172.5, 70.2, 34},
        {181, 85.5, 45},
        {165.25, 55, 23},
        {190, 92.3, 51},
        {158.5, 50.1, 19},
        {176, 77.7, 38}},
       {"a", "b", "a", "b", "a", "b"},
       "prvni radek jsou nazvy sloupcu"},
      {"excel_unicode.txt",
       {"--popisky", "nazev"},
       {"Hodnota A", "Hodnota B"},
       {{1.5, 2}, {2.5, 4}, {3.5, 8}, {4.5, 16}},
       {"prvn\xC3\xAD", "druh\xC3\xBD",
        "t\xC5\x99"
        "et\xC3\xAD",
        "\xC4\x8Dtvrt\xC3\xBD"},
       "UTF-16 LE (prevedeno na UTF-8), oddelovac tabulator"},
  };
  for (const fixture& f : fixtures) {
    SCOPED_TRACE(f.file);
    temp_folder folder;
    std::vector<std::string> arguments = {tables + f.file};
    arguments.insert(arguments.end(), f.options.begin(), f.options.end());
    const run_result run = run_som_data(folder, arguments);
    ASSERT_EQ(run.status, 0) << run.console;
    EXPECT_NE(run.console.find(f.dialect), std::string::npos) << run.console;
    // Read on one thread or on three, the folder is the same to the byte.
    const auto converted = folder_files(folder);
    for (const char* threads : {"1", "3"}) {
      temp_folder other;
      std::vector<std::string> with_threads = arguments;
      with_threads.insert(with_threads.end(), {"--vlakna", threads});
      const run_result again = run_som_data(other, with_threads);
      EXPECT_EQ(again.console, run.console) << threads << " threads";
      EXPECT_TRUE(folder_files(other) == converted) << threads << " threads";
    }

    const std::vector<som::column_scaling> columns = read_columns_file(folder);
    ASSERT_EQ(columns.size(), f.names.size());
    const auto dimension = static_cast<std::uint32_t>(columns.size());
    const auto count = static_cast<std::uint32_t>(f.table.size());
    for (std::size_t j = 0; j < columns.size(); ++j) {
      EXPECT_EQ(columns[j].name, f.names[j]);
      std::vector<double> column;
      for (const auto& row : f.table) column.push_back(row[j]);
      expect_standard_scaling(column, columns[j], f.names[j]);
    }
    // Bit for bit: what som_train reads is (x - centre) / scale.
    const std::vector<double> values = read_data(folder, count, dimension);
    for (std::uint32_t i = 0; i < count; ++i)
      for (std::uint32_t j = 0; j < dimension; ++j)
        EXPECT_TRUE(same_bits(values[std::size_t{i} * dimension + j],
                              som::scaled_value(columns[j], f.table[i][j])))
            << "row " << i << ", component " << j;
    if (!f.labels.empty()) {
      EXPECT_EQ(lines_of(folder.read(som::labels_file_name)), f.labels);
    }

    // The suggested setup fits the data, and som_train trains it.
    const std::string setup_bytes = folder.read(som::setup_file_name);
    som::byte_reader reader(setup_bytes);
    const som::setup_reading setup = som::read_setup(reader);
    ASSERT_TRUE(setup.complete);
    EXPECT_EQ(setup.params.dimension, dimension);
    EXPECT_EQ(setup.params.stop_radius, 1u);
    EXPECT_EQ(setup.params.Krok, 0u);
    const run_result train = som_test::run_program(folder);
    EXPECT_EQ(train.status, 0) << train.console;
    EXPECT_EQ(last_line(train.console), "Hello world!");
  }
}

TEST(SomData, ScalingKinds) {
  const std::string table = "a,b,c\n1,10,5\n2,30,5\n4,20,5\n";
  struct kind_case {
    const char* option;
    std::vector<double> centres;
    std::vector<double> scales;
  };
  const kind_case cases[] = {
      {"01", {1, 10, 5}, {3, 20, 1}},
      {"ne", {0, 0, 0}, {1, 1, 1}},
      {"z", {7.0 / 3.0, 20, 5}, {std::sqrt(7.0 / 3.0), 10, 1}},
  };
  for (const kind_case& c : cases) {
    temp_folder folder;
    folder.write("t.csv", table);
    const run_result run = run_som_data(folder, {"t.csv", "--skalovani", c.option});
    ASSERT_EQ(run.status, 0) << run.console;
    const std::vector<som::column_scaling> columns = read_columns_file(folder);
    ASSERT_EQ(columns.size(), 3u);
    for (std::size_t j = 0; j < 3; ++j) {
      EXPECT_EQ(columns[j].centre, c.centres[j]) << c.option << " " << j;
      EXPECT_EQ(columns[j].scale, c.scales[j]) << c.option << " " << j;
    }
    // Column c has no spread: named in a notice, scale 1.
    EXPECT_NE(
        run.console.find("Pozor: sloupec 3 (c) ma vsechny hodnoty stejne (5), meritko zustava 1."),
        std::string::npos)
        << run.console;
  }
}

// Each refusal: its message, status 1, the last line, and the folder as it
// was.
TEST(SomData, RefusalsNameRowAndColumnAndWriteNothing) {
  struct refusal {
    const char* what;
    std::string table;  // t.csv, or a fixture when it starts with '@'
    std::vector<std::string> options;
    std::string message;
    std::vector<std::pair<std::string, std::string>> files = {};  // in the folder before
  };
  const refusal cases[] = {
      {"text where numbers belong",
       "@r_write_csv.csv",
       {"--vynechat", "1", "--vynechat-neuplne"},
       "sloupec 6 (Species): radek 2 obsahuje \"setosa\", coz neni cislo. Je-li to popis vzorku, "
       "pouzijte --popisky 6; nema-li se sloupec pouzit, --vynechat 6."},
      {"a missing value",
       "@r_write_csv.csv",
       {"--vynechat", "1", "--popisky", "Species"},
       "radek 4, sloupec 3 (Sepal.Width): chybi hodnota (\"NA\"). Radky s chybejicimi hodnotami "
       "vynecha --vynechat-neuplne; cely sloupec --vynechat 3."},
      {"the other decimal mark",
       "@excel_cz.csv",
       {"--desetinna", "tecka", "--popisky", "4"},
       "Ma-li tabulka desetinnou carku, pouzijte --desetinna carka."},
      {"an open quote", "a,b\n1,2\n3,\"4\n5,6\n", {}, "radek 3, sloupec 2: uvozovky otevrene"},
      {"text after a quote", "a,b\n1,\"2\"x\n", {}, "radek 2, sloupec 2: za uzavirajicimi"},
      {"a cell too many", "a,b\n1,2\n3,4,5\n", {}, "radek 3: bunka ve sloupci 3 je navic"},
      {"a number out of range",
       "a,b\n1,2\n3,-1e999\n",
       {},
       "radek 3, sloupec 2 (b): cislo \"-1e999\" je mimo rozsah"},
      {"values beyond the doubles once scaled",
       "a\n-1e308\n1e308\n",
       {"--skalovani", "01"},
       "sloupec 1 (a): hodnoty jsou po skalovani mimo rozsah cisel"},
      {"no such column",
       "a,b\n1,2\n",
       {"--popisky", "c"},
       "Sloupec c (--popisky) v tabulce neni. Sloupce: 1 a, 2 b."},
      {"a column number beyond the table",
       "a,b\n1,2\n",
       {"--vynechat", "3"},
       "Sloupec 3 (--vynechat) v tabulce neni: tabulka ma 2 sloupcu."},
      {"labels left out",
       "a,b\n1,2\n",
       {"--popisky", "a", "--vynechat", "a"},
       "Sloupec 1 (a) je v --popisky i ve --vynechat."},
      {"no numbers left", "a,b\n1,2\n", {"--vynechat", "1,2"}, "neni zadny sloupec"},
      {"every row incomplete",
       "a,b\n1,NA\nNA,2\n",
       {"--vynechat-neuplne"},
       "Vsem radkum tabulky t.csv chybi nejaka hodnota, nezbyl zadny vzorek; prvni: radek 2, "
       "sloupec 2 (b)."},
      {"no data rows", "a,b\n", {}, "V tabulce t.csv neni zadny radek s daty."},
      {"UTF-16 without its mark",
       std::string("a\0,\0b\0\n\0"
                   "1\0,\0"
                   "2\0\n\0",
                   16),
       {},
       "Soubor t.csv je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI."},
      {"no table", "", {"--no-table"}, "Neznamy argument --no-table. Pouziti: som_data TABULKA"},
      {"two tables", "a\n1\n", {"nic.csv"}, "Neznamy argument nic.csv."},
      {"threads beyond the most", "a\n1\n", {"--vlakna", "9"}, "Neznamy argument --vlakna."},
      {"a table that is not there", "", {"nic.csv"}, "Soubor nic.csv se nepodarilo otevrit."},
      {"a saved map",
       "a\n1\n2\n",
       {"--prepsat"},
       "Ve slozce je ulozena mapa (vahy.bin) natrenovana na dosavadnich datech, proto se data.txt "
       "nenahradi.",
       {{"vahy.bin", "12345678"}, {"data.txt", "1\n2\n"}}},
      {"a saved map without data.txt",
       "a\n1\n2\n",
       {},
       "Ve slozce je ulozena mapa (vahy.bin)",
       {{"vahy.bin", "12345678"}}},
      {"files there without --prepsat",
       "a\n1\n2\n",
       {},
       "Ve slozce uz je data.txt, popisky.txt; nahradi je jen --prepsat.",
       {{"data.txt", "1\n"}, {"popisky.txt", "x\n"}}},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder folder;
    std::vector<std::string> arguments;
    if (!c.table.empty() && c.table[0] == '@') {
      arguments.push_back(tables + c.table.substr(1));
    } else if (!c.table.empty()) {
      folder.write("t.csv", c.table);
      arguments.push_back("t.csv");
    }
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    for (const auto& [name, content] : c.files) folder.write(name, content);
    const auto before = folder_files(folder);
    const run_result run = run_som_data(folder, arguments);
    EXPECT_EQ(run.status, 1) << run.console;
    EXPECT_NE(run.console.find(c.message), std::string::npos) << run.console;
    if (run.console.find("Pouziti:") == std::string::npos) {
      EXPECT_EQ(last_line(run.console), nothing_written) << run.console;
    }
    EXPECT_EQ(folder_files(folder), before);
  }
}

TEST(SomData, WaitsForNoRunAndReplacesOnlyWhenAsked) {
  temp_folder folder;
  folder.write("t.csv", "a,b,label\n1,2,x\n3,5,y\n4,4,z\n");
  // A run holds the folder's lock: nothing happens.
  {
    som::native_lock held;
    ASSERT_EQ(som::take_file_lock((folder / som::run_lock_file_name).string(), held),
              som::lock_result::taken);
    const auto before = folder_files(folder);
    const run_result run = run_som_data(folder, {"t.csv"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find("Ve slozce prave bezi som_train"), std::string::npos) << run.console;
    EXPECT_EQ(folder_files(folder), before);
    som::release_file_lock(held);
  }
  ASSERT_EQ(run_som_data(folder, {"t.csv", "--popisky", "label"}).status, 0);
  EXPECT_EQ(lines_of(folder.read(som::labels_file_name)),
            (std::vector<std::string>{"x", "y", "z"}));

  // With --prepsat the rest is replaced (setup.txt too), and the labels of
  // older data are removed.
  folder.write(som::setup_file_name, "4\n4\n3\n10\n10\n1\n0\n0\n");
  folder.write("t.csv", "a,b\n1,2\n3,5\n4,4\n7,1\n");
  const run_result again = run_som_data(folder, {"t.csv", "--prepsat"});
  ASSERT_EQ(again.status, 0) << again.console;
  EXPECT_NE(folder.read(som::setup_file_name), "4\n4\n3\n10\n10\n1\n0\n0\n");
  EXPECT_FALSE(folder.exists(som::labels_file_name));
  EXPECT_EQ(lines_of(folder.read(som::data_file_name)).size(), 4u);

  // A setup.txt of the user's own in a folder without data stays, and its
  // dimension is checked.
  temp_folder fresh;
  fresh.write(som::setup_file_name, "4\n4\n3\n10\n10\n1\n0\n0\n");
  fresh.write("t.csv", "a,b\n1,2\n3,5\n4,4\n7,1\n");
  const run_result kept = run_som_data(fresh, {"t.csv"});
  ASSERT_EQ(kept.status, 0) << kept.console;
  EXPECT_EQ(fresh.read(som::setup_file_name), "4\n4\n3\n10\n10\n1\n0\n0\n");
  EXPECT_NE(kept.console.find("Pozor: setup.txt ma dimension 3, data maji 2 slozek"),
            std::string::npos)
      << kept.console;
  for (const auto& entry : fs::directory_iterator(folder.path()))
    EXPECT_NE(entry.path().extension(), ".tmp") << "a temporary file was left";
}

TEST(SomData, VersionAndHelp) {
  temp_folder folder;
  const run_result version = run_som_data(folder, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.console.rfind("som_data ", 0), 0u) << version.console;
  const run_result help = run_som_data(folder, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.console.find("--vynechat-neuplne"), std::string::npos);
  EXPECT_TRUE(folder_files(folder).empty());
}

}  // namespace
