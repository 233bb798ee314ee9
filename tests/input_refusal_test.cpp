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
#include <optional>
#include <string>
#include <vector>

#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"
#include "support/utf16_text.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::doubles_le;
using som_test::host_lines;
using som_test::last_line;
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

// The eight echo lines of the setup that a console begins with, and the rest.
std::pair<std::string, std::string> split_echo(const std::string& console) {
  std::size_t at = 0;
  for (int line = 0; line < 8 && at != std::string::npos; ++line) {
    at = console.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos) return {console, ""};
  return {console.substr(0, at), console.substr(at)};
}

// What a new user meets with the files that Windows editors and spreadsheets
// write, and with a Krok that does not fit the saved map. A decimal value in
// setup.txt, a file in UTF-16 and text without a single sample are refused
// (status 1, the folder byte for byte as it was); a UTF-8 byte order mark,
// "3." and "12abc" in setup.txt and a data.txt of blank lines train exactly
// as their plain twins do; a Krok other than the saved map's is a warning
// and changes nothing else.
TEST(InputRefusal, TrapsOfNewUsersAreRefusedOrTrainAsBefore) {
  using file_changes = std::map<std::string, std::optional<std::string>>;  // nullopt: removed
  struct trap_case {
    const char* name;
    bool continued;      // in the folder of a first run (its map saved at Krok 14)
    file_changes files;  // over the colour setup and data
    // The console after the echo (a refused setup.txt: the whole console).
    std::string after;
    int status = 1;
    // Trained: the same run without the trap, whose outputs it must write
    // (and whose echo it prints, unless the echo shows the trap).
    std::optional<file_changes> twin{};
    bool same_echo = true;
  };
  const std::string setup = setup_text(colour_setup());
  const auto with_entry = [&](const std::string& from, const std::string& to) {
    std::string text = setup;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const auto decimal = [](const std::string& entry) {
    return "Hodnota v souboru setup.txt neni cele cislo (" + entry + "), trenovani se neprovede.\n";
  };
  const auto in_utf16 = [](const std::string& name) {
    return "Soubor " + name +
           " je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n";
  };
  const std::string mark(som_test::utf8_mark);
  const std::string crlf_data = join_rows(colour_rows(), " ", "\r\n");
  // An Excel CSV with quoted cells after the README's sed line: no line
  // begins with a number.
  std::string quoted;
  for (const auto& row : colour_rows())
    quoted += "\"" + row[0] + "\" \"" + row[1] + "\" \"" + row[2] + "\"\r\n";
  const std::string random_start =
      "Soubor vahy.bin se nepodarilo otevrit. Sit se bude ucit z nahodnych vah.\nHello world!\n";
  const auto with_Krok = [](std::uint32_t Krok) {
    setup_values v = colour_setup();
    v.Krok = Krok;
    return setup_text(v);
  };
  const std::string warning_0 =
      "Pozor: ulozena mapa skoncila na Kroku 14, setup.txt zacina na Kroku 0.\n";
  const std::vector<trap_case> cases = {
      {"decimal point",
       false,
       {{"setup.txt", with_entry("20\trate", "0.5\trate")}},
       decimal("0.5")},
      {"decimal comma",
       true,
       {{"setup.txt", with_entry("2\tradius", "1,5\tradius")}},
       decimal("1,5")},
      {"negative decimal",
       true,
       {{"setup.txt", with_entry("11\tSeed", "-2.25\tSeed")}},
       decimal("-2.25")},
      {"setup.txt in UTF-16LE",
       true,
       {{"setup.txt", som_test::utf16(setup)}},
       in_utf16("setup.txt")},
      {"setup.txt in UTF-16BE",
       false,
       {{"setup.txt", som_test::utf16(setup, true)}},
       in_utf16("setup.txt")},
      {"setup.txt in UTF-16 without a mark",
       false,
       {{"setup.txt", som_test::utf16(setup, false, false)}},
       in_utf16("setup.txt")},
      {"data.txt in UTF-16LE",
       true,
       {{"data.txt", som_test::utf16(plain_data)}},
       in_utf16("data.txt")},
      {"data.txt in UTF-16 without a mark",
       false,
       {{"data.txt", som_test::utf16(plain_data, false, false)}},
       in_utf16("data.txt")},
      {"quoted cells", true, {{"data.txt", quoted}}, refused_line(1, 3) + "\n"},
      {"a title alone", false, {{"data.txt", "\n\nred green blue\n\n"}}, refused_line(3, 3) + "\n"},

      {"3. in setup.txt",
       false,
       {{"setup.txt", with_entry("4\tstop", "4.\tstop")}},
       random_start,
       0,
       file_changes{},
       false},
      {"12abc in setup.txt",
       false,
       {{"setup.txt", with_entry("20\trate", "20abc\trate")}},
       random_start,
       0,
       file_changes{},
       false},
      {"UTF-8 mark before setup.txt",
       false,
       {{"setup.txt", mark + setup}},
       random_start,
       0,
       file_changes{}},
      {"UTF-8 mark before both, continued",
       true,
       {{"setup.txt", mark + with_Krok(14)}, {"data.txt", mark + crlf_data}},
       "Hello world!\n",
       0,
       file_changes{{"setup.txt", with_Krok(14)}, {"data.txt", crlf_data}}},
      {"blank lines alone",
       false,
       {{"data.txt", "\n \r\n\t\n"}},
       random_start,
       0,
       file_changes{{"data.txt", ""}}},
      {"Krok that fits", true, {{"setup.txt", with_Krok(14)}}, "Hello world!\n", 0},
      {"Krok 0 over the saved map",
       true,
       {},
       warning_0 + "Hello world!\n",
       0,
       file_changes{{"konecne_parametry.txt", std::nullopt}}},
      {"Krok beyond the saved map",
       true,
       {{"setup.txt", with_Krok(20)}},
       "Pozor: ulozena mapa skoncila na Kroku 14, setup.txt zacina na Kroku 20.\nHello world!\n",
       0,
       file_changes{{"setup.txt", with_Krok(20)}, {"konecne_parametry.txt", "Krok\n"}}},
      {"no konecne_parametry.txt",
       true,
       {{"konecne_parametry.txt", std::nullopt}},
       "Hello world!\n",
       0},
      {"konecne_parametry.txt without a number first",
       true,
       {{"konecne_parametry.txt", "Krok\t14\n"}},
       "Hello world!\n",
       0},
  };
  // A folder as a case starts from: the colour setup and data, for a
  // continued case the map of a first run, then the case's files.
  const auto prepare = [&](const temp_folder& folder, bool continued, const file_changes& files) {
    folder.write("setup.txt", setup);
    folder.write("data.txt", plain_data);
    if (continued) {
      ASSERT_EQ(run_program(folder).status, 0);
    }
    for (const auto& [name, content] : files) {
      if (content) {
        folder.write(name, *content);
      } else {
        fs::remove(folder / name);
      }
    }
  };
  // What a run wrote: the folder but its inputs.
  const auto outputs = [](const temp_folder& folder) {
    auto files = snapshot(folder);
    files.erase("setup.txt");
    files.erase("data.txt");
    return files;
  };
  for (const trap_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    prepare(folder, c.continued, c.files);
    const auto before = snapshot(folder);
    const run_result run = run_program(folder);
    EXPECT_EQ(run.status, c.status) << run.console;
    const auto [echo, after] = split_echo(run.console);
    if (c.status != 0) {
      // A setup.txt in UTF-16 is refused before anything of it is echoed.
      const bool before_echo = c.after == in_utf16("setup.txt");
      EXPECT_EQ(before_echo ? run.console : after, host_lines(c.after));
      EXPECT_EQ(snapshot(folder), before);
      if (!c.continued) {
        EXPECT_FALSE(folder.exists("trenovani.txt"));
      }
      continue;
    }
    EXPECT_EQ(after, host_lines(c.after));
    if (!c.twin) continue;
    temp_folder twin;
    prepare(twin, c.continued, *c.twin);
    const run_result twin_run = run_program(twin);
    ASSERT_EQ(twin_run.status, 0) << twin_run.console;
    if (c.same_echo) {
      EXPECT_EQ(echo, split_echo(twin_run.console).first);
    }
    EXPECT_EQ(outputs(folder), outputs(twin));
  }
}

}  // namespace
