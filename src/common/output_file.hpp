// Writing a file so that a failure or a crash never leaves it cut short: the
// new content goes to a temporary file beside it (its name with ".tmp"),
// which is forced to disk and closed before it takes the old file's place.
//
// commit_output puts one file in place at once (report.html); the state
// files of a run are put in place together by state/state_save, which uses
// the first steps alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/byte_sink.hpp"
#include "common/platform.hpp"

namespace som {

struct output_file {
  native_file file;
  std::string name;       // the file being replaced
  std::string temp_name;  // where the new content is written first
  bool failed = false;    // a write, sync or close has failed
};

// Creates (or cuts to zero) the temporary file for `name`; it gets
// `permissions` when given. Returns false when it cannot be created.
bool open_output(output_file& out, const std::string& name,
                 unsigned permissions = default_permissions);

// Writes bytes; a failure is remembered and reported by the return value.
bool write_output(output_file& out, const void* data, std::size_t size);
inline bool write_output(output_file& out, std::string_view text) {
  return write_output(out, text.data(), text.size());
}

// A sink that writes into the temporary file.
byte_sink output_sink(output_file& out);

// Forces the temporary file to disk and closes it. False when anything
// written to it failed; the file stays for the caller to remove.
bool close_output(output_file& out);

// Closes the temporary file and renames it over the old one. On failure the
// temporary file is removed, the old file is left as it was, and false is
// returned.
bool commit_output(output_file& out);

// Closes and removes the temporary file; the old file is left as it was.
void discard_output(output_file& out);

}  // namespace som
