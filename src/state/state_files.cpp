#include "state/state_files.hpp"

#include "common/platform.hpp"

namespace som {

file_read digest_file(const std::string& path, content_digest& digest) {
  content_hasher hasher;
  const file_read result =
      read_file_pieces(path, [&](const char* data, std::size_t size) { hasher.add(data, size); });
  digest = hasher.digest();
  return result;
}

bool holds_content(const std::string& path, const content_digest& digest, bool& failed) {
  content_digest found;
  const file_read result = digest_file(path, found);
  if (result != file_read::done && result != file_read::absent) failed = true;
  return result == file_read::done && found == digest;
}

bool sync_folders(const std::vector<std::string>& paths) {
  std::vector<std::string> done;
  for (const std::string& path : paths) {
    const std::string folder = folder_of(path);
    bool seen = false;
    for (const std::string& d : done) seen = seen || d == folder;
    if (seen) continue;
    if (!sync_folder_of(path)) return false;
    done.push_back(folder);
  }
  return true;
}

}  // namespace som
