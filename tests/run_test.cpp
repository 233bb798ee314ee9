// End-to-end runs of the built program in fresh folders.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

namespace {

using som_test::doubles_le;
using som_test::echo_text;
using som_test::eol;
using som_test::host_lines;
using som_test::read_doubles_le;
using som_test::run_program;
using som_test::run_result;
using som_test::save_leftovers;
using som_test::setup_text;
using som_test::setup_values;
using som_test::temp_folder;

const std::string random_start =
    "Soubor vahy.bin se nepodarilo otevrit. Sit se bude ucit z nahodnych vah.\n";

// The generator's first draws for a seed, as starting weights.
std::vector<double> random_weights(std::uint32_t seed, std::size_t count) {
  std::vector<double> out;
  std::uint32_t state = seed;
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 214013u + 2531011u;
    out.push_back(static_cast<double>((state >> 16) & 0x7FFF) * 0.000030517578125 - 0.5);
  }
  return out;
}

// The lines of a text file, each of which must end with the host's line end.
std::vector<std::string> file_lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(eol, start);
    EXPECT_NE(end, std::string::npos) << "last line without a line end";
    if (end == std::string::npos) break;
    out.push_back(text.substr(start, end - start));
    start = end + eol.size();
  }
  return out;
}

TEST(Run, MissingSetupFile) {
  temp_folder folder;
  folder.write("data.txt", "1 2\n");
  const run_result r = run_program(folder);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, host_lines("Soubor setup.txt se nepodarilo otevrit.\n"));
  for (const char* name : {"vahy.bin", "vystup.txt", "konecne_parametry.txt", "trenovani.txt"}) {
    EXPECT_FALSE(folder.exists(name)) << name;
  }
}

TEST(Run, SetupEdgeCasesOnTheConsole) {
  struct console_case {
    const char* name;
    std::string setup;
    std::string echo;
  };
  const std::vector<console_case> cases = {
      {"blank lines and comments", "\n\n1\trows\n1 cols\n\n1\n0\t\n0\n1\n5\tKrok\n3\tseed\n",
       "Precteno 1\trows\nPrecteno 1 cols\nPrecteno 1\nPrecteno 0\t\nPrecteno 0\nPrecteno 1\n"
       "Precteno 5\tKrok\nPrecteno 3\tseed\n"},
      {"letters after the number, -1", "1abc\n1\n1\n0\n0\n-1\n0\n3\n",
       "Precteno 1abc\nPrecteno 1\nPrecteno 1\nPrecteno 0\nPrecteno 0\nPrecteno 4294967295\n"
       "Precteno 0\nPrecteno 3\n"},
  };
  for (const console_case& c : cases) {
    for (const bool crlf : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : " LF"));
      temp_folder folder;
      std::string setup;
      for (char ch : c.setup) {
        if (ch == '\n' && crlf) setup += '\r';
        setup += ch;
      }
      folder.write("setup.txt", setup);
      folder.write("data.txt", "0.5\n");
      const run_result r = run_program(folder);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.console, host_lines(c.echo + random_start + "Hello world!\n"));
    }
  }
}

