#include "common/input_file.hpp"

#include <cerrno>

#include "common/platform.hpp"

namespace som {

input_file::~input_file() {
  if (file_ != nullptr) std::fclose(file_);
}

bool input_file::open(const char* path) {
  if (file_ != nullptr) std::fclose(file_);
  errno = 0;
  file_ = std::fopen(path, "rb");
  missing_ = file_ == nullptr && errno == ENOENT;
  return file_ != nullptr;
}

bool input_file::is_folder() const { return file_ != nullptr && stream_is_folder(file_); }

bool input_file::read_failed() const { return file_ != nullptr && std::ferror(file_) != 0; }

bool input_file::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  return std::fclose(file) == 0;
}

byte_source input_file::source() {
  byte_source source;
  source.context = file_;
  source.read = [](void* context, char* into, std::size_t size) {
    return std::fread(into, 1, size, static_cast<std::FILE*>(context));
  };
  return source;
}

file_read read_file_pieces(const std::string& path,
                           const std::function<void(const char*, std::size_t)>& take) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return errno == ENOENT ? file_read::absent : file_read::unopenable;
  static constexpr std::size_t piece = std::size_t{1} << 16;
  std::string buffer(piece, '\0');
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, piece, file)) != 0) take(buffer.data(), got);
  const bool read_error = std::ferror(file) != 0;
  const bool closed = std::fclose(file) == 0;
  return read_error ? file_read::read_error : closed ? file_read::done : file_read::close_error;
}

file_read read_whole_file(const std::string& path, std::string& bytes) {
  bytes.clear();
  return read_file_pieces(path,
                          [&](const char* data, std::size_t size) { bytes.append(data, size); });
}

std::string file_read_message(file_read result, std::string_view name) {
  switch (result) {
    case file_read::done: return {};
    case file_read::read_error: return std::string(read_failed_text) + "\n";
    case file_read::close_error: return close_failed_message(name);
    case file_read::absent:
    case file_read::unopenable: break;
  }
  return open_failed_message(name);
}

}  // namespace som
