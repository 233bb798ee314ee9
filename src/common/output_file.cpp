#include "common/output_file.hpp"

#include "common/messages.hpp"
#include "common/platform.hpp"

namespace som {

bool open_output(output_file& out, const char* name) {
  out = output_file{};
  out.name = name;
  out.temp_name = out.name + ".tmp";
  out.file = std::fopen(out.temp_name.c_str(), "wb");
  return out.file != nullptr;
}

bool write_output(output_file& out, const void* data, std::size_t size) {
  if (size != 0 && std::fwrite(data, 1, size, out.file) != size) out.write_failed = true;
  return !out.write_failed;
}

namespace {

// Flushes, syncs and closes the temporary file; removes it on failure.
bool close_temporary(output_file& out) {
  bool ok = !out.write_failed && std::fflush(out.file) == 0 && std::ferror(out.file) == 0 &&
            sync_file(out.file);
  ok = std::fclose(out.file) == 0 && ok;
  out.file = nullptr;
  if (!ok) std::remove(out.temp_name.c_str());
  return ok;
}

}  // namespace

bool commit_output(output_file& out) {
  if (!close_temporary(out)) return false;
  const bool ok = replace_file(out.temp_name.c_str(), out.name.c_str());
  if (!ok) std::remove(out.temp_name.c_str());
  return ok;
}

void discard_output(output_file& out) {
  if (out.file != nullptr) std::fclose(out.file);
  out.file = nullptr;
  std::remove(out.temp_name.c_str());
}

bool finish_output(output_file& out, pending_outputs& pending) {
  if (!close_temporary(out)) return false;
  pending.files.push_back(out);
  return true;
}

void abandon_outputs(pending_outputs& pending, std::string_view message) {
  for (output_file& out : pending.files) discard_output(out);
  pending.files.clear();
  fatal_exit(message);
}

void publish_outputs(pending_outputs& pending) {
  for (std::size_t i = 0; i < pending.files.size(); ++i) {
    output_file& out = pending.files[i];
    if (!replace_file(out.temp_name.c_str(), out.name.c_str())) {
      const std::string message = close_failed_message(out.name);
      pending.files.erase(pending.files.begin(),
                          pending.files.begin() + static_cast<std::ptrdiff_t>(i));
      abandon_outputs(pending, message);
    }
  }
  pending.files.clear();
}

}  // namespace som
