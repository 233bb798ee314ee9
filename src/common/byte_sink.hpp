// Where formatted bytes go: a file at the program's edges, or a string in
// memory (for tests and fuzzers, which so check every writer without files).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace som {

// `write` takes all `size` bytes or returns false; after a false the writer
// stops.
struct byte_sink {
  bool (*write)(void* context, const char* data, std::size_t size) = nullptr;
  void* context = nullptr;

  bool put(std::string_view bytes) {
    return bytes.empty() || write(context, bytes.data(), bytes.size());
  }
};

// A sink that appends to `out`, which must outlive it.
inline byte_sink string_sink(std::string& out) {
  byte_sink sink;
  sink.context = &out;
  sink.write = [](void* context, const char* data, std::size_t size) {
    static_cast<std::string*>(context)->append(data, size);
    return true;
  };
  return sink;
}

}  // namespace som
