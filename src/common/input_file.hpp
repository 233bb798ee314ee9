// Files opened for reading: the edge where the parsers' bytes come from a
// file. Opened in binary mode, since the parsers handle line ends
// themselves.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "common/byte_reader.hpp"
#include "common/messages.hpp"

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
  // Whether reading has met an error (which a source reports as the end).
  bool read_failed() const;
  // False when closing fails.
  bool close();
  // The file's bytes from where it stands, for a byte_reader.
  byte_source source();

 private:
  std::FILE* file_ = nullptr;
  bool missing_ = false;
};

// Opens the file `name`, hands a reader of its bytes to `read`, which returns
// the message of its own failure or nothing, and closes the file. Returns
// the message of the first failure: the file cannot be opened, the reader
// ran out of memory, `read`'s own, the file cannot be closed; nothing when
// all went well.
template <typename Read>
std::string read_input_file(const char* name, Read&& read) {
  input_file file;
  if (!file.open(name)) return open_failed_message(name);
  byte_reader reader(file.source());
  std::string message = read(reader);
  if (reader.out_of_memory()) return std::string(out_of_memory_text) + "\n";
  if (!message.empty()) return message;
  if (!file.close()) return close_failed_message(name);
  return {};
}

enum class file_read { done, absent, unopenable, read_error, close_error };

// Hands the whole content of the file to `take`, piece by piece.
file_read read_file_pieces(const std::string& path,
                           const std::function<void(const char*, std::size_t)>& take);

// The whole content of a file (one that fits in memory).
file_read read_whole_file(const std::string& path, std::string& bytes);

// What a program says when reading `name` did not end in done: that it
// cannot be opened (also when it is absent), that its bytes cannot be read,
// or that it cannot be closed.
std::string file_read_message(file_read result, std::string_view name);

}  // namespace som
