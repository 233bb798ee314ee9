#include "common/console_window.hpp"

#include <cstdio>

#include "common/messages.hpp"

namespace som {

bool waits_before_closing(const console_facts& console) {
  return console.processes == 1 && console.input_is_console && console.output_is_console;
}

int finish_console_program(int status) {
  if (waits_before_closing(look_at_console())) {
    print_line(stdout, close_window_text);
    std::fflush(stdout);
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
  }
  return status;
}

}  // namespace som
