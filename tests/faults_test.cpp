// Runs of the program that fail on purpose: outputs that cannot be written
// (a folder in the way, a read-only folder or file, a file held open),
// a file-size limit, sizes that cannot be allocated, a schedule that never
// ends, and a saved map or log that does not fit. Each must end with its
// message and status 1 (or die to a signal, where that is the point) and
// leave the saved map of the previous run (vahy.bin, vystup.txt,
// konecne_parametry.txt) byte for byte as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.hpp"
#include "support/saved_state.hpp"
#include "support/setup_text.hpp"
#include "support/windows_api.hpp"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using som_test::echo_text;
using som_test::eol;
using som_test::host_lines;
using som_test::read_saved_state;
using som_test::run_program;
using som_test::run_result;
using som_test::save_leftovers;
using som_test::saved_state;
using som_test::setup_text;
using som_test::setup_values;
using som_test::temp_folder;

// A 16 × 16 map of dimension 8 (vahy.bin of 16384 bytes) that trains one
// epoch per run.
constexpr som_test::one_epoch_map map_setup{16, 16, 8, 7};

std::string data_text(int samples) {
  std::string text;
  for (int s = 0; s < samples; ++s) {
    for (int k = 0; k < 8; ++k) {
      text += std::to_string((s * 37 + k * 11) % 100) + "." + std::to_string(k * 7 % 10);
      text += k == 7 ? "\n" : " ";
    }
  }
  return host_lines(text);
}

// Trains a first run on `samples` samples in the folder and sets up the next
// one to continue it; returns the saved map that the next run starts from.
saved_state saved_map(const temp_folder& folder, int samples = 20) {
  folder.write("setup.txt", setup_text(map_setup(0)));
  folder.write("data.txt", data_text(samples));
  const run_result first = run_program(folder);
  EXPECT_EQ(first.status, 0) << first.console;
  folder.write("setup.txt", setup_text(map_setup(1)));
  const saved_state files = read_saved_state(folder.path());
  EXPECT_EQ(files.size(), 3u);
  EXPECT_EQ(files.at("vahy.bin").size(), 16u * 16u * 8u * 8u);
  return files;
}

void expect_saved_map_kept(const temp_folder& folder, const saved_state& before) {
  for (const auto& [name, bytes] : before) {
    EXPECT_EQ(folder.read(name), bytes) << name << " was changed";
  }
}

void expect_no_leftovers(const temp_folder& folder) {
  EXPECT_EQ(save_leftovers({folder.path()}), std::vector<std::string>{}) << "left behind";
}

// A failed continued run: the echo, then exactly the message, status 1, the
// saved map untouched and none of the save's own files left.
void expect_failure(const temp_folder& folder, const run_result& run, const saved_state& before,
                    const std::string& message) {
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.console, echo_text(map_setup(1)) + host_lines(message));
  expect_saved_map_kept(folder, before);
  expect_no_leftovers(folder);
}

// A name of the saved map taken by a folder is found before anything is
// written, as opening the file for writing would find it.
TEST(Faults, StateFileNameTakenByAFolder) {
  {
    SCOPED_TRACE("konecne_parametry.txt, continuing a map");
    temp_folder folder;
    saved_state before = saved_map(folder);
    before.erase("konecne_parametry.txt");
    fs::remove(folder / "konecne_parametry.txt");
    fs::create_directory(folder / "konecne_parametry.txt");
    folder.write("konecne_parametry.txt/keep", "a folder that is not empty");
    const run_result run = run_program(folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console, echo_text(map_setup(1)) +
                               host_lines("Soubor konecne_parametry.txt se nepodarilo otevrit.\n"));
    expect_saved_map_kept(folder, before);
    expect_no_leftovers(folder);
    EXPECT_TRUE(fs::is_directory(folder / "konecne_parametry.txt"));
  }
  {
    SCOPED_TRACE("vystup.txt, a new map");
    temp_folder folder;
    folder.write("setup.txt", setup_text(map_setup(0)));
    folder.write("data.txt", data_text(5));
    fs::create_directory(folder / "vystup.txt");
    const run_result run = run_program(folder);
    EXPECT_EQ(run.status, 1);
    const std::string ending =
        host_lines("Sit se bude ucit z nahodnych vah.\nSoubor vystup.txt se nepodarilo otevrit.\n");
    ASSERT_GE(run.console.size(), ending.size());
    EXPECT_EQ(run.console.substr(run.console.size() - ending.size()), ending);
    EXPECT_TRUE(fs::is_directory(folder / "vystup.txt"));
    EXPECT_FALSE(folder.exists("vahy.bin"));
    EXPECT_FALSE(folder.exists("konecne_parametry.txt"));
    expect_no_leftovers(folder);
  }
}

