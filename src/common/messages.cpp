#include "common/messages.hpp"

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

std::string missing_value_text(std::string_view file_name) {
  std::string text = "Chybi hodnota v souboru ";
  text += file_name;
  text += '!';
  return text;
}

}  // namespace som
