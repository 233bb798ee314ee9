// Input that would train a wrong map is refused before anything is written:
// a setup.txt without all eight values or with one out of range, a data.txt
// whose lines are not samples of the setup's dimension (titles, CSV, decimal
// commas, comments, a wrong dimension), a vahy.bin of another map. Each
// refusal is one line, status 1, and the folder stays byte for byte as it
// was. What only looks different (blank lines, spacing, CR LF, a note after
// the last sample, very long lines) trains exactly as the plain file does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::doubles_le;
using som_test::host_lines;
using som_test::run_program;
using som_test::run_result;
using som_test::setup_text;
using som_test::setup_values;
using som_test::temp_folder;

// Every file of the folder by name, but the empty lock file that a run may
// leave (it holds nothing).
std::map<std::string, std::string> snapshot(const temp_folder& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    if (name == "som_train.zamek") {
      EXPECT_EQ(som_test::read_file(entry.path()), "");
      continue;
    }
    files[name] = som_test::read_file(entry.path());
  }
  return files;
}

// A 4 × 4 map of colours that trains a few epochs from Krok 0.
setup_values colour_setup() {
  return {.map_rows = 4,
          .map_cols = 4,
          .dimension = 3,
          .radius_decay = 2,
          .rate_decay = 20,
          .stop_radius = 4,
          .Krok = 0,
          .seed = 11};
}

// 40 colours, one per line, components separated by one space.
std::vector<std::vector<std::string>> colour_rows() {
  std::vector<std::vector<std::string>> rows;
  std::uint32_t x = 12345;
  for (int i = 0; i < 40; ++i) {
    std::vector<std::string> row;
    for (int j = 0; j < 3; ++j) {
      x = x * 1103515245u + 12345u;
      row.push_back("0." + std::to_string(100 + (x >> 16) % 900));
    }
    rows.push_back(row);
  }
  return rows;
}

std::string join_rows(const std::vector<std::vector<std::string>>& rows, const std::string& between,
                      const std::string& line_end) {
  std::string text;
  for (const auto& row : rows) {
    for (std::size_t j = 0; j < row.size(); ++j) text += (j == 0 ? "" : between) + row[j];
    text += line_end;
  }
  return text;
}

const std::string plain_data = join_rows(colour_rows(), " ", "\n");

std::string refused_line(std::uint64_t line, std::uint32_t dimension) {
  return "Soubor data.txt, radek " + std::to_string(line) + ": vzorek nema dimenzi " +
         std::to_string(dimension) +
         " (cisla s desetinnou teckou, oddelena mezerami), trenovani se neprovede.";
}

struct refusal_case {
  const char* name;
  std::string setup;
  std::string data;
  std::string last_line;
  bool needs_saved_map = false;  // refused only where a saved map is read
};