TEST(Run, FreshThenContinuedRun) {
  temp_folder folder;
  setup_values v;
  v.map_rows = 3;
  v.map_cols = 4;
  v.dimension = 2;
  v.radius_decay = 2;
  v.rate_decay = 10;
  v.stop_radius = 5;
  v.seed = 0;
  folder.write("setup.txt", setup_text(v));
  folder.write("data.txt", "0.1 0.2\n0.9 0.8\n\n  0.4 0.6\n0.3 0.3\n");

  const run_result fresh = run_program(folder);
  ASSERT_EQ(fresh.status, 0);
  // Eight echo lines, the random-start line and the greeting.
  std::string console = fresh.console;
  const std::size_t seed_line = console.find("Precteno ", console.find("\tKrok"));
  const std::string clock_seed =
      console.substr(seed_line + 9, console.find('\t', seed_line) - seed_line - 9);
  EXPECT_EQ(clock_seed, "0");
  EXPECT_EQ(fresh.console, echo_text(v) + host_lines(random_start + "Hello world!\n"));

  // S = 25; R = 25 / (t/2 + 1) ≤ 5 first at t = 8.
  const std::vector<std::string> params = file_lines(folder.read("konecne_parametry.txt"));
  ASSERT_EQ(params.size(), 3u);
  EXPECT_EQ(params[0], "8\tKrok");
  const std::string seed_text = params[1].substr(0, params[1].find('\t'));
  EXPECT_EQ(params[1], seed_text + "\tSeed for random number generator");
  EXPECT_NE(seed_text, "0");  // the clock's value, not 0
  EXPECT_EQ(folder.read("vahy.bin").size(), 3u * 4u * 2u * 8u);
  std::vector<std::string> log = file_lines(folder.read("trenovani.txt"));
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[0], "Rozdil\tRadius");
  EXPECT_EQ(log[8].substr(log[8].find('\t')), "\t5.000000");
  const std::string weights_after_fresh = folder.read("vahy.bin");

  // Continue: Krok from line 1 of the final parameters; stop a bit lower.
  v.Krok = 8;
  v.stop_radius = 3;  // R ≤ 3 first at t = 15
  folder.write("setup.txt", setup_text(v));
  const run_result continued = run_program(folder);
  ASSERT_EQ(continued.status, 0);
  EXPECT_EQ(continued.console, echo_text(v) + host_lines("Hello world!\n"));
  const std::vector<std::string> params2 = file_lines(folder.read("konecne_parametry.txt"));
  ASSERT_EQ(params2.size(), 3u);
  EXPECT_EQ(params2[0], "15\tKrok");
  // Seed 0 again takes the clock, which may have moved on by a second or so
  // (a run under wine takes a good part of one).
  const std::string seed_text2 = params2[1].substr(0, params2[1].find('\t'));
  EXPECT_EQ(params2[1], seed_text2 + "\tSeed for random number generator");
  const unsigned long seed1 = std::stoul(seed_text);
  const unsigned long seed2 = std::stoul(seed_text2);
  EXPECT_TRUE(seed2 >= seed1 && seed2 - seed1 < 60) << seed1 << " then " << seed2;
  log = file_lines(folder.read("trenovani.txt"));
  ASSERT_EQ(log.size(), 8u);                                  // header and 7 epochs
  EXPECT_EQ(log[1].substr(log[1].find('\t')), "\t4.545455");  // t = 9: 25 / 5.5
  EXPECT_NE(folder.read("vahy.bin"), weights_after_fresh);

  // A fresh start with the recorded seed draws the same starting map: with
  // rate_decay 0 training leaves the weights as drawn.
  temp_folder again;
  setup_values w = v;
  w.Krok = 0;
  w.rate_decay = 0;
  w.seed = static_cast<std::uint32_t>(std::stoul(seed_text));
  again.write("setup.txt", setup_text(w));
  again.write("data.txt", "0.1 0.2\n");
  ASSERT_EQ(run_program(again).status, 0);
  EXPECT_EQ(again.read("vahy.bin"), doubles_le(random_weights(w.seed, 24)));
}

// A schedule run at once and the same schedule split over two runs, the
// second continuing the first's saved map as the README says, end with the
// same saved map to the byte, and their logs are the one log cut in two. The
// map has weights enough for the pool of threads (on a machine of several
// cores), and its last epochs' neighbourhoods are small enough for the
// pruned search, which starts from each sample's previous winner: after the
// split, the one read back from vystup.txt.
TEST(Run, OneRunEqualsTheSameScheduleSplitOverTwo) {
  // 21 × 21 neurons of dimension 10, S = 882 and R = 882 / (t + 1): R ≤ 4
  // first at t = 220, R ≤ 6 first at t = 146.
  const setup_values whole{.map_rows = 21,
                           .map_cols = 21,
                           .dimension = 10,
                           .radius_decay = 1,
                           .rate_decay = 50,
                           .stop_radius = 4,
                           .Krok = 0,
                           .seed = 2026};
  setup_values first_part = whole;
  first_part.stop_radius = 6;
  // 100 samples in four loose clusters.
  std::string data;
  std::uint32_t state = 11;
  for (int s = 0; s < 100; ++s) {
    for (int k = 0; k < 10; ++k) {
      state = state * 1664525u + 1013904223u;
      data += std::to_string(s % 4 * 2 + static_cast<int>(state >> 30)) + "." +
              std::to_string((state >> 12) % 1000) + (k == 9 ? "\n" : " ");
    }
  }

  temp_folder once;
  once.write("data.txt", host_lines(data));
  once.write("setup.txt", setup_text(whole));
  const run_result one = run_program(once);
  ASSERT_EQ(one.status, 0) << one.console;
  ASSERT_EQ(som_test::saved_Krok(once), 220u);

  temp_folder twice;
  twice.write("data.txt", host_lines(data));
  twice.write("setup.txt", setup_text(first_part));
  const run_result first = run_program(twice);
  ASSERT_EQ(first.status, 0) << first.console;
  ASSERT_EQ(som_test::saved_Krok(twice), 146u);
  const std::string first_log = twice.read("trenovani.txt");
  const std::string split_weights = twice.read("vahy.bin");
  const run_result second = som_test::continue_saved_map(twice, whole);
  ASSERT_EQ(second.status, 0) << second.console;
  setup_values continued = whole;
  continued.Krok = 146;
  EXPECT_EQ(second.console, echo_text(continued) + host_lines("Hello world!\n"));

  for (const char* name : som_test::state_file_names) {
    EXPECT_TRUE(twice.read(name) == once.read(name)) << name << " differs";
  }
  EXPECT_NE(split_weights, once.read("vahy.bin")) << "the second run changed nothing";
  const std::string header = host_lines("Rozdil\tRadius\n");
  const std::string second_log = twice.read("trenovani.txt");
  ASSERT_EQ(second_log.substr(0, header.size()), header);
  EXPECT_EQ(first_log + second_log.substr(header.size()), once.read("trenovani.txt"));
}

