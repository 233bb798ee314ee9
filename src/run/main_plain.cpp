#include "common/console_window.hpp"
#include "run/run_sequence.hpp"

// som_train_plain: the program with the plain loops, the reference that the
// shipped kernels are measured and checked against.
int main() { return som::finish_console_program(som::run_sequence(som::plain_engine())); }
