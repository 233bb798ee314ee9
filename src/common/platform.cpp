#include "common/platform.hpp"

#include <cstdlib>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace som {

#ifdef _WIN32

namespace {
std::wstring widen(const char* text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(size > 0 ? static_cast<std::size_t>(size) : 0u, L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size);
  if (!wide.empty()) wide.pop_back();
  return wide;
}
}  // namespace

bool sync_file(std::FILE* file) {
  const intptr_t handle = _get_osfhandle(_fileno(file));
  if (handle == -1) return false;
  return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

void* acquire_block(std::size_t bytes) { return std::malloc(bytes); }

void release_block(void* block) { std::free(block); }

bool replace_file(const char* from, const char* to) {
  return MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

#else

bool sync_file(std::FILE* file) {
  int result;
  do {
    result = ::fsync(::fileno(file));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool replace_file(const char* from, const char* to) {
  if (std::rename(from, to) != 0) return false;
  // Make the rename itself durable: sync the folder that holds the name.
  std::string folder = to;
  const std::size_t slash = folder.find_last_of('/');
  folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : folder.substr(0, slash));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return true;  // the rename has happened; nothing more can be done
  ::fsync(fd);
  ::close(fd);
  return true;
}

void* acquire_block(std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::size_t large_page = std::size_t{2} << 20;
  if (bytes >= large_page && bytes <= ~std::size_t{0} - large_page) {
    // Whole, aligned large pages; the advice is only a request.
    const std::size_t rounded = (bytes + large_page - 1) / large_page * large_page;
    void* block = std::aligned_alloc(large_page, rounded);
    if (block != nullptr) ::madvise(block, rounded, MADV_HUGEPAGE);
    return block;
  }
#endif
  return std::malloc(bytes);
}

void release_block(void* block) { std::free(block); }

#endif

}  // namespace som
