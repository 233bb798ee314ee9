#include "common/console_window.hpp"
#include "run/run_sequence.hpp"

// The program takes no arguments; any that are given are ignored.
int main() { return som::finish_console_program(som::run_sequence()); }
