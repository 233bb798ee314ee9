#include "common/platform.hpp"

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

#endif

}  // namespace som
