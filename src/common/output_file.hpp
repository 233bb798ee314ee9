// Writing a state file so that a failure or a crash never leaves it cut short:
// the new content goes to a temporary file beside it, which is flushed, forced
// to disk, closed and only then renamed over the old file.
//
// The state files of one run are put in place together: each is finished in
// its temporary file and waits in a pending_outputs set until all of them
// are complete, so that a failure while writing any of them leaves every old
// file as it was, never a new file beside old ones.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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

// Finished temporary files waiting to be put in place, in order.
struct pending_outputs {
  std::vector<output_file> files;
};

// Flushes, syncs and closes the temporary file and adds it to the set. On
// failure the temporary file is removed and false is returned.
bool finish_output(output_file& out, pending_outputs& pending);

// Removes every pending temporary file, prints the message and ends the
// process with status 1 (fatal_exit); the old files stay as they were.
[[noreturn]] void abandon_outputs(pending_outputs& pending, std::string_view message);

// Renames every pending file over its old file, in the order they were
// finished. When one cannot be renamed, the rest are removed and the process
// ends with "Soubor %s se nepodarilo uzavrit.\n" for its name and status 1.
void publish_outputs(pending_outputs& pending);

}  // namespace som
