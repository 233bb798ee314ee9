// The program reads and writes numbers with a decimal point whatever the
// locale of its environment: a run under a locale with a decimal comma gives
// exactly the console and files of a run in the C locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

#ifndef _WIN32
#include <locale.h>
#endif

namespace {

using som_test::host_lines;
using som_test::run_program;
using som_test::run_result;
using som_test::temp_folder;

#ifndef _WIN32

constexpr const char* comma_locale = "cs_CZ.UTF-8";

bool locale_available(const char* name) {
  const locale_t loc = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return false;
  ::freelocale(loc);
  return true;
}

struct run_outputs {
  std::string console;
  std::string log;
  std::string assignments;
  std::string parameters;
  std::string weights;
};

// A fresh run and a continued run in a new folder under the given locale.
std::vector<run_outputs> two_runs(const std::string& locale) {
  temp_folder folder;
  const std::string setup =
      "5\tmap_rows\n4\tmap_cols\n3\tdimension\n3\tradius_decay\n"
      "20\trate_decay\n4\tstop_radius\n";
  folder.write("setup.txt", host_lines(setup + "0\tKrok\n11\tseed\n"));
  folder.write("data.txt", host_lines("0.25 -1.5e-1 3.75\n+.5 2.125 -0.0625\n1e-2 4. 0.3333\n"
                                      "7.5E1 -2.5 0.001\n"));
  const std::string prefix = "LC_ALL=" + locale + " LANG=" + locale + " LC_NUMERIC=" + locale;
  std::vector<run_outputs> runs;
  for (int r = 0; r < 2; ++r) {
    const run_result run = run_program(folder, prefix);
    EXPECT_EQ(run.status, 0) << run.console;
    runs.push_back({run.console, folder.read("trenovani.txt"), folder.read("vystup.txt"),
                    folder.read("konecne_parametry.txt"), folder.read("vahy.bin")});
    const std::string Krok = runs.back().parameters.substr(0, runs.back().parameters.find('\t'));
    folder.write("setup.txt", host_lines(setup + Krok + "\tKrok\n11\tseed\n"));
  }
  return runs;
}

TEST(Locale, DecimalCommaLocaleChangesNothing) {
  if (!locale_available(comma_locale)) GTEST_SKIP() << comma_locale << " is not installed";
  const std::vector<run_outputs> plain = two_runs("C");
  const std::vector<run_outputs> comma = two_runs(comma_locale);
  ASSERT_EQ(plain.size(), 2u);
  ASSERT_EQ(comma.size(), 2u);
  for (int r = 0; r < 2; ++r) {
    SCOPED_TRACE(r == 0 ? "fresh run" : "continued run");
    EXPECT_EQ(comma[r].console, plain[r].console);
    EXPECT_EQ(comma[r].log, plain[r].log);
    EXPECT_EQ(comma[r].assignments, plain[r].assignments);
    EXPECT_EQ(comma[r].parameters, plain[r].parameters);
    EXPECT_EQ(comma[r].weights, plain[r].weights);
    // The log's radius is written with a point.
    EXPECT_NE(comma[r].log.find('.'), std::string::npos) << comma[r].log;
    EXPECT_EQ(comma[r].log.find(','), std::string::npos) << comma[r].log;
  }
  // The samples were read as written: the fresh run trained on four of them.
  EXPECT_EQ(std::count(plain[0].assignments.begin(), plain[0].assignments.end(), '\n'), 4);
}

#endif

}  // namespace
