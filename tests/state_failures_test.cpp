// The stages of a run below its entry file say what went wrong as a value
// (which kind, which file) and print nothing; the words are the entry's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/failure.hpp"
#include "common/messages.hpp"
#include "common/platform.hpp"
#include "common/random.hpp"
#include "som/map/map_storage.hpp"
#include "state/run_lock.hpp"
#include "state/state_load.hpp"
#include "state/state_recovery.hpp"
#include "state/state_save.hpp"
#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using som::failure;
using som::failure_kind;
using som_test::temp_folder;

// The stages work in the working folder, as the programs do: a test moves
// into its temporary folder for its scope, and back.
class inside {
 public:
  explicit inside(const temp_folder& folder) : before_(fs::current_path()) {
    fs::current_path(folder.path());
  }
  ~inside() { fs::current_path(before_); }
  inside(const inside&) = delete;
  inside& operator=(const inside&) = delete;

 private:
  fs::path before_;
};

void expect_kind_and_file(const failure& got, failure_kind kind, const std::string& file) {
  EXPECT_EQ(got.kind, kind) << som::message_of(got);
  EXPECT_EQ(got.file, file);
}

TEST(Failures, WordsOfEachKind) {
  failure decimal = failure::of(failure_kind::setup_decimal, "setup.txt");
  decimal.detail = "0,5";
  const struct {
    failure what;
    std::string words;
  } cases[] = {
      {{}, ""},
      {failure::of(failure_kind::open_failed, "vahy.bin", 13),
       "Soubor vahy.bin se nepodarilo otevrit.\n"},
      {failure::of(failure_kind::close_failed, "ukladani.txt"),
       "Soubor ukladani.txt se nepodarilo uzavrit.\n"},
      {failure::of(failure_kind::read_failed, "data.txt", 5),
       "Soubor data.txt se nepodarilo precist.\n"},
      {failure::of(failure_kind::out_of_memory), "Malo pameti!\n"},
      {failure::of(failure_kind::write_failed, "vahy.bin"), "Nepodarila se zapsat data!\n"},
      {failure::of(failure_kind::data_short, "vahy.bin"), "Nepodarila se nacist data!\n"},
      {failure::of(failure_kind::missing_value, "data.txt"), "Chybi hodnota v souboru data.txt!\n"},
      {failure::of(failure_kind::missing_record, "vystup.txt"),
       "Chybi hodnota v souboru vystup.txt!"},
      {failure::of(failure_kind::utf16, "setup.txt"),
       "Soubor setup.txt je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo "
       "ANSI.\n"},
      {failure::of(failure_kind::setup_incomplete, "setup.txt"),
       "Soubor setup.txt nema vsech osm hodnot, trenovani se neprovede.\n"},
      {decimal, "Hodnota v souboru setup.txt neni cele cislo (0,5), trenovani se neprovede.\n"},
      {failure::of(failure_kind::setup_above_range, "setup.txt"),
       "Hodnota v souboru setup.txt je vetsi nez 4294967295, trenovani se neprovede.\n"},
      {failure::of(failure_kind::weights_too_long, "vahy.bin"),
       "Soubor vahy.bin neodpovida velikosti mapy v setup.txt, trenovani se neprovede.\n"},
      {failure::of(failure_kind::run_elsewhere),
       "Ve slozce uz bezi jiny beh som_train, trenovani se neprovede.\n"},
      {failure::of(failure_kind::run_lock_lost),
       "Ve slozce mezitim zacal jiny beh som_train (nekdo smazal soubor som_train.zamek), mapa "
       "tohoto behu se neulozi.\n"},
      // The refusals of the readers of a trained map (som_report, som_map).
      {failure::of(failure_kind::save_interrupted),
       "Ukladani mapy nebylo dokonceno. Spustte som_train, ktery ho dokonci.\n"},
      {failure::of(failure_kind::no_neurons), "Mapa v souboru setup.txt nema zadny neuron.\n"},
      {failure::of(failure_kind::weights_short, "vahy.bin"),
       "Soubor vahy.bin je kratsi, nez vyzaduji rozmery mapy v souboru setup.txt.\n"},
      {failure::of(failure_kind::records_more, "vystup.txt"),
       "Soubor vystup.txt ma vice zaznamu, nez je vzorku v souboru data.txt.\n"},
      {failure::of(failure_kind::records_fewer, "vystup.txt"),
       "Soubor vystup.txt ma mene zaznamu, nez je vzorku v souboru data.txt.\n"},
      {failure::quoting(failure_kind::record_malformed, "vystup.txt", {12}),
       "Soubor vystup.txt ma chybny zaznam 12.\n"},
      {failure::quoting(failure_kind::record_outside, "vystup.txt", {3, 4294967295u, 0}),
       "Zaznam 3 souboru vystup.txt lezi mimo mapu (radek 4294967295, sloupec 0).\n"},
      {failure::quoting(failure_kind::label_count, "nove.txt", {2, 3}, "nova_data.txt"),
       "Soubor nove.txt ma 2 radku, ale v souboru nova_data.txt je 3 vzorku.\n"},
      {failure::quoting(failure_kind::columns_line, "sloupce.txt", {1}),
       "Soubor sloupce.txt ma chybny radek 1 (ocekava se hlavicka nazev, stred, meritko "
       "oddelene tabulatory).\n"},
      {failure::quoting(failure_kind::columns_line, "sloupce.txt", {7}),
       "Soubor sloupce.txt ma chybny radek 7 (ocekava se nazev, stred a nenulove meritko "
       "oddelene tabulatory).\n"},
      {failure::quoting(failure_kind::columns_count, "sloupce.txt", {4, 3}),
       "V souboru sloupce.txt je 4 sloupcu, ale vzorky v souboru setup.txt maji dimenzi 3.\n"},
      {failure::quoting(failure_kind::too_many_clusters, {}, {5, 4}),
       "Mapa ma 4 neuronu, do 5 shluku ji rozdelit nelze.\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(som::message_of(c.what), c.words);
    EXPECT_EQ(static_cast<bool>(c.what), !c.words.empty());
  }
}

// A 2 × 2 map of dimension 1 and two samples.
struct small_run {
  som::owned_grid grid = som::alloc_weight_grid(2, 2, 1, 1);
  som::owned_assignments assignments = som::alloc_assignment_table(2);
  som::random_generator gen;
};

TEST(StateFailures, LoadSavedMap) {
  temp_folder folder;
  inside here(folder);
  small_run run;
  som::seed_random(run.gen, 1);
  som::map_origin origin = som::map_origin::saved;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(som::load_saved_map(*run.grid, *run.assignments, run.gen, origin));
  EXPECT_EQ(origin, som::map_origin::random) << "no vahy.bin: random weights";

  const std::string four_weights(4 * 8, '\0');
  const struct {
    const char* name;
    std::string weights;  // vahy.bin's bytes; "/" for a folder in its place
    std::string assignments;
    failure_kind kind;
    const char* file;
  } cases[] = {
      {"whole map", four_weights, "0\t0\n1\t1\n", failure_kind::none, ""},
      {"folder in place of vahy.bin", "/", "", failure_kind::open_failed, "vahy.bin"},
      {"a byte short", four_weights.substr(1), "", failure_kind::data_short, "vahy.bin"},
      {"a value too many", four_weights + std::string(8, '\0'), "", failure_kind::weights_too_long,
       "vahy.bin"},
      {"a record short", four_weights, "0\t0\n", failure_kind::missing_record, "vystup.txt"},
      {"no vystup.txt", four_weights, "/", failure_kind::open_failed, "vystup.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("vahy.bin");
    fs::remove_all("vystup.txt");
    if (c.weights == "/") {
      fs::create_directory("vahy.bin");
    } else {
      folder.write("vahy.bin", c.weights);
    }
    if (c.assignments != "/") folder.write("vystup.txt", c.assignments);
    origin = som::map_origin::random;
    const failure got = som::load_saved_map(*run.grid, *run.assignments, run.gen, origin);
    expect_kind_and_file(got, c.kind, c.file);
    EXPECT_EQ(origin, got ? som::map_origin::random : som::map_origin::saved);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a stage prints nothing";
}

TEST(StateFailures, SaveRefusedBeforeAnyFileChanges) {
  temp_folder folder;
  inside here(folder);
  small_run run;
  folder.write("vystup.txt", "old");
  fs::create_directory("konecne_parametry.txt");
  testing::internal::CaptureStdout();
  expect_kind_and_file(som::save_state(*run.assignments, 7, 1, 0, *run.grid),
                       failure_kind::open_failed, "konecne_parametry.txt");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(folder.read("vystup.txt"), "old");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"konecne_parametry.txt", "vystup.txt"}))
      << "no temporary file and no record is left";

  fs::remove("konecne_parametry.txt");
  EXPECT_FALSE(som::save_state(*run.assignments, 7, 1, 0, *run.grid));
  EXPECT_EQ(folder.read("konecne_parametry.txt").substr(0, 2), "7\t") << "Krok saved first";
}

