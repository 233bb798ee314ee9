#include "state/state_files.hpp"

#include <cerrno>
#include <cstdio>

#include "common/platform.hpp"

namespace som {

namespace {

// Feeds the file's bytes to `take` in pieces.
template <typename Take>
file_read read_pieces(const std::string& path, Take take) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return errno == ENOENT ? file_read::absent : file_read::failed;
  static constexpr std::size_t piece = std::size_t{1} << 16;
  std::string buffer(piece, '\0');
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, piece, file)) != 0) take(buffer.data(), got);
  const bool ok = std::ferror(file) == 0;
  return std::fclose(file) == 0 && ok ? file_read::done : file_read::failed;
}

}  // namespace

file_read read_whole_file(const std::string& path, std::string& bytes) {
  bytes.clear();
  return read_pieces(path, [&](const char* data, std::size_t size) { bytes.append(data, size); });
}

file_read digest_file(const std::string& path, content_digest& digest) {
  content_hasher hasher;
  const file_read result =
      read_pieces(path, [&](const char* data, std::size_t size) { hasher.add(data, size); });
  digest = hasher.digest();
  return result;
}

bool holds_content(const std::string& path, const content_digest& digest, bool& failed) {
  content_digest found;
  const file_read result = digest_file(path, found);
  if (result == file_read::failed) failed = true;
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
