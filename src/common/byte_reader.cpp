#include "common/byte_reader.hpp"

#include <cstdlib>
#include <cstring>

#include "common/messages.hpp"

namespace som {

namespace {
constexpr std::size_t initial_capacity = std::size_t{1} << 16;
}

bool open_reader(byte_reader& reader, const char* path) {
  reader = byte_reader{};
  reader.file = std::fopen(path, "rb");
  return reader.file != nullptr;
}

bool close_reader(byte_reader& reader) {
  std::free(reader.data);
  const bool closed = std::fclose(reader.file) == 0;
  reader = byte_reader{};
  return closed;
}

std::size_t reader_fill(byte_reader& reader, std::size_t count) {
  std::size_t available = reader.end - reader.begin;
  if (available >= count || reader.exhausted) return available;
  // Move what is left to the front, growing the buffer when one token is
  // longer than the buffer itself.
  if (reader.capacity < count || reader.capacity < initial_capacity) {
    std::size_t capacity = reader.capacity < initial_capacity ? initial_capacity : reader.capacity;
    while (capacity < count) capacity *= 2;
    char* grown = static_cast<char*>(std::malloc(capacity));
    if (grown == nullptr) fatal_out_of_memory();
    if (available != 0) std::memcpy(grown, reader.data + reader.begin, available);
    std::free(reader.data);
    reader.data = grown;
    reader.capacity = capacity;
  } else if (reader.begin != 0) {
    std::memmove(reader.data, reader.data + reader.begin, available);
  }
  reader.begin = 0;
  reader.end = available;
  while (reader.end < count && !reader.exhausted) {
    const std::size_t got =
        std::fread(reader.data + reader.end, 1, reader.capacity - reader.end, reader.file);
    reader.end += got;
    if (got == 0) reader.exhausted = true;
  }
  return reader.end;
}

}  // namespace som