// A continued run whose saved map or log does not fit ends before training,
// with the map as it found it.
TEST(Faults, StateThatDoesNotFitEndsBeforeTraining) {
  struct state_case {
    const char* name;
    std::string message;
    void (*change)(const temp_folder& folder, saved_state& map);
  };
  const state_case cases[] = {
      {"vahy.bin one byte short", "Nepodarila se nacist data!\n",
       [](const temp_folder& folder, saved_state& map) {
         map["vahy.bin"].pop_back();
         folder.write("vahy.bin", map["vahy.bin"]);
       }},
      {"no vystup.txt", "Soubor vystup.txt se nepodarilo otevrit.\n",
       [](const temp_folder& folder, saved_state& map) {
         map.erase("vystup.txt");
         fs::remove(folder / "vystup.txt");
       }},
      {"vystup.txt with a record too few", "Chybi hodnota v souboru vystup.txt!",
       [](const temp_folder& folder, saved_state& map) {
         std::string& records = map["vystup.txt"];
         records.erase(records.rfind('\n', records.size() - 2) + 1);
         folder.write("vystup.txt", records);
       }},
      {"text in vystup.txt", "Chybi hodnota v souboru vystup.txt!",
       [](const temp_folder& folder, saved_state& map) {
         std::string& records = map["vystup.txt"];
         records.replace(records.rfind('\t') + 1, 1, "x");
         folder.write("vystup.txt", records);
       }},
      {"trenovani.txt cannot be created", "Soubor trenovani.txt se nepodarilo otevrit.\n",
       [](const temp_folder& folder, saved_state&) {
         fs::remove(folder / "trenovani.txt");
         fs::create_directory(folder / "trenovani.txt");
       }},
  };
  for (const state_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    saved_state before = saved_map(folder);
    c.change(folder, before);
    expect_failure(folder, run_program(folder), before, c.message);
  }
}

TEST(Faults, SizesThatCannotBeAllocated) {
  struct size_case {
    const char* name;
    std::string sizes;  // map_rows, map_cols, dimension lines
  };
  // 4294967295 everywhere overflows any byte count; 2^20 × 2^20 × 2^14
  // doubles are 2^57 bytes, representable but beyond any address space.
  const size_case cases[] = {
      {"all sizes 4294967295", "4294967295\n4294967295\n4294967295\n"},
      {"2^57 bytes of weights", "1048576\n1048576\n16384\n"},
      {"2^32-1 rows of one neuron", "4294967295\n1\n4294967295\n"},
  };
  for (const size_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    const saved_state before = saved_map(folder);
    folder.write("setup.txt", host_lines(c.sizes + "1\n1\n4294967295\n1\n7\n"));
    // No sample: lines of such a dimension could not be written.
    folder.write("data.txt", "");
    const auto start = std::chrono::steady_clock::now();
    // Under AddressSanitizer a failed allocation must come back as a null
    // pointer, as it does without it.
    const run_result run = run_program(
        folder, "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.console.substr(run.console.rfind("Precteno 7") + 10 + eol.size()),
              host_lines("Malo pameti!\n"))
        << run.console;
    EXPECT_LT(seconds, 2.0);
    expect_saved_map_kept(folder, before);
    expect_no_leftovers(folder);
  }
}

TEST(Faults, StopRadiusThatIsNeverReached) {
  temp_folder folder;
  const saved_state before = saved_map(folder);
  // With radius_decay 4294967295 the squared radius never falls below half of
  // 16² + 16² = 512; a stop_radius of 255 is never reached.
  setup_values never = map_setup(1);
  never.radius_decay = 4294967295u;
  never.stop_radius = 255;
  folder.write("setup.txt", setup_text(never));
  const auto start = std::chrono::steady_clock::now();
  const run_result run = run_program(folder);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.console,
            echo_text(never) +
                host_lines("Polomer nikdy neklesne na stop_radius, trenovani by neskoncilo!\n"));
  EXPECT_LT(seconds, 2.0);
  expect_saved_map_kept(folder, before);
  expect_no_leftovers(folder);
}