TEST(Run, WorkedRunFromSavedFiles) {
  temp_folder folder;
  setup_values v;
  v.map_rows = 1;
  v.map_cols = 3;
  v.dimension = 2;
  v.radius_decay = 2;
  v.rate_decay = 4;
  v.stop_radius = 2;
  v.seed = 99;
  folder.write("setup.txt", setup_text(v));
  folder.write("data.txt", "0.1 0.2\n0.9 0.8\n0.4 0.6\n");
  folder.write("vahy.bin", doubles_le({0, 0, 0.5, 0.5, 1, 1}));
  folder.write("vystup.txt", "0\t0\n0\t0\n0\t0\n");
  const run_result r = run_program(folder);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.console, echo_text(v) + host_lines("Hello world!\n"));
  EXPECT_EQ(folder.read("trenovani.txt"),
            host_lines("Rozdil\tRadius\n4\t6.666667\n0\t5.000000\n1\t4.000000\n0\t3.333333\n"
                       "0\t2.857143\n0\t2.500000\n0\t2.222222\n0\t2.000000\n"));
  EXPECT_EQ(folder.read("vystup.txt"), host_lines("0\t0\n0\t2\n0\t1\n"));
  EXPECT_EQ(folder.read("konecne_parametry.txt"),
            host_lines("8\tKrok\n99\tSeed for random number generator\n0\tRozdil\n"));
  EXPECT_EQ(folder.read("vahy.bin"),
            doubles_le({0.28293790429548005, 0.4438194197870965, 0.49536302686079237,
                        0.5806246998090279, 0.5953275244022719, 0.6781117028874605}));
  EXPECT_EQ(save_leftovers({folder.path()}), std::vector<std::string>{});
}

TEST(Run, WeightsFileFormat) {
  temp_folder folder;
  setup_values v;  // 2 × 2 map of dimension 3, nothing moves (rate_decay 0)
  v.dimension = 3;
  v.rate_decay = 0;
  v.radius_decay = 0;
  v.stop_radius = 0;
  folder.write("setup.txt", setup_text(v));
  folder.write("data.txt", "1 1 1\n");
  std::vector<double> w = {0.5, 1.0, 0.5, 1.0, -2.0, 0.25, 0, 0, 0, 3, 3, 3};
  folder.write("vahy.bin", doubles_le(w));
  folder.write("vystup.txt", "0 0");
  ASSERT_EQ(run_program(folder).status, 0);
  const std::string bytes = folder.read("vahy.bin");
  ASSERT_EQ(bytes.size(), 96u);
  EXPECT_EQ(bytes.substr(0, 16), std::string("\x00\x00\x00\x00\x00\x00\xE0\x3F"
                                             "\x00\x00\x00\x00\x00\x00\xF0\x3F",
                                             16));
  EXPECT_EQ(read_doubles_le(bytes), w);
}

