// Writing a file so that a failure or a crash never leaves it cut short: the
// new content goes to a temporary file beside it, which is forced to disk
// and closed before it takes the old file's place. The temporary file is
// always created new: whatever had its name (a link to a file elsewhere)
// is never opened, so nothing but the file being replaced ever changes.
//
// Two kinds of temporary name:
//  - the file's name with ".tmp" (open_output), for a file that one process
//    at a time writes (the state files, under the folder's lock, and the
//    training log); what has the name is removed first;
//  - a name of its own (open_private_output), "<name>.<16 hex digits>.tmp",
//    for a file that several programs may write at once (report.html): each
//    writes its own file and renames it, so that none fails because of
//    another and none is ever seen half written.
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
  bool private_name = false;
  bool failed = false;  // a write, sync or close has failed
};

// Creates the temporary file for `name` (name.tmp, anew); it gets
// `permissions` when given. Returns false when it cannot be created.
bool open_output(output_file& out, const std::string& name,
                 unsigned permissions = default_permissions);

// Creates a temporary file of a name of its own beside `name`, where no file
// had that name before. Returns false when it cannot be created.
bool open_private_output(output_file& out, const std::string& name);

// Whether `file_name` (without a folder) is a private temporary name of
// `name`'s (see open_private_output).
bool is_private_temp_name(std::string_view file_name, std::string_view name);

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
// returned. After a private name, the private temporary files of `name`
// that programs killed while writing left behind (last written over an
// hour ago) are removed too.
bool commit_output(output_file& out);

// Closes and removes the temporary file; the old file is left as it was.
void discard_output(output_file& out);

}  // namespace som
