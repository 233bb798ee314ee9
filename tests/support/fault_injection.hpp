// Faults injected into the programs' system calls by strace (POSIX), and a
// folder's whole content, to compare before and after a run.
#pragma once

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

namespace som_test {

// Whether strace runs here and can tamper with calls (the check scripts
// install it; the tests that need it skip without).
inline bool strace_works() {
#ifdef _WIN32
  return false;
#else
  static const bool works =
      std::system(
          "strace -f -qq -o /dev/null -e inject=getpid:error=EIO:when=1 true 2>/dev/null") == 0;
  return works;
#endif
}

// A shell prefix for run_program: the program under strace, which traces
// the `calls` (a strace syscall set) on the files `paths` (as the program
// names them, or by full path for calls on an open file), writes them to
// `log`, and tampers with them as `inject` says ("error=EIO:when=2"; empty:
// not at all).
inline std::string strace_prefix(const std::string& calls, const std::string& inject,
                                 const std::vector<std::string>& paths,
                                 const std::filesystem::path& log) {
  // LeakSanitizer cannot work under ptrace; the sanitizer build turns it off.
  std::string prefix =
      "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f"
      " --quiet=attach,personality,exit,path-resolution -o '" +
      log.string() + "' -e trace=" + calls;
  if (!inject.empty()) prefix += " -e inject=" + calls + ":" + inject;
  for (const std::string& path : paths) prefix += " -P '" + path + "'";
  return prefix;
}

// The lines of a strace log that are calls ("<pid> <call>(..."), not their
// resumptions or signals.
inline std::vector<std::string> traced_calls(const std::filesystem::path& log) {
  std::vector<std::string> calls;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    const std::size_t call = line.find_first_not_of(' ', line.find(' '));
    if (call != std::string::npos && std::isalpha(static_cast<unsigned char>(line[call]))) {
      calls.push_back(line);
    }
  }
  return calls;
}

// Every entry of a folder by name: a file's bytes, or what else it is.
using folder_contents = std::map<std::string, std::string>;

inline folder_contents read_folder(const std::filesystem::path& folder) {
  folder_contents entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_symlink()) {
      entries[name] = "link to " + std::filesystem::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      entries[name] = read_file(entry.path());
    } else {
      entries[name] = entry.is_directory() ? "a folder" : "a special file";
    }
  }
  return entries;
}

// The names whose entries differ between two looks at a folder (one that
// came or went among them), for a short message when they should not.
inline std::vector<std::string> changed_entries(const folder_contents& before,
                                                const folder_contents& after) {
  std::vector<std::string> changed;
  for (const auto& [name, content] : before) {
    const auto now = after.find(name);
    if (now == after.end() || now->second != content) changed.push_back(name);
  }
  for (const auto& [name, content] : after) {
    if (before.count(name) == 0) changed.push_back(name);
  }
  return changed;
}

}  // namespace som_test
