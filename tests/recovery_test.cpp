// The recovery of an interrupted save acts on the three files that the save
// replaces and nothing else: a record ukladani.txt that names other files (a
// path out of the folder, an absolute path), however well it is made, is
// taken for no record, and those files stay as they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "formats/save_record.hpp"
#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::echo_text;
using som_test::host_lines;
using som_test::read_saved_state;
using som_test::run_program;
using som_test::run_result;
using som_test::save_leftovers;
using som_test::setup_text;
using som_test::setup_values;
using som_test::temp_folder;

constexpr som_test::one_epoch_map one_epoch{3, 3, 2, 11};

som::content_digest digest_of(const std::string& bytes) {
  som::content_hasher hasher;
  hasher.add(bytes.data(), bytes.size());
  return hasher.digest();
}

// Files of someone else's, each with the names a save would put beside it.
std::map<std::string, std::string> victim_files() {
  std::map<std::string, std::string> files;
  for (const char* name : {"keep.txt", "notes.txt"}) {
    files[name] = std::string("the user's ") + name;
    files[std::string(name) + ".tmp"] = std::string("the user's own ") + name + ".tmp";
    files[std::string(name) + ".predchozi"] = std::string("an older ") + name;
  }
  return files;
}

TEST(Recovery, RecordNamingOtherFilesTouchesNone) {
  for (const bool forward : {true, false}) {
    SCOPED_TRACE(forward ? "the record says the save took effect" : "the record says it did not");
    temp_folder victim_folder;
    const fs::path victim = victim_folder.path();
    for (const auto& [name, bytes] : victim_files()) victim_folder.write(name, bytes);

    // The folder of a run with a saved map, a save's leftover beside it.
    temp_folder run;
    run.write("data.txt", host_lines("0.1 0.2\n0.7 0.4\n0.9 0.8\n"));
    run.write("setup.txt", setup_text(one_epoch(0)));
    ASSERT_EQ(run_program(run).status, 0);
    run.write("setup.txt", setup_text(one_epoch(1)));
    run.write("vahy.bin.tmp", "left over");

    const std::string notes = fs::absolute(victim / "notes.txt").string();
    const fs::path out_of_folder = fs::relative(victim / "keep.txt", run.path());
    ASSERT_EQ(out_of_folder.string().substr(0, 2), "..");
    som::save_record record;
    // Each entry's "new" content where the recovery of such a record would
    // rename it into place (forward) or remove it as new (back).
    record.files[0] = {out_of_folder.string(), false,
                       digest_of(victim_files()[forward ? "keep.txt.tmp" : "keep.txt"])};
    // konecne_parametry.txt: its "new" content in place, or only beside it.
    record.files[1] = {notes, true,
                       digest_of(victim_files()[forward ? "notes.txt" : "notes.txt.tmp"])};
    record.files[2] = {"vahy.bin", true, digest_of(run.read("vahy.bin"))};
    run.write("ukladani.txt", som::encode_record(record));
    {
      som::save_record decoded;
      ASSERT_TRUE(som::decode_record(run.read("ukladani.txt"), decoded)) << "a record made whole";
    }
    const auto map_before = read_saved_state(run.path());

    // Taken for no record: the leftovers beside the run's own files go, the
    // map is continued, and the files the record named are all still there.
    const run_result result = run_program(run);
    EXPECT_EQ(result.status, 0) << result.console;
    EXPECT_EQ(result.console, echo_text(one_epoch(1)) + host_lines("Hello world!\n"));
    EXPECT_EQ(save_leftovers({run.path()}), std::vector<std::string>{});
    EXPECT_NE(read_saved_state(run.path()), map_before);
    for (const auto& [name, bytes] : victim_files()) {
      ASSERT_TRUE(fs::exists(victim / name)) << name << " was removed";
      EXPECT_EQ(som_test::read_file(victim / name), bytes) << name << " was changed";
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(victim), fs::directory_iterator()), 6);
  }
}

}  // namespace