// The last line of the console, without its line end.
std::string last_line(const std::string& console) {
  std::string text = console;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

TEST(InputRefusal, InputThatWouldTrainAWrongMapChangesNothing) {
  setup_values two_columns = colour_setup();
  two_columns.dimension = 2;
  setup_values four_columns = colour_setup();
  four_columns.dimension = 4;
  setup_values other_shape = colour_setup();
  other_shape.map_cols = 2;
  std::string no_Krok = setup_text(colour_setup());
  no_Krok.erase(no_Krok.find("0\tKrok"), no_Krok.find("11\tSeed") - no_Krok.find("0\tKrok"));
  std::string huge_Krok = setup_text(colour_setup());
  huge_Krok.replace(huge_Krok.find("0\tKrok"), 1, "4294967296");
  std::string negative_seed = setup_text(colour_setup());
  negative_seed.replace(negative_seed.find("11\tSeed"), 2, "-4294967296");
  const std::string setup = setup_text(colour_setup());
  std::vector<std::vector<std::string>> two_column_rows = colour_rows();
  for (auto& row : two_column_rows) row.pop_back();
  const std::string two_column_data = join_rows(two_column_rows, " ", "\n");
  const std::string other_map =
      "Soubor vahy.bin neodpovida velikosti mapy v setup.txt, trenovani se neprovede.";
  const std::string missing = "Soubor setup.txt nema vsech osm hodnot, trenovani se neprovede.";
  const std::string above =
      "Hodnota v souboru setup.txt je vetsi nez 4294967295, trenovani se neprovede.";
  const std::vector<refusal_case> cases = {
      {"title line", setup, "red green blue\n" + plain_data, refused_line(1, 3)},
      {"CSV", setup, join_rows(colour_rows(), ",", "\n"), refused_line(1, 3)},
      {"CSV with a title, CR LF", setup, "r,g,b\r\n" + join_rows(colour_rows(), ",", "\r\n"),
       refused_line(1, 3)},
      {"decimal comma", setup, "0,97 0,04 0,51\n0,5 0,5 0,5\n", refused_line(1, 3)},
      {"semicolons", setup, join_rows(colour_rows(), ";", "\n"), refused_line(1, 3)},
      {"a comment between samples", setup,
       plain_data.substr(0, 60) + "# more below\n" + plain_data.substr(60),
       refused_line(1 + std::count(plain_data.begin(), plain_data.begin() + 60, '\n'), 3)},
      {"a comment after the numbers", setup, "0.5 0.5 0.5 # grey\n" + plain_data,
       refused_line(1, 3)},
      {"dimension smaller than the columns", setup_text(two_columns), plain_data,
       refused_line(1, 2)},
      {"dimension larger than the columns", setup_text(four_columns), plain_data,
       refused_line(1, 4)},
      {"Krok line deleted", no_Krok, plain_data, missing},
      {"Krok above 4294967295", huge_Krok, plain_data, above},
      {"seed below -4294967295", negative_seed, plain_data, above},
      {"map of another shape", setup_text(other_shape), plain_data, other_map, true},
      {"map of another dimension", setup_text(two_columns), two_column_data, other_map, true},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.name);
    // A folder with a saved map (of the colour setup) and its log, and a
    // fresh one: neither may change.
    temp_folder continued;
    continued.write("setup.txt", setup);
    continued.write("data.txt", plain_data);
    ASSERT_EQ(run_program(continued).status, 0);
    continued.write("setup.txt", c.setup);
    continued.write("data.txt", c.data);
    temp_folder fresh;
    fresh.write("setup.txt", c.setup);
    fresh.write("data.txt", c.data);
    for (const temp_folder* folder : {&continued, &fresh}) {
      if (folder == &fresh && c.needs_saved_map) continue;
      SCOPED_TRACE(folder == &fresh ? "fresh" : "continued");
      const auto before = snapshot(*folder);
      const run_result run = run_program(*folder);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(last_line(run.console), c.last_line) << run.console;
      EXPECT_EQ(snapshot(*folder), before);
    }
  }
}

// The outputs of a fresh run on `data`, in a folder of its own.
std::map<std::string, std::string> trained(const std::string& data, const setup_values& setup) {
  temp_folder folder;
  folder.write("setup.txt", setup_text(setup));
  folder.write("data.txt", data);
  const run_result run = run_program(folder);
  EXPECT_EQ(run.status, 0) << run.console;
  auto files = snapshot(folder);
  files.erase("data.txt");
  return files;
}

TEST(InputRefusal, TidyDifferencesTrainTheSameMap) {
  const auto expected = trained(plain_data, colour_setup());
  ASSERT_EQ(expected.size(), 5u);  // setup, the log and the three state files
  std::string spaced;
  for (const auto& row : colour_rows()) spaced += "\n  \t" + row[0] + "\t " + row[1] + "   " + row[2] + " \t";
  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"blank lines and white space", spaced + "\n\n \n"},
      {"CR LF", join_rows(colour_rows(), " ", "\r\n")},
      {"tabs", join_rows(colour_rows(), "\t", "\n")},
      {"a note after the last sample", plain_data + "\nexported from colours.ods, 40 rows\n"},
      {"no line end at the end", plain_data.substr(0, plain_data.size() - 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(trained(c.data, colour_setup()), expected);
  }
}

TEST(InputRefusal, ThreeThousandComponentsTrain) {
  setup_values v = colour_setup();
  v.map_rows = v.map_cols = 2;
  v.dimension = 3000;
  std::string data;
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 3000; ++j) data += (j == 0 ? "" : " ") + std::to_string((i * 7 + j) % 10) + ".5";
    data += "\n";
  }
  const auto files = trained(data, v);
  EXPECT_EQ(std::count(files.at("vystup.txt").begin(), files.at("vystup.txt").end(), '\n'), 5);
  EXPECT_EQ(files.at("vahy.bin").size(), 4u * 3000 * 8);
}

}  // namespace
