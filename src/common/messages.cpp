#include "common/messages.hpp"

#include "common/file_names.hpp"
#include "common/text_format.hpp"

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

std::string line(std::string_view text) {
  std::string out(text);
  out += '\n';
  return out;
}

// "<what> <file> <why>, trenovani se neprovede.\n": a refusal to train.
std::string refusal(std::string_view what, std::string_view file, std::string_view why) {
  std::string text(what);
  text += ' ';
  text += file;
  text += ' ';
  text += why;
  text += ", trenovani se neprovede.\n";
  return text;
}

// "Soubor vystup.txt ma <more_or_fewer> zaznamu, nez je vzorku v souboru
// data.txt.\n"
std::string records_against_samples(std::string_view file, std::string_view more_or_fewer) {
  return "Soubor " + std::string(file) + " ma " + std::string(more_or_fewer) +
         " zaznamu, nez je vzorku v souboru " + data_file_name + ".\n";
}

}  // namespace

std::string message_of(const failure& what) {
  switch (what.kind) {
    case failure_kind::none: return {};
    case failure_kind::open_failed: return open_failed_message(what.file);
    case failure_kind::close_failed: return close_failed_message(what.file);
    case failure_kind::read_failed: return read_failed_message(what.file);
    case failure_kind::out_of_memory: return line(out_of_memory_text);
    case failure_kind::write_failed: return line(write_failed_text);
    case failure_kind::data_short: return line(read_failed_text);
    case failure_kind::missing_value: return line(missing_value_text(what.file));
    case failure_kind::missing_record: return missing_value_text(what.file);
    case failure_kind::utf16: return utf16_refusal(what.file);
    case failure_kind::setup_incomplete:
      return refusal("Soubor", what.file, "nema vsech osm hodnot");
    case failure_kind::setup_decimal:
      return refusal("Hodnota v souboru", what.file, "neni cele cislo (" + what.detail + ")");
    case failure_kind::setup_above_range:
      return refusal("Hodnota v souboru", what.file, "je vetsi nez 4294967295");
    case failure_kind::weights_too_long: return line(weights_too_long_text);
    case failure_kind::run_elsewhere: return line(run_elsewhere_text);
    case failure_kind::run_lock_lost: return line(run_lock_lost_text);
    case failure_kind::save_interrupted: return line(save_interrupted_text);
    case failure_kind::no_neurons: return line(no_neurons_text);
    case failure_kind::weights_short:
      return "Soubor " + what.file + " je kratsi, nez vyzaduji rozmery mapy v souboru " +
             setup_file_name + ".\n";
    case failure_kind::records_more: return records_against_samples(what.file, "vice");
    case failure_kind::records_fewer: return records_against_samples(what.file, "mene");
    case failure_kind::record_malformed:
      return "Soubor " + what.file + " ma chybny zaznam " + std::to_string(what.figures[0]) + ".\n";
    case failure_kind::record_outside:
      return "Zaznam " + std::to_string(what.figures[0]) + " souboru " + what.file +
             " lezi mimo mapu (radek " + std::to_string(what.figures[1]) + ", sloupec " +
             std::to_string(what.figures[2]) + ").\n";
    case failure_kind::label_count:
      return label_count_message(what.figures[0], static_cast<std::uint32_t>(what.figures[1]),
                                 what.file, what.detail);
    case failure_kind::columns_line:
      return "Soubor " + what.file + " ma chybny radek " + std::to_string(what.figures[0]) +
             (what.figures[0] == 1
                  ? " (ocekava se hlavicka nazev, stred, meritko oddelene tabulatory).\n"
                  : " (ocekava se nazev, stred a nenulove meritko oddelene tabulatory).\n");
    case failure_kind::columns_count:
      return "V souboru " + what.file + " je " + std::to_string(what.figures[0]) +
             " sloupcu, ale vzorky v souboru " + setup_file_name + " maji dimenzi " +
             std::to_string(what.figures[1]) + ".\n";
    case failure_kind::too_many_clusters:
      return "Mapa ma " + std::to_string(what.figures[1]) + " neuronu, do " +
             std::to_string(what.figures[0]) + " shluku ji rozdelit nelze.\n";
  }
  return {};
}

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

std::string utf16_refusal(std::string_view file_name) {
  return "Soubor " + std::string(file_name) +
         " je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n";
}

std::string misshapen_sample_message(std::uint64_t line, std::uint32_t dimension,
                                     std::string_view file, std::string_view outcome) {
  std::string text = "Soubor ";
  text += file;
  text += ", radek ";
  append_u64(text, line);
  text += ": vzorek nema dimenzi ";
  append_u32(text, dimension);
  text += " (cisla s desetinnou teckou, oddelena mezerami), ";
  text += outcome;
  text += ".\n";
  return text;
}

std::string label_count_message(std::uint64_t lines, std::uint32_t samples,
                                std::string_view labels_file, std::string_view samples_file) {
  return "Soubor " + std::string(labels_file) + " ma " + std::to_string(lines) +
         " radku, ale v souboru " + std::string(samples_file) + " je " + std::to_string(samples) +
         " vzorku.\n";
}

void append_setup_echo(std::string& echo, std::uint32_t value, bool missing,
                       std::string_view rest) {
  if (missing) echo += "Chybi hodnota v souboru!\n";
  echo += "Precteno ";
  append_u32(echo, value);
  echo += rest;
  echo += '\n';
}

std::string saved_Krok_warning(std::uint32_t saved_Krok, std::uint32_t setup_Krok) {
  std::string text = "Pozor: ulozena mapa skoncila na Kroku ";
  append_u32(text, saved_Krok);
  text += ", " + std::string(setup_file_name) + " zacina na Kroku ";
  append_u32(text, setup_Krok);
  return text + ".\n";
}

}  // namespace som
