#include "support/program_runner.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/wait.h>
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

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
  // The console goes to a file outside the working folder, so that the
  // program's view of its folder is exactly what the test put there.
  temp_folder capture;
  const fs::path console_file = capture / "console.txt";
  run_result result;
#ifdef _WIN32
  // No shell in between: the program is started directly, with its standard
  // output (in text mode there, as on a console) going to the capture file.
  (void)shell_prefix;
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  const HANDLE out = ::CreateFileW(console_file.wstring().c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot redirect the console of " + program);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  std::wstring command_line = L"\"" + fs::path(program).make_preferred().wstring() + L"\"";
  PROCESS_INFORMATION process{};
  const BOOL started =
      ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.path().wstring().c_str(), &startup, &process);
  ::CloseHandle(out);
  ::CloseHandle(in);
  if (!started) throw std::runtime_error("cannot start " + program);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  result.status = ::GetExitCodeProcess(process.hProcess, &code) ? static_cast<int>(code) : -1;
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
#else
  const std::string command = "cd '" + folder.path().string() + "' && " +
                              std::string(shell_prefix) + " '" + program + "' > '" +
                              console_file.string() + "' 2>&1";
  const int raw = std::system(command.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  std::error_code ignored;
  if (fs::exists(console_file, ignored)) result.console = read_file(console_file);
  return result;
}

}  // namespace som_test
