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

}  // namespace som
