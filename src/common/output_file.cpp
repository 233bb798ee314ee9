#include "common/output_file.hpp"

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

bool commit_output(output_file& out) {
  bool ok = !out.write_failed && std::fflush(out.file) == 0 && std::ferror(out.file) == 0 &&
            sync_file(out.file);
  ok = std::fclose(out.file) == 0 && ok;
  out.file = nullptr;
  ok = ok && replace_file(out.temp_name.c_str(), out.name.c_str());
  if (!ok) std::remove(out.temp_name.c_str());
  return ok;
}

void discard_output(output_file& out) {
  if (out.file != nullptr) std::fclose(out.file);
  out.file = nullptr;
  std::remove(out.temp_name.c_str());
}

}  // namespace som
