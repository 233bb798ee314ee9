#include "common/input_file.hpp"

#include <filesystem>
#include <memory>
#include <system_error>

#include "common/messages.hpp"
#include "common/platform.hpp"

namespace som {

input_file::~input_file() {
  if (file_ != nullptr) std::fclose(file_);
}

bool input_file::open(const char* path) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = open_regular_file(path, missing_);
  return file_ != nullptr;
}

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
    auto* file = static_cast<std::FILE*>(context);
    const std::size_t got = std::fread(into, 1, size, file);
    // A read that failed part-way still counts as failed: what it brought
    // may stop short of the file's end.
    return std::ferror(file) != 0 ? source_failed : got;
  };
  return source;
}

file_read read_file_pieces(const std::string& path,
                           const std::function<void(const char*, std::size_t)>& take) {
  static constexpr std::size_t piece = std::size_t{1} << 16;
  std::string buffer(piece, '\0');
  bool missing = false;
  std::FILE* file = open_regular_file(path, missing);
  if (file == nullptr) return missing ? file_read::absent : file_read::unopenable;
  // Closed also when `take` throws (it runs out of memory).
  struct closer {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
  };
  std::unique_ptr<std::FILE, closer> open_file(file);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, piece, file)) != 0) take(buffer.data(), got);
  const bool read_error = std::ferror(file) != 0;
  const bool closed = std::fclose(open_file.release()) == 0;
  return read_error ? file_read::read_error : closed ? file_read::done : file_read::close_error;
}

file_read read_whole_file(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  // The size is only a hint: the file may change before it is read.
  if (!error && size < bytes.max_size()) bytes.reserve(static_cast<std::size_t>(size));
  return read_file_pieces(path,
                          [&](const char* data, std::size_t size) { bytes.append(data, size); });
}

failure failure_of(file_read result, std::string_view name) {
  switch (result) {
    case file_read::done: return {};
    case file_read::read_error: return failure::of(failure_kind::read_failed, std::string(name));
    case file_read::close_error: return failure::of(failure_kind::close_failed, std::string(name));
    case file_read::absent:
    case file_read::unopenable: break;
  }
  return failure::of(failure_kind::open_failed, std::string(name));
}

std::string file_read_message(file_read result, std::string_view name) {
  return message_of(failure_of(result, name));
}

}  // namespace som
