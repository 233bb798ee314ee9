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
#include "common/failure.hpp"

namespace som {

class input_file {
 public:
  input_file() = default;
  // A file still open is closed (a failure then goes unnoticed: callers that
  // care call close()).
  ~input_file();
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  // False when the file cannot be opened, or is no regular file (a folder, a
  // FIFO, a device: see open_regular_file).
  bool open(const char* path);
  // After a failed open: whether the file does not exist, as opposed to one
  // that is there and cannot be opened (permissions, an I/O error).
  bool missing() const { return missing_; }
  // Whether a read has failed: for a caller whose parser wraps the source
  // in readers of its own (the table reader of som_data and som_map).
  bool read_failed() const;
  // False when closing fails.
  bool close();
  // The file's bytes from where it stands, for a byte_reader; a read error
  // is source_failed.
  byte_source source();

 private:
  std::FILE* file_ = nullptr;
  bool missing_ = false;
};

// Opens the file `name`, hands a reader of its bytes to `read`, which returns
// its own failure or none, and closes the file. Returns the first failure:
// the file cannot be opened, its bytes cannot be read (whatever `read` made
// of them), the reader ran out of memory, `read`'s own, the file cannot be
// closed; none when all went well.
template <typename Read>
failure read_input_file(const char* name, Read&& read) {
  input_file file;
  if (!file.open(name)) return failure::of(failure_kind::open_failed, name);
  byte_reader reader(file.source());
  failure result = read(reader);
  if (reader.read_failed()) return failure::of(failure_kind::read_failed, name);
  if (reader.out_of_memory()) return failure::of(failure_kind::out_of_memory);
  if (result) return result;
  if (!file.close()) return failure::of(failure_kind::close_failed, name);
  return {};
}

// unopenable also when the name is no regular file (see open_regular_file).
enum class file_read { done, absent, unopenable, read_error, close_error };

// Hands the whole content of the file to `take`, piece by piece; after a
// read_error, what was handed over is not the whole file.
file_read read_file_pieces(const std::string& path,
                           const std::function<void(const char*, std::size_t)>& take);

// The whole content of a file (one that fits in memory; the string is sized
// to the file at once, and std::bad_alloc is thrown when it cannot be).
file_read read_whole_file(const std::string& path, std::string& bytes);

// Reading `name` as a failure: none when done; that it cannot be opened
// (also when it is absent), that its bytes cannot be read, or that it
// cannot be closed.
failure failure_of(file_read result, std::string_view name);
// The same in words.
std::string file_read_message(file_read result, std::string_view name);

}  // namespace som
