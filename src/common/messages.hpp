// The words of the programs: every console message of som_train, the
// refusals of the readers of a trained map (som_report, som_map), and those
// that the other programs share with it. No stage prints or ends the
// process: each returns what went wrong (common/failure.hpp), and the
// programs' entry files turn it into these words, print them and choose the
// exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/failure.hpp"
#include "common/file_names.hpp"

namespace som {

// Writes text to a console stream exactly as given (no newline added).
void print(std::FILE* out, std::string_view text);

// Writes text followed by a newline.
void print_line(std::FILE* out, std::string_view text);

// A failure in words, as a line (newline included); empty for none.
std::string message_of(const failure& what);

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

// The refusal of a text file saved in UTF-16, as a line.
std::string utf16_refusal(std::string_view file_name);

// The refusal of a file of samples in data.txt's format (data.txt itself
// by default) whose line `line` is not a sample of `dimension` numbers, as a
// line; `outcome` says what is therefore not done.
std::string misshapen_sample_message(std::uint64_t line, std::uint32_t dimension,
                                     std::string_view file = data_file_name,
                                     std::string_view outcome = "trenovani se neprovede");

// The refusal of a file of labels whose line count is not that of the
// samples, as a line: popisky.txt and data.txt unless others are named
// (som_map's true labels of new samples).
std::string label_count_message(std::uint64_t lines, std::uint32_t samples,
                                std::string_view labels_file = labels_file_name,
                                std::string_view samples_file = data_file_name);

// The echo of one entry of setup.txt, appended to `echo`: "Chybi hodnota v
// souboru!" as a line where the number is missing, then "Precteno <value>"
// with the rest of the entry's line, as a line.
void append_setup_echo(std::string& echo, std::uint32_t value, bool missing, std::string_view rest);

// "Pozor: ulozena mapa skoncila na Kroku <saved>, setup.txt zacina na Kroku
// <setup>.", as a line.
std::string saved_Krok_warning(std::uint32_t saved_Krok, std::uint32_t setup_Krok);

// Said when there is no vahy.bin: the run starts from random weights.
inline constexpr std::string_view random_start_text =
    "Soubor vahy.bin se nepodarilo otevrit. Sit se bude ucit z nahodnych vah.";

// Parameters with which the radius never falls to stop_radius.
inline constexpr std::string_view endless_training_text =
    "Polomer nikdy neklesne na stop_radius, trenovani by neskoncilo!";

// Said before "Hello world!" when a line of the log never reached the file.
inline constexpr std::string_view log_incomplete_text =
    "Zaznam uceni v souboru trenovani.txt je neuplny (zapis selhal).";

// The last line of a complete run.
inline constexpr std::string_view run_done_text = "Hello world!";

inline constexpr std::string_view out_of_memory_text = "Malo pameti!";

// Asked by a program alone in a console window of its own before it ends
// (common/console_window.hpp).
inline constexpr std::string_view close_window_text = "Stisknete Enter pro zavreni okna.";

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

// The refusal of a vahy.bin longer than the map of setup.txt needs.
inline constexpr std::string_view weights_too_long_text =
    "Soubor vahy.bin neodpovida velikosti mapy v setup.txt, trenovani se neprovede.";

// What a reader of a trained map says after a save that was cut off: the
// three files of the saved map may be a mix of the old map and the new one.
inline constexpr std::string_view save_interrupted_text =
    "Ukladani mapy nebylo dokonceno. Spustte som_train, ktery ho dokonci.";

// A setup.txt whose map has no neuron: there is nothing to draw or map on.
inline constexpr std::string_view no_neurons_text = "Mapa v souboru setup.txt nema zadny neuron.";

// Another run holds the folder's lock.
inline constexpr std::string_view run_elsewhere_text =
    "Ve slozce uz bezi jiny beh som_train, trenovani se neprovede.";
// When the lock file was removed during a run and another run has locked
// the new one since: this run's map is not saved.
inline constexpr std::string_view run_lock_lost_text =
    "Ve slozce mezitim zacal jiny beh som_train (nekdo smazal soubor som_train.zamek), mapa "
    "tohoto behu se neulozi.";

}  // namespace som