#ifndef _WIN32
// Root ignores permission bits: the prefix that runs the program as the user
// nobody instead (through setpriv), or "" when that cannot be done.
std::string as_nobody() {
  const std::string prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  const std::string probe = prefix + " test -x '" + std::string(SOM_TRAIN_EXE) + "' 2>/dev/null";
  return std::system(probe.c_str()) == 0 ? prefix : "";
}

#endif

// A map its owner protected (mode 0444, another user's file, in a folder we
// may write to; the read-only attribute on Windows) is not replaced, though a
// rename would need only the folder's permission.
TEST(Faults, ProtectedWeightsFileIsKept) {
  temp_folder folder;
  const saved_state before = saved_map(folder);
  fs::remove(folder / "trenovani.txt");
  std::string prefix;
#ifndef _WIN32
  if (::geteuid() == 0) {
    // As nobody: vahy.bin is root's; the folder and the rest are everyone's.
    prefix = as_nobody();
    if (prefix.empty()) GTEST_SKIP() << "running as root without setpriv";
    fs::permissions(folder.path(), fs::perms::all);
    for (const char* name : {"vystup.txt", "konecne_parametry.txt"}) {
      fs::permissions(folder / name,
                      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::add);
    }
  }
#endif
  fs::permissions(folder / "vahy.bin",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  expect_failure(folder, run_program(folder, prefix), before,
                 "Soubor vahy.bin se nepodarilo otevrit.\n");
  EXPECT_EQ(fs::status(folder / "vahy.bin").permissions() & fs::perms::owner_write,
            fs::perms::none);
}

#ifdef _WIN32

// Another program holds vahy.bin open without letting it be renamed: the
// check passes, but moving the old file aside fails after vystup.txt has
// changed places, and vystup.txt is put back.
TEST(Faults, WeightsFileHeldOpenByAnotherProgram) {
  temp_folder folder;
  const saved_state before = saved_map(folder);
  const HANDLE held = ::CreateFileW((folder / "vahy.bin").wstring().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const run_result run = run_program(folder);
  ::CloseHandle(held);
  expect_failure(folder, run, before, "Soubor vahy.bin se nepodarilo uzavrit.\n");
}

#else

// Runs the program so that it cannot create or change anything in the
// folder: as root, as nobody, for whom the root-owned folder is read-only;
// any other user gets a folder without write permission.
std::string read_only_prefix(const temp_folder& folder) {
  if (::geteuid() == 0) return as_nobody();
  fs::permissions(folder.path(),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  return "";
}

TEST(Faults, ReadOnlyFolder) {
  for (const bool log_writable : {false, true}) {
    SCOPED_TRACE(log_writable ? "trenovani.txt writable" : "nothing writable");
    temp_folder folder;
    const saved_state before = saved_map(folder);
    if (log_writable) {
      fs::permissions(folder / "trenovani.txt",
                      fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                         fs::perms::others_exec));
    }
    const std::string prefix = read_only_prefix(folder);
    if (::geteuid() == 0 && prefix.empty()) GTEST_SKIP() << "running as root without setpriv";
    const std::string old_log = folder.read("trenovani.txt");
    const run_result run = run_program(folder, prefix);
    // The new log is a new file beside the old one: a folder that takes no
    // new file stops the run before training, whatever the old log allows.
    expect_failure(folder, run, before, "Soubor trenovani.txt se nepodarilo otevrit.\n");
    EXPECT_EQ(folder.read("trenovani.txt"), old_log);
  }
}

// With the file-size limit of the shell (in blocks of 512 or 1024 bytes) and
// SIGXFSZ ignored, the write that crosses the limit fails and the program
// reports it; the log and the other outputs of these runs stay under it.
TEST(Faults, FileSizeLimitFailsAWritePartWay) {
  {
    SCOPED_TRACE("vahy.bin (16384 bytes) crosses the limit");
    temp_folder folder;
    const saved_state before = saved_map(folder);
    expect_failure(folder, run_program(folder, "ulimit -f 4; trap '' XFSZ;"), before,
                   "Nepodarila se zapsat data!\n");
  }
  {
    SCOPED_TRACE("vystup.txt of 2000 samples crosses the limit");
    temp_folder folder;
    const saved_state before = saved_map(folder, 2000);
    ASSERT_GT(before.at("vystup.txt").size(), 8192u);
    expect_failure(folder, run_program(folder, "ulimit -f 4; trap '' XFSZ;"), before,
                   "Soubor vystup.txt se nepodarilo uzavrit.\n");
  }
}

// The same limit with SIGXFSZ at its default kills the program in the middle
// of writing vahy.bin. The saved map stays whole, and the next run, without
// the limit, continues it normally.
TEST(Faults, FileSizeLimitKillsTheProcessMidSave) {
  temp_folder folder;
  const saved_state before = saved_map(folder);
  const run_result killed = run_program(folder, "ulimit -f 4;");
  // The shell reports a child ended by a signal as 128 + the signal number.
  EXPECT_TRUE(killed.status == 128 + SIGXFSZ || killed.status == -1)
      << "status " << killed.status << ": the program was not ended by SIGXFSZ";
  EXPECT_EQ(killed.console.find("Hello world!"), std::string::npos);
  expect_saved_map_kept(folder, before);
  EXPECT_TRUE(folder.exists("vahy.bin.tmp")) << "the program did not die while saving vahy.bin";

  const run_result next = run_program(folder);
  EXPECT_EQ(next.status, 0) << next.console;
  EXPECT_EQ(next.console, echo_text(map_setup(1)) + host_lines("Hello world!\n"));
  EXPECT_EQ(folder.read("vahy.bin").size(), before.at("vahy.bin").size());
  expect_no_leftovers(folder);
}

#endif

// Only a vahy.bin that is not there means a fresh map. One that is there but
// cannot be opened (no read permission, an I/O error, a folder in its place)
// ends the run before anything is written, and is never replaced by a map
// from random weights.
TEST(Faults, WeightsFileThatCannotBeOpenedIsKept) {
  struct open_case {
    const char* name;
    // Makes vahy.bin unopenable; returns the prefix of the run, or "skip".
    std::string (*spoil)(const temp_folder& folder);
  };
  const open_case cases[] = {
      {"a folder in its place",
       [](const temp_folder& folder) {
         fs::remove(folder / "vahy.bin");
         fs::create_directory(folder / "vahy.bin");
         return std::string();
       }},
#ifndef _WIN32
      {"no read permission",
       [](const temp_folder& folder) {
         fs::permissions(folder / "vahy.bin", fs::perms::owner_write);
         return ::geteuid() == 0 ? (as_nobody().empty() ? std::string("skip") : as_nobody())
                                 : std::string();
       }},
      {"an I/O error at open",
       [](const temp_folder& folder) {
         const std::string probe =
             "strace -f -qq -o /dev/null -e inject=getpid:error=EIO:when=1 true 2>/dev/null";
         if (std::system(probe.c_str()) != 0) return std::string("skip");
         (void)folder;
         // strace says on its standard error how it resolved the path: a
         // shell function keeps that off the program's console.
         return std::string(
             // LeakSanitizer cannot work under ptrace; the sanitizer build turns it off.
             "quiet() { ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
             " strace -f -qq -o /dev/null -e trace=open,openat"
             " -e inject=open,openat:error=EIO -P vahy.bin \"$@\" 2>/dev/null; }; quiet");
       }},
#endif
  };
  for (const open_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder folder;
    saved_state before = saved_map(folder);
    fs::remove(folder / "trenovani.txt");
    const std::string prefix = c.spoil(folder);
    if (prefix == "skip") continue;
    const bool folder_in_place = fs::is_directory(folder / "vahy.bin");
    if (folder_in_place) before.erase("vahy.bin");
    const run_result run = run_program(folder, prefix);
    if (!folder_in_place)
      fs::permissions(folder / "vahy.bin", fs::perms::owner_read, fs::perm_options::add);
    expect_failure(folder, run, before, "Soubor vahy.bin se nepodarilo otevrit.\n");
    EXPECT_EQ(fs::is_directory(folder / "vahy.bin"), folder_in_place);
    EXPECT_FALSE(folder.exists("trenovani.txt")) << "the run went on to train";
  }
}

#ifndef _WIN32
// A vahy.bin that is a link to a file not made yet is no map: the run starts
// from random weights and saves its map at the link's target.
TEST(Faults, WeightsLinkToNoFileYetIsAFreshMap) {
  temp_folder folder;
  folder.write("setup.txt", setup_text(map_setup(0)));
  folder.write("data.txt", data_text(5));
  fs::create_directory(folder / "store");
  fs::create_symlink("store/map.bin", folder / "vahy.bin");
  const run_result run = run_program(folder);
  EXPECT_EQ(run.status, 0) << run.console;
  EXPECT_NE(run.console.find("Sit se bude ucit z nahodnych vah."), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(folder / "vahy.bin"));
  EXPECT_EQ(folder.read("store/map.bin").size(), 16u * 16u * 8u * 8u);
}
#endif

}  // namespace
