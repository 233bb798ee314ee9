// Fresh folders for the built programs to run in, and a run of a program to
// its end with what it printed (the launcher itself is background_program).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace som_test {

// A new empty folder, removed with everything in it at the end of its scope.
class temp_folder {
 public:
  temp_folder();
  ~temp_folder();
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  void write(std::string_view name, std::string_view content) const;
  std::string read(std::string_view name) const;
  bool exists(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

// The path of `name` in the folder, for the calls that take a string.
inline std::string path_of(const temp_folder& folder, std::string_view name) {
  return (folder / name).string();
}

struct run_result {
  int status = -1;      // exit status, or -1 when the program did not exit normally
  std::string console;  // everything written to standard output
};

// Runs `program` (som_train by default) with `folder` as its working folder.
// `shell_prefix` goes before the command in the POSIX shell (for instance
// "ulimit -f 1;"); it is ignored on Windows.
run_result run_program(const temp_folder& folder, std::string_view shell_prefix = "",
                       const std::string& program = SOM_TRAIN_EXE);

// The line end the host writes in text files and on the console.
#ifdef _WIN32
inline constexpr std::string_view eol = "\r\n";
#else
inline constexpr std::string_view eol = "\n";
#endif

// Replaces every "\n" of a text by the host's line end.
std::string host_lines(std::string_view text);

// Whether `part` is somewhere in `text` (a console, a page).
inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The last line of a console, without its line end (LF or CR LF).
inline std::string last_line(std::string_view console) {
  while (!console.empty() && (console.back() == '\n' || console.back() == '\r'))
    console.remove_suffix(1);
  const std::size_t at = console.rfind('\n');
  return std::string(at == std::string_view::npos ? console : console.substr(at + 1));
}

// The lines of a text (a console, a file), without their line ends (LF or
// CR LF).
inline std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Reads a whole file as bytes.
std::string read_file(const std::filesystem::path& path);
// Reads a file that another program replaces meanwhile (renames a new one
// over it): on Windows the name cannot be opened while the rename runs, so a
// failed open is tried again for up to two seconds before it throws.
std::string read_replaced_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view content);

}  // namespace som_test
