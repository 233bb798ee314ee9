// Writing a state file so that a failure or a crash never leaves it cut short:
// the new content goes to a temporary file beside it, which is flushed, forced
// to disk, closed and only then renamed over the old file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace som {

struct output_file {
  std::FILE* file = nullptr;
  std::string name;       // the file being replaced
  std::string temp_name;  // where the new content is written first
  bool write_failed = false;
};

// Opens the temporary file for `name`. Returns false when it cannot be opened.
bool open_output(output_file& out, const char* name);

// Writes bytes; a failure is remembered and reported by the return value.
bool write_output(output_file& out, const void* data, std::size_t size);
inline bool write_output(output_file& out, std::string_view text) {
  return write_output(out, text.data(), text.size());
}

// Flushes, syncs and closes the temporary file and renames it over the old
// one. On failure the temporary file is removed, the old file is left as it
// was, and false is returned.
bool commit_output(output_file& out);

// Closes and removes the temporary file; the old file is left as it was.
void discard_output(output_file& out);

}  // namespace som