TEST(StateFailures, RecoveryNamesTheFileItCannotPutRight) {
  temp_folder folder;
  inside here(folder);
  EXPECT_FALSE(som::recover_state()) << "nothing to recover";
  // A record that cannot be read (a folder has its name) is never taken for
  // no record.
  fs::create_directory("ukladani.txt");
  expect_kind_and_file(som::recover_state(), failure_kind::open_failed, "ukladani.txt");
  fs::remove("ukladani.txt");
  // A record that is no record is removed, with the leftovers of its save.
  folder.write("ukladani.txt", "garbage");
  folder.write("vahy.bin.tmp", "half");
  EXPECT_FALSE(som::recover_state());
  EXPECT_FALSE(folder.exists("ukladani.txt"));
  EXPECT_FALSE(folder.exists("vahy.bin.tmp"));
}

TEST(StateFailures, RunLockHeldOrLost) {
  temp_folder folder;
  inside here(folder);
  som::native_lock other;
  ASSERT_EQ(som::take_file_lock("som_train.zamek", other), som::lock_result::taken);
  som::run_lock refused;
  expect_kind_and_file(som::take_run_lock(refused), failure_kind::run_elsewhere, "");
  som::release_file_lock(other);

  som::run_lock lock;
  ASSERT_FALSE(som::take_run_lock(lock));
  EXPECT_FALSE(som::keep_run_lock(lock)) << "the lock is still on the file at its name";
#ifndef _WIN32
  // Removed meanwhile, and the new file locked by another run: this run's
  // map must not be saved (Windows cannot remove a held lock file).
  fs::remove("som_train.zamek");
  ASSERT_EQ(som::take_file_lock("som_train.zamek", other), som::lock_result::taken);
  expect_kind_and_file(som::keep_run_lock(lock), failure_kind::run_lock_lost, "");
  som::release_file_lock(other);
  EXPECT_FALSE(som::keep_run_lock(lock)) << "the new file is free: it is locked instead";
#endif
  som::release_file_lock(lock.file);
  som::release_file_lock(lock.folder);

  temp_folder blocked;
  inside there(blocked);
  fs::create_directory("som_train.zamek");
  som::run_lock unopened;
  expect_kind_and_file(som::take_run_lock(unopened), failure_kind::open_failed, "som_train.zamek");
}

}  // namespace
