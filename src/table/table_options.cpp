#include "table/table_options.hpp"

#include <string_view>

#include "table/table_blocks.hpp"

namespace som {

namespace {

// Splits "a,b,c" at its commas (a column name cannot hold one here; name
// such a column by its number).
void add_list(std::vector<std::string>& out, std::string_view list) {
  std::size_t at = 0;
  for (;;) {
    const std::size_t comma = list.find(',', at);
    const std::string_view item = list.substr(at, comma == std::string_view::npos ? list.npos : comma - at);
    if (!item.empty()) out.emplace_back(item);
    if (comma == std::string_view::npos) return;
    at = comma + 1;
  }
}

bool read_separator(std::string_view word, char& separator) {
  if (word == "carka" || word == ",") {
    separator = ',';
  } else if (word == "strednik" || word == ";") {
    separator = ';';
  } else if (word == "tabulator" || word == "tab") {
    separator = '\t';
  } else if (word == "mezery" || word == "mezera") {
    separator = blank_separator;
  } else {
    return false;
  }
  return true;
}

// 1 to most_table_threads.
bool read_threads(std::string_view word, unsigned& threads) {
  if (word.size() != 1 || word[0] < '1' || word[0] > '0' + static_cast<int>(most_table_threads))
    return false;
  threads = static_cast<unsigned>(word[0] - '0');
  return true;
}

}  // namespace

bool read_dialect_option(std::string_view option, std::string_view value,
                         dialect_request& dialect) {
  if (option == "--hlavicka" && (value == "ano" || value == "ne")) {
    dialect.title = value == "ano" ? 1 : 0;
  } else if (option == "--oddelovac" && read_separator(value, dialect.separator)) {
  } else if (option == "--desetinna" && (value == "tecka" || value == "carka")) {
    dialect.decimal_mark = value == "tecka" ? '.' : ',';
  } else {
    return false;
  }
  return true;
}

std::string dialect_conflict(const dialect_request& dialect) {
  if (dialect.separator == ',' && dialect.decimal_mark == ',')
    return "Desetinna carka nejde s oddelovacem carka: zvolte --oddelovac strednik nebo "
           "--desetinna tecka.";
  return {};
}

std::string usage_line() {
  return "Pouziti: som_data TABULKA [--popisky SLOUPEC] [--vynechat SLOUPEC,...] "
         "[--vynechat-neuplne] [--skalovani z|01|ne] [--hlavicka ano|ne] "
         "[--oddelovac carka|strednik|tabulator|mezery] [--desetinna tecka|carka] [--prepsat] "
         "[--vlakna N]";
}

std::string help_text() {
  return usage_line() +
         "\n"
         "\n"
         "Z tabulky (CSV z Excelu, LibreOffice, R, pandas; text oddeleny tabulatory nebo\n"
         "mezerami) zapise do aktualni slozky data.txt, sloupce.txt, popisky.txt (s --popisky)\n"
         "a navrh setup.txt (jen kdyz jeste neni). Potom staci spustit som_train a som_report.\n"
         "\n"
         "  --popisky SLOUPEC      sloupec s popisem vzorku (nazev nebo cislo od 1) do popisky.txt\n"
         "  --vynechat S1,S2,...   sloupce, ktere se nepouziji (cislo radku, id, ...)\n"
         "  --vynechat-neuplne     radky s prazdnou bunkou (prazdna, NA, NaN, ?, -) vynechat\n"
         "  --skalovani z          kazdy sloupec: (x - prumer) / smerodatna odchylka (vychozi)\n"
         "  --skalovani 01         kazdy sloupec: (x - minimum) / (maximum - minimum)\n"
         "  --skalovani ne         hodnoty beze zmeny\n"
         "  --hlavicka ano|ne      prvni radek jsou / nejsou nazvy sloupcu (jinak se pozna sam)\n"
         "  --oddelovac ...        oddelovac bunek (jinak se pozna sam)\n"
         "  --desetinna ...        desetinna tecka nebo carka (jinak se pozna sama)\n"
         "  --prepsat              nahradit soubory, ktere uz ve slozce jsou\n"
         "  --vlakna N             tabulku cte nejvys N vlaken (1 az 8; jinak podle procesoru)\n"
         "  --version              verze programu\n";
}

command_line parse_command_line(const std::vector<std::string>& arguments) {
  command_line out;
  table_options& o = out.options;
  const auto refuse = [&](const std::string& argument) {
    out.what = command::refused;
    out.message = "Neznamy argument " + argument + ". " + usage_line();
    return out;
  };
  bool have_table = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view a = arguments[i];
    const bool has_value = i + 1 < arguments.size();
    const std::string_view value = has_value ? std::string_view(arguments[i + 1]) : "";
    if (a == "--help" || a == "-h" || a == "--napoveda") {
      out.what = command::help;
      return out;
    }
    if (a == "--version") {
      out.what = command::version;
      return out;
    }
    if (a == "--vynechat-neuplne") {
      o.drop_incomplete = true;
    } else if (a == "--prepsat") {
      o.replace = true;
    } else if (a == "--popisky" && has_value && !value.empty() && o.labels.empty()) {
      o.labels = value;
      ++i;
    } else if (a == "--vynechat" && has_value && !value.empty()) {
      add_list(o.left_out, value);
      ++i;
    } else if (a == "--skalovani" && has_value && (value == "z" || value == "01" || value == "ne")) {
      o.scaling = value == "z" ? scaling_kind::standard
                  : value == "01" ? scaling_kind::range
                                  : scaling_kind::none;
      ++i;
    } else if (has_value && read_dialect_option(a, value, o.dialect)) {
      ++i;
    } else if (a == "--vlakna" && has_value && read_threads(value, o.threads)) {
      ++i;
    } else if (!have_table && !a.empty() && a[0] != '-') {
      o.table = a;
      out.table_argument = i;
      have_table = true;
    } else {
      return refuse(std::string(a));
    }
  }
  if (!have_table) {
    out.what = command::refused;
    out.message = "Chybi tabulka. " + usage_line();
    return out;
  }
  out.message = dialect_conflict(o.dialect);
  if (!out.message.empty()) {
    out.what = command::refused;
    return out;
  }
  out.what = command::convert;
  return out;
}

}  // namespace som
