#include <cstdio>

#include "common/console_window.hpp"
#include "common/messages.hpp"
#include "run/run_sequence.hpp"

// The program takes no arguments; any that are given are ignored.
int main() {
  return som::finish_console_program(
      som::with_memory_guard(stdout, [] { return som::run_sequence(); }));
}
