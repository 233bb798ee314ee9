// Console messages shared by every stage. No stage ends the process: each
// returns what went wrong, and the two programs' entry files print it and
// choose the exit status.
#pragma once

#include <cstdio>
#include <new>
#include <stdexcept>
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
// "Soubor <name> se nepodarilo precist.\n": reading its bytes failed (an I/O
// error), which never counts as the end of the file.
std::string read_failed_message(std::string_view file_name);

// "Chybi hodnota v souboru <name>!", without a newline: a number that a
// file must hold is not there.
std::string missing_value_text(std::string_view file_name);

inline constexpr std::string_view out_of_memory_text = "Malo pameti!";

// Runs a program's body and gives its exit status; when memory runs out
// anywhere in it (the standard library's containers throw), says "Malo
// pameti!" instead and gives 1: no program ends by an uncaught exception.
template <typename Body>
int with_memory_guard(std::FILE* console, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
    // A size beyond what a container can hold: memory it cannot have.
  }
  print_line(console, out_of_memory_text);
  return 1;
}

// A binary value could not be written.
inline constexpr std::string_view write_failed_text = "Nepodarila se zapsat data!";

// A file ends before a binary value is whole.
inline constexpr std::string_view read_failed_text = "Nepodarila se nacist data!";

}  // namespace som
