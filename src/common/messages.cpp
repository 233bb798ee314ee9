#include "common/messages.hpp"

#include <cstdlib>

namespace som {

void print(std::FILE* out, std::string_view text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
}

void print_line(std::FILE* out, std::string_view text) {
  print(out, text);
  std::fputc('\n', out);
}

std::string open_failed_message(std::string_view file_name) {
  std::string text = "Soubor ";
  text += file_name;
  text += " se nepodarilo otevrit.\n";
  return text;
}

std::string close_failed_message(std::string_view file_name) {
  std::string text = "Soubor ";
  text += file_name;
  text += " se nepodarilo uzavrit.\n";
  return text;
}

void fatal_exit(std::string_view message) {
  print(stdout, message);
  std::exit(1);
}

void fatal_out_of_memory() {
  print_line(stdout, out_of_memory_text);
  std::exit(1);
}

}  // namespace som