TEST(Run, AssignmentFileLayouts) {
  setup_values v;
  v.map_rows = 1;
  v.map_cols = 3;
  v.dimension = 1;
  v.radius_decay = 0;
  v.stop_radius = 0;
  for (const std::string& records :
       {std::string("0 2 0 1 0 0"), std::string("0\t2\n\n\n0 1\r\n0\t0"),
        std::string("0 2\n0 1\n0 0\n5 5\n9 9\n")}) {
    temp_folder folder;
    folder.write("setup.txt", setup_text(v));
    folder.write("data.txt", "0\n1\n2\n");
    folder.write("vahy.bin", doubles_le({0, 1, 2}));
    folder.write("vystup.txt", records);
    ASSERT_EQ(run_program(folder).status, 0);
    // Units (0,0), (0,1), (0,2) against the loaded (0,2), (0,1), (0,0): 4 + 0 + 4.
    EXPECT_EQ(folder.read("konecne_parametry.txt"),
              host_lines("1\tKrok\n7\tSeed for random number generator\n8\tRozdil\n"));
    EXPECT_EQ(folder.read("vystup.txt"), host_lines("0\t0\n0\t1\n0\t2\n"));
  }
}

TEST(Run, DataFileCases) {
  setup_values v;
  v.map_rows = 1;
  v.map_cols = 2;
  v.dimension = 2;
  v.radius_decay = 0;
  v.stop_radius = 0;
  {
    // Blank lines alone: no samples; the files are still written.
    temp_folder folder;
    folder.write("setup.txt", setup_text(v));
    folder.write("data.txt", "\n \t\r\n\n");
    const run_result r = run_program(folder);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(folder.read("vystup.txt"), "");
    EXPECT_EQ(folder.read("trenovani.txt"), host_lines("Rozdil\tRadius\n0\t0.000000\n"));
    // Continuing with no samples opens vystup.txt without reading from it.
    v.Krok = 1;
    folder.write("setup.txt", setup_text(v));
    EXPECT_EQ(run_program(folder).status, 0);
    v.Krok = 0;
  }
}

TEST(Run, MissingDataFile) {
  temp_folder folder;
  folder.write("setup.txt", setup_text(setup_values{}));
  const run_result r = run_program(folder);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console,
            echo_text(setup_values{}) + host_lines("Soubor data.txt se nepodarilo otevrit.\n"));
}

// A save that cannot be completed leaves all three previous files whole: the
// new ones are put in place only once every one of them is complete.
TEST(Run, FailedSavesKeepThePreviousFiles) {
  setup_values v;
  v.map_rows = 1;
  v.map_cols = 2;
  v.dimension = 1;
  v.radius_decay = 0;
  v.stop_radius = 0;
  const std::string weights = doubles_le({0.25, 0.75});
  struct blocked_case {
    const char* blocked;  // a folder stands where this temporary file would go
    std::string message;
  };
  const blocked_case cases[] = {
      {"vystup.txt.tmp", "Soubor vystup.txt se nepodarilo otevrit.\n"},
      {"konecne_parametry.txt.tmp", "Soubor konecne_parametry.txt se nepodarilo otevrit.\n"},
      {"vahy.bin.tmp", "Soubor vahy.bin se nepodarilo otevrit.\n"},
  };
  for (const blocked_case& c : cases) {
    SCOPED_TRACE(c.blocked);
    temp_folder folder;
    folder.write("setup.txt", setup_text(v));
    folder.write("data.txt", "1\n");
    folder.write("vahy.bin", weights);
    folder.write("vystup.txt", "0 0\n");
    folder.write("konecne_parametry.txt", "old\n");
    std::filesystem::create_directory(folder / c.blocked);
    const run_result r = run_program(folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, echo_text(v) + host_lines(c.message));
    EXPECT_EQ(folder.read("vahy.bin"), weights);
    EXPECT_EQ(folder.read("vystup.txt"), "0 0\n");
    EXPECT_EQ(folder.read("konecne_parametry.txt"), "old\n");
  }
}

TEST(Run, RefusedSizesAndSchedules) {
  {
    temp_folder folder;
    setup_values v;
    v.map_rows = v.map_cols = v.dimension = 4294967295u;
    v.stop_radius = 4294967295u;
    folder.write("setup.txt", setup_text(v));
    folder.write("data.txt", "");
    const run_result r = run_program(folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, echo_text(v) + host_lines("Malo pameti!\n"));
    EXPECT_FALSE(folder.exists("trenovani.txt"));
  }
  {
    temp_folder folder;
    setup_values v;
    v.stop_radius = 0;
    v.radius_decay = 10;
    folder.write("setup.txt", setup_text(v));
    const run_result r = run_program(folder);  // not even data.txt is needed
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console,
              echo_text(v) +
                  host_lines("Polomer nikdy neklesne na stop_radius, trenovani by neskoncilo!\n"));
  }
}

}  // namespace
