// The end of a console program. Started by a double-click in Explorer, a
// program gets a console window of its own that closes as the program ends,
// before anyone can read what it said: there it asks for Enter first.
// Started from cmd, PowerShell or a script (which share their window with
// it), or with its input or output redirected, it ends at once, as it always
// does on other systems.
#pragma once

#include "common/platform.hpp"

namespace som {

// Whether a program in this console waits for Enter before it ends: it alone
// owns the window, and both reads and writes it.
bool waits_before_closing(const console_facts& console);

// The last call of a program's main: returns `status`, after printing
// "Stisknete Enter pro zavreni okna." and waiting for Enter (or the end of
// input) where waits_before_closing says so.
int finish_console_program(int status);

}  // namespace som
