#include "common/platform.hpp"

#include <cstdlib>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace som {

std::string folder_of(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\");
#else
  const std::size_t slash = path.find_last_of('/');
#endif
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

#ifdef _WIN32

namespace {

std::wstring widen(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(size > 0 ? static_cast<std::size_t>(size) : 0u, L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
  if (!wide.empty()) wide.pop_back();
  return wide;
}

// False when the path has characters that the narrow code page cannot hold.
bool narrow(const std::wstring& wide, std::string& text) {
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                       nullptr, &lossy);
  if (size <= 0 || lossy) return false;
  text.assign(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, text.data(), size, nullptr,
                      &lossy);
  text.pop_back();
  return !lossy;
}

HANDLE as_handle(const native_file& file) { return reinterpret_cast<HANDLE>(file.handle); }

bool not_found(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool resolve_links(const std::string& name, std::string& target) {
  const std::wstring wide = widen(name);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    target = name;
    return true;
  }
  // The system resolves the whole chain when it opens the file; its final
  // path comes back as \\?\C:\... or \\?\UNC\server\share\...
  const HANDLE file =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::wstring final_path(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()),
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(file);
  if (length == 0 || length >= final_path.size()) return false;
  final_path.resize(length);
  if (final_path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    final_path = L"\\\\" + final_path.substr(8);
  } else if (final_path.rfind(L"\\\\?\\", 0) == 0) {
    final_path = final_path.substr(4);
  }
  return narrow(final_path, target);
}

write_check check_writable(const std::string& path, unsigned& permissions) {
  permissions = default_permissions;
  const std::wstring wide = widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return not_found(GetLastError()) ? write_check::absent : write_check::refused;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY)) !=
      0) {
    return write_check::refused;
  }
  // Opening for writing without truncating checks the file's access rights
  // and whether another program holds it shut.
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return write_check::refused;
  CloseHandle(file);
  return write_check::writable;
}

bool create_file(const std::string& path, unsigned, native_file& file) {
  const HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  return handle != INVALID_HANDLE_VALUE;
}

bool write_file(native_file& file, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size != 0) {
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(as_handle(file), bytes, piece, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

bool sync_file(native_file& file) { return FlushFileBuffers(as_handle(file)) != 0; }

bool close_file(native_file& file) {
  const bool ok = CloseHandle(as_handle(file)) != 0;
  file.handle = -1;
  return ok;
}

bool rename_file(const std::string& from, const std::string& to) {
  return MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool sync_folder_of(const std::string&) { return true; }

bool remove_file(const std::string& path) {
  return DeleteFileW(widen(path).c_str()) != 0 || not_found(GetLastError());
}

bool stream_is_folder(std::FILE*) { return false; }

file_presence find_file(const std::string& path) {
  if (GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
    return file_presence::present;
  }
  return not_found(GetLastError()) ? file_presence::absent : file_presence::unknown;
}

namespace {

// Byte 0 of the file stands for the whole lock; a lock may lie beyond the
// end of a file, which stays empty.
bool lock_first_byte(HANDLE file, DWORD flags) {
  OVERLAPPED at{};
  return LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

}  // namespace

lock_result take_file_lock(const std::string& path, native_lock& lock) {
  const std::wstring wide = widen(path);
  // Not shared for deletion: while the lock is held, its file cannot be
  // removed and made anew by someone else.
  HANDLE file =
      CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return lock_result::failed;
  if (!lock_first_byte(file, LOCKFILE_EXCLUSIVE_LOCK)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION
               ? lock_result::held_elsewhere
               : lock_result::failed;
  }
  lock.handle = reinterpret_cast<std::intptr_t>(file);
  return lock_result::taken;
}

void release_file_lock(native_lock& lock) {
  if (!lock.is_held()) return;
  CloseHandle(reinterpret_cast<HANDLE>(lock.handle));  // closing gives the lock up
  lock.handle = -1;
}

lock_state look_at_file_lock(const std::string& path) {
  const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return not_found(GetLastError()) ? lock_state::no_file : lock_state::unknown;
  }
  lock_state state = lock_state::free;
  if (lock_first_byte(file, 0)) {
    OVERLAPPED at{};
    UnlockFileEx(file, 0, 1, 0, &at);
  } else {
    state = GetLastError() == ERROR_LOCK_VIOLATION ? lock_state::held : lock_state::unknown;
  }
  CloseHandle(file);
  return state;
}

void* acquire_block(std::size_t bytes) { return std::malloc(bytes); }

void release_block(void* block) { std::free(block); }

#else

namespace {

int as_fd(const native_file& file) { return static_cast<int>(file.handle); }

}  // namespace

bool resolve_links(const std::string& name, std::string& target) {
  std::string path = name;
  for (int hop = 0; hop <= 40; ++hop) {  // the kernel's own limit of links
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno != ENOENT) return false;
      target = path;  // a new file, created where the last link points
      return true;
    }
    if (!S_ISLNK(status.st_mode)) {
      target = path;
      return true;
    }
    std::string link(256, '\0');
    while (true) {
      const ssize_t got = ::readlink(path.c_str(), link.data(), link.size());
      if (got <= 0) return false;
      if (static_cast<std::size_t>(got) < link.size()) {
        link.resize(static_cast<std::size_t>(got));
        break;
      }
      link.resize(link.size() * 2);
    }
    // A relative link is relative to the folder that holds it; the kernel
    // resolves the joined path exactly as it would have resolved the link.
    const std::size_t slash = path.find_last_of('/');
    if (link[0] != '/' && slash != std::string::npos) link = path.substr(0, slash + 1) + link;
    path = link;
  }
  return false;
}

write_check check_writable(const std::string& path, unsigned& permissions) {
  permissions = default_permissions;
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    return errno == ENOENT ? write_check::absent : write_check::refused;
  }
  if (!S_ISREG(status.st_mode)) return write_check::refused;
  // Opening for writing without O_TRUNC checks exactly what opening it for
  // writing would (permission bits, ACLs, a read-only mount) and changes
  // nothing.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return write_check::refused;
  ::close(fd);
  permissions = static_cast<unsigned>(status.st_mode) & 0777u;
  return write_check::writable;
}

