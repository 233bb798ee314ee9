#include "common/messages.hpp"

namespace som {

void print(std::FILE* out, std::string_view text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
}

void print_line(std::FILE* out, std::string_view text) {
  print(out, text);
  std::fputc('\n', out);
}

namespace {

// "Soubor <name> se nepodarilo <verb>.\n"
std::string file_failed(std::string_view file_name, std::string_view verb) {
  std::string text = "Soubor ";
  text += file_name;
  text += " se nepodarilo ";
  text += verb;
  text += ".\n";
  return text;
}

}  // namespace

std::string open_failed_message(std::string_view file_name) {
  return file_failed(file_name, "otevrit");
}

std::string close_failed_message(std::string_view file_name) {
  return file_failed(file_name, "uzavrit");
}

std::string read_failed_message(std::string_view file_name) {
  return file_failed(file_name, "precist");
}

std::string missing_value_text(std::string_view file_name) {
  std::string text = "Chybi hodnota v souboru ";
  text += file_name;
  text += '!';
  return text;
}

}  // namespace som
