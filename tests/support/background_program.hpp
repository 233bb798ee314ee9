// Runs a built program in a folder while the test goes on: start it, look
// whether it still runs, wait for its end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

namespace som_test {

class background_program {
 public:
  // Starts `program` with `arguments` in `folder`; its console goes to a file
  // outside the folder. Throws when it cannot be started.
  background_program(const temp_folder& folder, const std::string& program,
                     const std::vector<std::string>& arguments = {});
  // Ends the program if it still runs (a test that failed half-way).
  ~background_program();
  background_program(const background_program&) = delete;
  background_program& operator=(const background_program&) = delete;

  bool running();
  // Waits for the end; the exit status, or -1 when it did not exit normally.
  int wait();
  std::string console() const;

 private:
  temp_folder capture_;
  std::filesystem::path console_file_;
  bool ended_ = false;
  int status_ = -1;
#ifdef _WIN32
  void* process_ = nullptr;
#else
  long pid_ = -1;
#endif
};

}  // namespace som_test