bool create_file(const std::string& path, unsigned permissions, native_file& file) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  file.handle = fd;
  if (fd < 0) return false;
  // The replacement of a file keeps that file's permissions (a map kept
  // private stays private); fchmod is needed since the umask and an older
  // file of this name both stand in the way of open's mode.
  if (permissions != default_permissions &&
      ::fchmod(fd, static_cast<mode_t>(permissions & 0777u)) != 0) {
    return false;
  }
  return true;
}

bool write_file(native_file& file, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size != 0) {
    const ssize_t written = ::write(as_fd(file), bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool sync_file(native_file& file) {
  int result;
  do {
    result = ::fsync(as_fd(file));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool close_file(native_file& file) {
  // Never retried: after an interrupted close the descriptor is gone anyway.
  const bool ok = ::close(as_fd(file)) == 0;
  file.handle = -1;
  return ok;
}

bool rename_file(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool sync_folder_of(const std::string& path) {
  const int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder we may write but not read cannot be opened to be synced.
  if (fd < 0) return errno == EACCES;
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  const bool ok = result == 0 || errno == EINVAL;  // EINVAL: no sync for folders here
  ::close(fd);
  return ok;
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool stream_is_folder(std::FILE* stream) {
  struct stat status;
  return ::fstat(::fileno(stream), &status) == 0 && S_ISDIR(status.st_mode);
}

file_presence find_file(const std::string& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) == 0) return file_presence::present;
  return errno == ENOENT ? file_presence::absent : file_presence::unknown;
}

namespace {

// flock, retried when a signal interrupts it.
int flock_now(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

lock_result take_file_lock(const std::string& path, native_lock& lock) {
  // Non-blocking, so that a fifo in the file's place cannot hold the run up;
  // not through a link, so that the lock never creates a file elsewhere.
  constexpr int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | flags, 0666);
    // flock needs no write access: another user's lock file will do.
    if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = ::open(path.c_str(), O_RDONLY | flags);
    if (fd < 0) return lock_result::failed;
    struct stat held;
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      ::close(fd);
      return lock_result::failed;
    }
    if (flock_now(fd, LOCK_EX) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      ::close(fd);
      return busy ? lock_result::held_elsewhere : lock_result::failed;
    }
    // A lock on a file that was removed (and perhaps made anew) in the
    // meantime excludes nobody: then the file at the name is locked instead.
    struct stat named;
    if (::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino) {
      lock.handle = fd;
      return lock_result::taken;
    }
    ::close(fd);
  }
  return lock_result::failed;
}

void release_file_lock(native_lock& lock) {
  if (!lock.is_held()) return;
  ::close(static_cast<int>(lock.handle));  // closing gives the lock up
  lock.handle = -1;
}

lock_state look_at_file_lock(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT ? lock_state::no_file : lock_state::unknown;
  lock_state state = lock_state::free;
  if (flock_now(fd, LOCK_SH) == 0) {
    flock_now(fd, LOCK_UN);
  } else {
    state = errno == EWOULDBLOCK ? lock_state::held : lock_state::unknown;
  }
  ::close(fd);
  return state;
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
