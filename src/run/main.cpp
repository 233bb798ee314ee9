#include "run/run_sequence.hpp"

// The program takes no arguments; any that are given are ignored.
int main() { return som::run_sequence(); }
