#include <cstdio>

#include "common/console_window.hpp"
#include "common/messages.hpp"
#include "run/run_sequence.hpp"

// som_train_plain: the program with the plain loops, the reference that the
// shipped kernels are measured and checked against.
int main() {
  return som::finish_console_program(som::with_memory_guard(
      stdout, [] { return som::run_sequence(som::plain_engine()); }));
}
