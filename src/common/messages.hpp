// Console messages shared by every stage, and the one way a run ends early.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace som {

// Writes text to a console stream exactly as given (no newline added).
void print(std::FILE* out, std::string_view text);

// Writes text followed by a newline.
void print_line(std::FILE* out, std::string_view text);

// "Soubor <name> se nepodarilo otevrit.\n"
std::string open_failed_message(std::string_view file_name);
// "Soubor <name> se nepodarilo uzavrit.\n"
std::string close_failed_message(std::string_view file_name);

inline constexpr std::string_view out_of_memory_text = "Malo pameti!";

// Prints the message on standard output and ends the process with status 1
// through the normal process exit, which flushes and closes open streams.
[[noreturn]] void fatal_exit(std::string_view message);

// Prints "Malo pameti!" as a line and ends the process with status 1.
[[noreturn]] void fatal_out_of_memory();

}  // namespace som
