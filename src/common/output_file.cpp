#include "common/output_file.hpp"

#include "common/file_names.hpp"

namespace som {

bool open_output(output_file& out, const std::string& name, unsigned permissions) {
  out = output_file{};
  out.name = name;
  out.temp_name = name + temp_suffix;
  return create_file(out.temp_name, permissions, out.file).ok;
}

bool write_output(output_file& out, const void* data, std::size_t size) {
  if (!out.failed && size != 0 && !write_file(out.file, data, size)) out.failed = true;
  return !out.failed;
}

byte_sink output_sink(output_file& out) {
  byte_sink sink;
  sink.context = &out;
  sink.write = [](void* context, const char* data, std::size_t size) {
    return write_output(*static_cast<output_file*>(context), data, size);
  };
  return sink;
}

bool close_output(output_file& out) {
  if (!out.failed && !sync_file(out.file)) out.failed = true;
  if (!close_file(out.file)) out.failed = true;
  return !out.failed;
}

bool commit_output(output_file& out) {
  if (!close_output(out) || !rename_file(out.temp_name, out.name)) {
    remove_file(out.temp_name);
    return false;
  }
  // The new file is in place; a folder that cannot be synced changes
  // nothing about that.
  sync_folder_of(out.name);
  return true;
}

void discard_output(output_file& out) {
  if (out.file.is_open()) close_file(out.file);
  remove_file(out.temp_name);
}

}  // namespace som
