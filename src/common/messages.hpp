// Console messages shared by every stage. No stage ends the process: each
// returns what went wrong, and the two programs' entry files print it and
// choose the exit status.
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

// "Chybi hodnota v souboru <name>!", without a newline: a number that a
// file must hold is not there.
std::string missing_value_text(std::string_view file_name);

inline constexpr std::string_view out_of_memory_text = "Malo pameti!";

// A binary value could not be written.
inline constexpr std::string_view write_failed_text = "Nepodarila se zapsat data!";

// A file's bytes could not be read (an I/O error), or a file ends before a
// binary value is whole.
inline constexpr std::string_view read_failed_text = "Nepodarila se nacist data!";

}  // namespace som
