#include "support/background_program.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/windows_api.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace som_test {

namespace fs = std::filesystem;

namespace {

// CTest runs the unit tests with SOM_TEST_LABEL=unit (tests/CMakeLists.txt):
// a test that starts a program must be labelled end-to-end instead.
void refuse_in_unit_tests(const std::string& program) {
  const char* label = std::getenv("SOM_TEST_LABEL");
  if (label != nullptr && std::string_view(label) == "unit") {
    throw std::logic_error("a test labelled unit started " + program +
                           ": list its suite among the end-to-end suites of tests/CMakeLists.txt");
  }
}

}  // namespace

#ifdef _WIN32

background_program::background_program(const temp_folder& folder, const std::string& program,
                                       const std::vector<std::string>& arguments)
    : console_file_(capture_ / "console.txt") {
  refuse_in_unit_tests(program);
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  const HANDLE out = ::CreateFileW(console_file_.wstring().c_str(), GENERIC_WRITE,
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
  for (const std::string& argument : arguments) command_line += L" " + fs::path(argument).wstring();
  PROCESS_INFORMATION process{};
  // Under wine on a loaded machine a start now and then fails for a moment
  // (seen once in a full check, where every other start of the same program
  // worked): a few tries, then the error code.
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 4 && !started; ++attempt) {
    if (attempt > 0) ::Sleep(200);
    started = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               folder.path().wstring().c_str(), &startup, &process);
    if (!started) error = ::GetLastError();
  }
  ::CloseHandle(out);
  ::CloseHandle(in);
  if (!started) {
    throw std::runtime_error("cannot start " + program + " (error " + std::to_string(error) +
                             ")");
  }
  ::CloseHandle(process.hThread);
  process_ = process.hProcess;
}

bool background_program::running() {
  if (ended_) return false;
  if (::WaitForSingleObject(static_cast<HANDLE>(process_), 0) == WAIT_TIMEOUT) return true;
  wait();
  return false;
}

int background_program::wait() {
  if (ended_) return status_;
  const HANDLE process = static_cast<HANDLE>(process_);
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  status_ = ::GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
  ::CloseHandle(process);
  ended_ = true;
  return status_;
}

#else

background_program::background_program(const temp_folder& folder, const std::string& program,
                                       const std::vector<std::string>& arguments)
    : console_file_(capture_ / "console.txt") {
  refuse_in_unit_tests(program);
  // Everything the child needs is prepared before the fork: after it, only
  // calls that are safe in a child of a threaded process.
  const std::string folder_path = folder.path().string();
  const std::string console_path = console_file_.string();
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("cannot start " + program);
  if (pid == 0) {
    const int out = ::open(console_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || ::chdir(folder_path.c_str()) != 0 || ::dup2(in, 0) < 0 ||
        ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) {
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  pid_ = pid;
}

bool background_program::running() {
  if (ended_) return false;
  int raw = 0;
  const pid_t got = ::waitpid(static_cast<pid_t>(pid_), &raw, WNOHANG);
  if (got == 0) return true;
  ended_ = true;
  status_ = got > 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return false;
}

int background_program::wait() {
  if (ended_) return status_;
  int raw = 0;
  pid_t got;
  do {
    got = ::waitpid(static_cast<pid_t>(pid_), &raw, 0);
  } while (got < 0 && errno == EINTR);
  ended_ = true;
  status_ = got > 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return status_;
}

#endif

background_program::~background_program() {
  // A test that gave up on the program leaves nothing running behind it.
  if (running()) {
#ifdef _WIN32
    ::TerminateProcess(static_cast<HANDLE>(process_), 1);
#else
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
#endif
  }
  wait();
}

std::string background_program::console() const {
  std::error_code ignored;
  return fs::exists(console_file_, ignored) ? read_file(console_file_) : std::string();
}

}  // namespace som_test
