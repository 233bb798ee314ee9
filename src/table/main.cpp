// som_data: run in the folder a map will live in, it turns a table exported
// from a spreadsheet or a statistics package into the files som_train reads
// (data.txt, a suggested setup.txt) and those that say what the components
// are (sloupce.txt, popisky.txt). --version prints the release's version
// (SOM_VERSION, set by the build from the project's version).
#include <cstdio>
#include <string>
#include <vector>

#include "common/console_window.hpp"
#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/platform.hpp"
#include "common/text_format.hpp"
#include "formats/setup_file.hpp"
#include "formats/text_folding.hpp"
#include "som/map/principal_components.hpp"
#include "state/run_lock.hpp"
#include "table/folder_files.hpp"
#include "table/map_suggestion.hpp"
#include "table/scaling.hpp"
#include "table/table_blocks.hpp"
#include "table/table_options.hpp"
#include "table/table_survey.hpp"
#include "table/table_writing.hpp"

namespace {

using som::print;
using som::print_line;

constexpr const char* nothing_written = "Nic se nezapsalo.";
// Per-column lines of the scaling shown on the console; the rest are in
// sloupce.txt.
constexpr std::size_t shown_columns = 20;

int refuse(std::FILE* console, const std::string& message) {
  print(console, message);
  print_line(console, nothing_written);
  return 1;
}

std::string shortest(double value) {
  std::string text;
  som::append_shortest(text, value);
  return text;
}

std::string fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

std::string encoding_text(const som::table_survey& survey) {
  switch (survey.mark) {
    case som::unicode_mark::utf8: return "UTF-8 s BOM";
    case som::unicode_mark::utf16_le: return "UTF-16 LE (prevedeno na UTF-8)";
    case som::unicode_mark::utf16_be: return "UTF-16 BE (prevedeno na UTF-8)";
    case som::unicode_mark::none:
    case som::unicode_mark::utf16_without_mark: break;
  }
  return survey.utf8 ? "UTF-8" : "Windows-1250 (prevedeno na UTF-8)";
}

std::string dialect_text(const som::table_dialect& d) {
  std::string text = "oddelovac ";
  switch (d.separator) {
    case ',': text += "carka"; break;
    case ';': text += "strednik"; break;
    case '\t': text += "tabulator"; break;
    default: text += "mezery"; break;
  }
  text += d.decimal_mark == ',' ? ", desetinna carka" : ", desetinna tecka";
  text += d.line_end == '\r' ? ", konce radku CR" : d.crlf ? ", konce radku CR LF" : ", konce radku LF";
  if (d.quoted) text += ", bunky v uvozovkach";
  text += d.title ? ", prvni radek jsou nazvy sloupcu" : ", bez radku s nazvy (sloupce podle cisel)";
  return text;
}

std::string column_list(const som::table_survey& survey, som::column_role role) {
  std::string text;
  for (std::size_t j = 0; j < survey.columns.size(); ++j) {
    if (survey.columns[j].role != role) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(j + 1) + " " +
            (survey.columns[j].unnamed ? std::string("bez nazvu")
                                       : som::ascii_folded(survey.columns[j].name));
  }
  return text;
}

void print_survey(std::FILE* console, const std::string& table_name,
                  const som::table_survey& survey, const som::table_options& options) {
  print_line(console, "Tabulka " + table_name + ": " + encoding_text(survey) + ", " +
                          dialect_text(survey.dialect) + ".");
  if (survey.damaged_utf16)
    print_line(console, "Pozor: tabulka obsahuje poskozene znaky UTF-16, nahrazene znakem U+FFFD.");
  print_line(console, "Slozky (" + std::to_string(survey.components.size()) +
                          "): " + column_list(survey, som::column_role::component) + ".");
  const std::string labels = column_list(survey, som::column_role::labels);
  if (!labels.empty()) print_line(console, "Popisky: sloupec " + labels + ".");
  const std::string left_out = column_list(survey, som::column_role::left_out);
  if (!left_out.empty()) print_line(console, "Vynechane sloupce: " + left_out + ".");
  if (survey.dialect.row_names)
    print_line(console, "Sloupec 1 nema v prvnim radku nazev a jsou to nazvy radku (jak je pise R); vynechan.");
  std::string rows = "Radku s daty: " + std::to_string(survey.data_rows) + ", vzorku: " +
                     std::to_string(survey.samples);
  if (options.drop_incomplete)
    rows += ", vynechano pro chybejici hodnoty: " + std::to_string(survey.incomplete);
  if (survey.blank_rows != 0) rows += ", prazdnych radku preskoceno: " + std::to_string(survey.blank_rows);
  print_line(console, rows + ".");
  for (std::size_t c = 0; c < survey.components.size(); ++c) {
    const std::size_t j = survey.components[c];
    if (survey.columns[j].unnamed && survey.dialect.title && survey.statistics[c].row_numbers &&
        survey.samples >= 3) {
      print_line(console, "Pozor: sloupec " + std::to_string(j + 1) +
                              " nema nazev a drzi jen cisla radku (" +
                              shortest(survey.statistics[c].minimum) + ", " +
                              shortest(survey.statistics[c].minimum + 1) +
                              ", ...); neni-li to mereni, spustte som_data znovu s --vynechat " +
                              std::to_string(j + 1) + " --prepsat.");
    }
  }
}

void print_scaling(std::FILE* console, const som::table_survey& survey,
                   const som::scaling_choice& scaling, som::scaling_kind kind) {
  switch (kind) {
    case som::scaling_kind::standard:
      print_line(console, "Skalovani z: (x - prumer) / vyberova smerodatna odchylka.");
      break;
    case som::scaling_kind::range:
      print_line(console, "Skalovani 01: (x - minimum) / (maximum - minimum).");
      break;
    case som::scaling_kind::none: print_line(console, "Skalovani ne: hodnoty beze zmeny."); break;
  }
  const std::size_t count = scaling.columns.size();
  for (std::size_t c = 0; c < count && c < shown_columns; ++c) {
    const som::column_scaling& column = scaling.columns[c];
    print_line(console, "  " + som::ascii_folded(column.name) + ": stred " + shortest(column.centre) +
                            ", meritko " + shortest(column.scale));
  }
  if (count > shown_columns)
    print_line(console, "  ... a dalsich " + std::to_string(count - shown_columns) + " v " +
                            som::columns_file_name + ".");
  for (std::size_t c : scaling.without_spread) {
    const std::size_t j = survey.components[c];
    print_line(console, "Pozor: sloupec " + som::column_label(survey.columns, j) +
                            " ma vsechny hodnoty stejne (" + shortest(survey.statistics[c].minimum) +
                            "), meritko zustava 1.");
  }
}

void print_suggestion(std::FILE* console, const som::map_suggestion& map, std::uint64_t samples) {
  const som::setup_params& s = map.setup;
  std::string text = "Navrh mapy: " + std::to_string(s.map_rows) + " x " +
                     std::to_string(s.map_cols) + " neuronu (asi 5 * " + std::to_string(samples) +
                     "^0.54321 = " + std::to_string(map.neurons_wanted) + "; pomer stran " +
                     fixed(map.side_ratio, 2) + " podle dvou hlavnich komponent), radius_decay " +
                     std::to_string(s.radius_decay) + ", rate_decay " +
                     std::to_string(s.rate_decay) + ", stop_radius 1.";
  print_line(console, text);
  const std::uint64_t neurons = std::uint64_t{s.map_rows} * s.map_cols;
  print_line(console, "Trenovani od Kroku 0: " + std::to_string(map.epochs) + " epoch, " +
                          std::to_string(map.sample_steps) + " kroku uceni (" +
                          std::to_string(map.sample_steps / neurons) +
                          " na neuron), posledni rychlost uceni " + fixed(map.last_rate, 4) + ".");
}

// The setup.txt that stays: a note when its dimension is not the data's.
void check_kept_setup(std::FILE* console, std::uint32_t dimension) {
  std::string bytes;
  if (som::read_whole_file(som::setup_file_name, bytes) != som::file_read::done) return;
  som::byte_reader reader(bytes);
  const som::setup_reading setup = som::read_setup(reader);
  print_line(console, std::string(som::setup_file_name) +
                          " uz ve slozce je a zustava beze zmeny (navrh vyse; nahradi ho --prepsat).");
  if (setup.complete && setup.params.dimension != dimension)
    print_line(console, "Pozor: " + std::string(som::setup_file_name) + " ma dimension " +
                            std::to_string(setup.params.dimension) + ", data maji " +
                            std::to_string(dimension) + " slozek: opravte jeho treti radek.");
}

int convert(std::FILE* console, const som::table_options& options, const char* table_path) {
  const std::string table_name = som::ascii_folded(som::argument_as_utf8(table_path));
  // The folder's lock first: no som_train may read or write here meanwhile.
  som::run_lock lock;
  switch (som::try_run_lock(lock)) {
    case som::lock_result::taken: break;
    case som::lock_result::failed:
      return refuse(console, som::open_failed_message(som::run_lock_file_name));
    case som::lock_result::held_elsewhere:
      return refuse(console, "Ve slozce prave bezi som_train (nebo jiny som_data); zkuste to znovu, "
                             "az skonci.\n");
  }
  const som::folder_plan plan = som::plan_folder(options);
  if (!plan.refusal.empty()) return refuse(console, plan.refusal);

  // The first pass: everything checked, the statistics gathered.
  const som::table_split split = som::split_for_threads(options.threads);
  som::table_survey survey;
  {
    som::input_file file;
    if (!file.open(table_path)) return refuse(console, som::open_failed_message(table_name));
    survey = som::survey_table(file.source(), table_name, options, split);
    if (file.read_failed()) return refuse(console, som::read_failed_message(table_name));
    if (!file.close()) return refuse(console, som::close_failed_message(table_name));
  }
  if (!survey.refusal.empty()) return refuse(console, survey.refusal);
  const som::scaling_choice scaling = som::choose_scaling(survey, options.scaling, table_name);
  if (!scaling.refusal.empty()) return refuse(console, scaling.refusal);
  print_survey(console, table_name, survey, options);
  print_scaling(console, survey, scaling, options.scaling);
  std::fflush(console);

  // The second pass writes the samples under temporary names.
  som::folder_outputs outputs(plan);
  const std::string opened = outputs.open();
  if (!opened.empty()) return refuse(console, opened);
  som::table_writing written;
  {
    som::input_file file;
    if (!file.open(table_path)) return refuse(console, som::open_failed_message(table_name));
    som::byte_sink data = som::output_sink(outputs.data());
    som::byte_sink labels_sink;
    if (outputs.labels() != nullptr) labels_sink = som::output_sink(*outputs.labels());
    written = som::write_samples(file.source(), options, survey, scaling, data,
                                 outputs.labels() != nullptr ? &labels_sink : nullptr, split);
    const bool read_failed = file.read_failed();
    file.close();
    if (read_failed) return refuse(console, som::read_failed_message(table_name));
  }
  switch (written.failure) {
    case som::writing_failure::none: break;
    case som::writing_failure::changed:
      return refuse(console, "Tabulka " + table_name +
                                 " se behem cteni zmenila; spustte som_data znovu, az se menit "
                                 "prestane.\n");
    case som::writing_failure::data_sink:
      return refuse(console, som::write_failed_message(som::data_file_name));
    case som::writing_failure::labels_sink:
      return refuse(console, som::write_failed_message(som::labels_file_name));
  }

  // The map's proportions from the scaled data.
  const auto dimension = static_cast<std::uint32_t>(survey.components.size());
  double first = 0.0;
  double second = 0.0;
  if (written.selected >= 2) {
    som::sample_matrix selection;
    selection.block = written.selection.data();
    selection.count = written.selected;
    selection.dimension = dimension;
    const som::principal_plane plane = som::principal_components(selection);
    if (plane.kind == som::plane_kind::principal) {
      first = plane.variance[0];
      second = plane.variance[1];
    }
  }
  const auto samples = static_cast<std::uint32_t>(survey.samples);
  const som::map_suggestion map = som::suggest_map(samples, dimension, first, second);
  print_suggestion(console, map, survey.samples);

  const std::string finished = outputs.finish(scaling.columns, map.setup);
  if (!finished.empty()) return refuse(console, finished);
  if (plan.setup_kept) check_kept_setup(console, dimension);
  if (plan.stale_labels && !plan.labels)
    print_line(console, std::string(som::labels_file_name) +
                            " ze starych dat odstranen (k novym datum nepatril).");
  std::string names;
  for (const std::string& name : outputs.written()) names += (names.empty() ? "" : ", ") + name;
  print_line(console, "Zapsano: " + names + " (" + std::to_string(survey.samples) +
                          " vzorku, dimenze " + std::to_string(dimension) + ").");
  print_line(console, "Dal: spustte som_train, potom som_report.");
  return 0;
}

int data_main(int argc, char** argv) {
  std::FILE* console = stdout;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(som::argument_as_utf8(argv[i]));
  const som::command_line line = som::parse_command_line(arguments);
  switch (line.what) {
    case som::command::help: print(console, som::help_text()); return 0;
    case som::command::version: print_line(console, "som_data " SOM_VERSION); return 0;
    case som::command::refused: print_line(console, line.message); return 1;
    case som::command::convert: break;
  }
  // The table's path as the system gave it (on Windows in its own code page,
  // which the file calls expect).
  return convert(console, line.options, argv[line.table_argument + 1]);
}

}  // namespace

int main(int argc, char** argv) {
  return som::finish_console_program(
      som::with_memory_guard(stdout, [&] { return data_main(argc, argv); }));
}
