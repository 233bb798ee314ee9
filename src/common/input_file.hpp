// A file opened for reading: the edge where the parsers' bytes come from a
// file. Opened in binary mode, since the parsers handle line ends
// themselves.
#pragma once

#include <cstdio>

#include "common/byte_reader.hpp"

namespace som {

class input_file {
 public:
  input_file() = default;
  // A file still open is closed (a failure then goes unnoticed: callers that
  // care call close()).
  ~input_file();
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  // False when the file cannot be opened.
  bool open(const char* path);
  // After a failed open: whether the file does not exist, as opposed to one
  // that is there and cannot be opened (permissions, an I/O error).
  bool missing() const { return missing_; }
  // After an open: whether it opened a folder (POSIX opens one for reading).
  bool is_folder() const;
  // False when closing fails.
  bool close();
  // The file's bytes from where it stands, for a byte_reader.
  byte_source source();

 private:
  std::FILE* file_ = nullptr;
  bool missing_ = false;
};

}  // namespace som
