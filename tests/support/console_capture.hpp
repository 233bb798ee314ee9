// A console stream for unit tests: everything printed to it, read back.
#pragma once

#include <cstdio>
#include <string>

namespace som_test {

class console_capture {
 public:
  console_capture() : file_(std::tmpfile()) {}
  ~console_capture() {
    if (file_ != nullptr) std::fclose(file_);
  }
  console_capture(const console_capture&) = delete;
  console_capture& operator=(const console_capture&) = delete;

  std::FILE* stream() const { return file_; }

  std::string text() const {
    std::fflush(file_);
    const long end = std::ftell(file_);
    std::string out(static_cast<std::size_t>(end), '\0');
    std::rewind(file_);
    const std::size_t got = std::fread(out.data(), 1, out.size(), file_);
    out.resize(got);
    std::fseek(file_, 0, SEEK_END);
    return out;
  }

 private:
  std::FILE* file_;
};

}  // namespace som_test
