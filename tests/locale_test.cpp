// The program reads and writes numbers with a decimal point whatever the
// locale of its environment: a run under a locale with a decimal comma gives
// exactly the console and files of a run in the C locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

#ifndef _WIN32
#include <locale.h>
#endif

namespace {

using som_test::continue_saved_map;
using som_test::host_lines;
using som_test::run_program;
using som_test::run_result;
using som_test::setup_text;
using som_test::setup_values;
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
  const setup_values setup{.map_rows = 5,
                           .map_cols = 4,
                           .dimension = 3,
                           .radius_decay = 3,
                           .rate_decay = 20,
                           .stop_radius = 4,
                           .Krok = 0,
                           .seed = 11};
  folder.write("setup.txt", setup_text(setup));
  folder.write("data.txt", host_lines("0.25 -1.5e-1 3.75\n+.5 2.125 -0.0625\n1e-2 4. 0.3333\n"
                                      "7.5E1 -2.5 0.001\n"));
  const std::string prefix = "LC_ALL=" + locale + " LANG=" + locale + " LC_NUMERIC=" + locale;
  std::vector<run_outputs> runs;
  for (int r = 0; r < 2; ++r) {
    const run_result run =
        r == 0 ? run_program(folder, prefix) : continue_saved_map(folder, setup, prefix);
    EXPECT_EQ(run.status, 0) << run.console;
    runs.push_back({run.console, folder.read("trenovani.txt"), folder.read("vystup.txt"),
                    folder.read("konecne_parametry.txt"), folder.read("vahy.bin")});
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
