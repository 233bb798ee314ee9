// Where a console program waits for Enter before its window closes.
#include "common/console_window.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// Only a program alone in a console window of its own, reading and writing
// it, waits: one double-clicked in Explorer. Beside cmd or PowerShell (two
// processes or more), with redirected input or output, or without a console
// at all (POSIX, a service), it ends at once.
TEST(ConsoleWindow, WaitsOnlyInAWindowOfItsOwn) {
  const struct {
    som::console_facts console;
    bool waits;
  } cases[] = {
      {{1, true, true}, true},    {{2, true, true}, false},  {{3, true, true}, false},
      {{0, true, true}, false},   {{1, false, true}, false}, {{1, true, false}, false},
      {{0, false, false}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.console.processes) + " " +
                 std::to_string(c.console.input_is_console) + " " +
                 std::to_string(c.console.output_is_console));
    EXPECT_EQ(som::waits_before_closing(c.console), c.waits);
  }
}

}  // namespace
