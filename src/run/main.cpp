#include <cstdio>

#include "common/messages.hpp"
#include "run/run_sequence.hpp"

// The program takes no arguments; any that are given are ignored.
int main() {
  return som::with_memory_guard(stdout, [] { return som::run_sequence(); });
}
