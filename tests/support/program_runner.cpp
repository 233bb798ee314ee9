#include "support/program_runner.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/background_program.hpp"
#include "support/windows_api.hpp"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace som_test {

namespace fs = std::filesystem;

temp_folder::temp_folder() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
  const long process = static_cast<long>(::GetCurrentProcessId());
#else
  const long process = static_cast<long>(::getpid());
#endif
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "som_test_" << process << "_" << stamp << "_" << counter++;
    fs::path candidate = fs::temp_directory_path() / name.str();
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

temp_folder::~temp_folder() {
  std::error_code ignored;
  // A test may have made the folder read-only; make it writable again first.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void temp_folder::write(std::string_view name, std::string_view content) const {
  write_file(path_ / name, content);
}

std::string temp_folder::read(std::string_view name) const { return read_file(path_ / name); }

bool temp_folder::exists(std::string_view name) const { return fs::exists(path_ / name); }

namespace {

// The whole file in one copy of the stream's buffer, not a character at a
// time: the tests' code is built without optimisation, and on Windows a
// file held open for reading cannot be replaced, so a slow reader would
// keep a program's rename out (three reports side by side saw it).
std::string whole_stream(std::ifstream& in) {
  std::ostringstream bytes;
  if (in.peek() != std::ifstream::traits_type::eof()) bytes << in.rdbuf();
  return std::move(bytes).str();
}

}  // namespace

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return whole_stream(in);
}

std::string read_replaced_file(const fs::path& path) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    std::ifstream in(path, std::ios::binary);
    if (in) return whole_stream(in);
    if (std::chrono::steady_clock::now() > give_up)
      throw std::runtime_error("cannot read " + path.string());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void write_file(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string host_lines(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += eol;
    } else {
      out += c;
    }
  }
  return out;
}

run_result run_program(const temp_folder& folder, std::string_view shell_prefix,
                       const std::string& program) {
  run_result result;
#ifdef _WIN32
  // No shell in between: the program is started directly.
  (void)shell_prefix;
  background_program run(folder, program);
#else
  // The shell stays to the end (the `exit` after the program), so that a
  // program ended by a signal shows as the shell's status 128 + signal.
  background_program run(folder, "/bin/sh",
                         {"-c", std::string(shell_prefix) + " '" + program + "'; exit $?"});
#endif
  result.status = run.wait();
  result.console = run.console();
  return result;
}

}  // namespace som_test
