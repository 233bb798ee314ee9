// The bundled example (examples/colors, fixed seed 2026) must give the same
// results on every platform: the same vahy.bin bytes, and the same text in
// every text file and on the console, line ends apart. The reference outputs
// under tests/data/colors were made by the Linux build and are stored with LF
// line ends; each platform's run is compared with them after its own line
// ends have been checked to be the host's.
//
// To remake the reference (only when the program's results are meant to
// change), run the Linux build's som_train in a copy of examples/colors
// (first run), then again with entry 7 (Krok) of setup.txt set to 7000 and
// setup.txt and data.txt in CR LF (second run), keeping the console output
// of each run as console.txt.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "support/program_runner.hpp"

namespace {

namespace fs = std::filesystem;
using som_test::eol;
using som_test::read_file;
using som_test::temp_folder;

const fs::path source_dir = SOM_SOURCE_DIR;
const fs::path example_dir = source_dir / "examples" / "colors";
const fs::path reference_dir = source_dir / "tests" / "data" / "colors";

// The text with every line end (CR LF or LF) made `line_end`.
std::string with_line_ends(std::string_view text, std::string_view line_end) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') {
      out += line_end;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Checks that every line of `actual` ends with the host's line end and that,
// with line ends set aside, it is the reference text line for line.
void expect_host_text(const std::string& actual, const std::string& reference,
                      const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(reference.find('\r'), std::string::npos) << "the reference must have LF line ends";
  ASSERT_FALSE(actual.empty());
  EXPECT_EQ(actual.substr(actual.size() - eol.size()), eol) << "last line end";
  std::size_t bad_line_ends = 0;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != '\n') continue;
    const bool crlf = i > 0 && actual[i - 1] == '\r';
    if (crlf != (eol == "\r\n")) ++bad_line_ends;
  }
  EXPECT_EQ(bad_line_ends, 0u) << "lines not ending with the host's line end";

  const std::vector<std::string> got = split_lines(with_line_ends(actual, "\n"));
  const std::vector<std::string> want = split_lines(reference);
  EXPECT_EQ(got.size(), want.size()) << "number of lines";
  for (std::size_t i = 0; i < got.size() && i < want.size(); ++i) {
    if (got[i] != want[i]) {
      ADD_FAILURE() << "line " << i + 1 << " is \"" << got[i] << "\", expected \"" << want[i]
                    << "\"";
      break;
    }
  }
}

// Runs the program in `folder` and compares everything it printed and wrote
// with the reference files whose names start with `prefix`.
void run_and_compare(const temp_folder& folder, const std::string& prefix) {
  const som_test::run_result run = som_test::run_program(folder);
  EXPECT_EQ(run.status, 0) << run.console;
  expect_host_text(run.console, read_file(reference_dir / (prefix + "console.txt")),
                   prefix + "console");
  for (const char* name : {"trenovani.txt", "vystup.txt", "konecne_parametry.txt"}) {
    ASSERT_TRUE(folder.exists(name)) << name;
    expect_host_text(folder.read(name), read_file(reference_dir / (prefix + name)), prefix + name);
  }
  ASSERT_TRUE(folder.exists("vahy.bin"));
  EXPECT_TRUE(folder.read("vahy.bin") == read_file(reference_dir / (prefix + "vahy.bin")))
      << prefix << "vahy.bin differs from the reference";
  EXPECT_FALSE(folder.exists("vahy.bin.tmp"));
}

// A first run with LF inputs, then a run that continues the saved map (and
// so reads vahy.bin and the host's vystup.txt) from inputs with CR LF line
// ends, replacing the state files that the first run left.
TEST(PlatformExample, ColorsGiveTheReferenceResultsOnThisHost) {
  temp_folder folder;
  const std::string setup = with_line_ends(read_file(example_dir / "setup.txt"), "\n");
  const std::string data = with_line_ends(read_file(example_dir / "data.txt"), "\n");
  folder.write("setup.txt", setup);
  folder.write("data.txt", data);
  {
    SCOPED_TRACE("first run");
    run_and_compare(folder, "run1_");
  }

  // Entry 7 (Krok) goes back to 7000, so the second run trains the last 150
  // epochs of the first run's schedule again, from the first run's map (and
  // warns that the map was saved at Krok 7150).
  std::vector<std::string> lines = split_lines(setup);
  ASSERT_GE(lines.size(), 8u);
  ASSERT_EQ(lines[6].substr(0, 2), "0\t");
  lines[6] = "7000" + lines[6].substr(1);
  std::string continued;
  for (const std::string& line : lines) continued += line + "\r\n";
  folder.write("setup.txt", continued);
  folder.write("data.txt", with_line_ends(data, "\r\n"));
  {
    SCOPED_TRACE("second run");
    run_and_compare(folder, "run2_");
  }
}

}  // namespace
