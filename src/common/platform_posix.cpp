// The platform calls on POSIX systems (Linux, the BSDs, macOS).
#include "common/platform.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace som {

namespace {

int as_fd(const native_file& file) { return static_cast<int>(file.handle); }

// The failure of the call that has just set errno.
system_result failed_now() { return system_result::failure(errno); }

}  // namespace

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

system_result resolve_links(const std::string& name, std::string& target) {
  std::string path = name;
  for (int hop = 0; hop <= 40; ++hop) {  // the kernel's own limit of links
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno != ENOENT) return failed_now();
      target = path;  // a new file, created where the last link points
      return system_result::success();
    }
    if (!S_ISLNK(status.st_mode)) {
      target = path;
      return system_result::success();
    }
    std::string link(256, '\0');
    while (true) {
      const ssize_t got = ::readlink(path.c_str(), link.data(), link.size());
      if (got < 0) return failed_now();
      if (got == 0) return system_result::failure(0);
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
  // What opening the name would have failed with.
  return system_result::failure(ELOOP);
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

system_result create_new_file(const std::string& path, unsigned permissions, native_file& file) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
  file.handle = fd;
  if (fd < 0) return failed_now();
  // The replacement of a file keeps that file's permissions (a map kept
  // private stays private); fchmod is needed since the umask stands in the
  // way of open's mode.
  if (permissions != default_permissions &&
      ::fchmod(fd, static_cast<mode_t>(permissions & 0777u)) != 0) {
    return failed_now();
  }
  return system_result::success();
}

bool name_taken(const system_result& result) { return !result.ok && result.error == EEXIST; }

system_result create_file(const std::string& path, unsigned permissions, native_file& file) {
  // Another name made in between is removed in turn; a few rounds settle it.
  system_result result;
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return failed_now();
    result = create_new_file(path, permissions, file);
    if (!name_taken(result)) return result;
  }
  return result;
}

system_result write_file(native_file& file, const void* data, std::size_t size,
                         std::size_t* written) {
  const char* bytes = static_cast<const char*>(data);
  if (written != nullptr) *written = 0;
  while (size != 0) {
    const ssize_t done = ::write(as_fd(file), bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return failed_now();
    if (done == 0) return system_result::failure(0);
    bytes += done;
    size -= static_cast<std::size_t>(done);
    if (written != nullptr) *written += static_cast<std::size_t>(done);
  }
  return system_result::success();
}

system_result sync_file(native_file& file) {
  int result;
  do {
    result = ::fsync(as_fd(file));
  } while (result != 0 && errno == EINTR);
  return result == 0 ? system_result::success() : failed_now();
}

system_result close_file(native_file& file) {
  // Never retried: after an interrupted close the descriptor is gone anyway.
  const int result = ::close(as_fd(file));
  const system_result outcome = result == 0 ? system_result::success() : failed_now();
  file.handle = -1;
  return outcome;
}

system_result rename_file(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? system_result::success() : failed_now();
}

system_result sync_folder_of(const std::string& path) {
  const int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder we may write but not read cannot be opened to be synced.
  if (fd < 0) return errno == EACCES ? system_result::success() : failed_now();
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  // EINVAL: no sync for folders here. Taken before close can change errno.
  const system_result outcome =
      result == 0 || errno == EINVAL ? system_result::success() : failed_now();
  ::close(fd);
  return outcome;
}

system_result remove_file(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT ? system_result::success() : failed_now();
}

std::FILE* open_regular_file(const std::string& path, bool& missing) {
  missing = false;
  struct stat status;
  // Looked at before it is opened: opening a device can already do something.
  if (::stat(path.c_str(), &status) != 0) {
    missing = errno == ENOENT;
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) return nullptr;
  // Non-blocking, so that a FIFO put in its place since cannot hold us up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* stream = ::fdopen(fd, "rb");
  if (stream == nullptr) ::close(fd);
  return stream;
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

lock_result take_file_lock(const std::string& path, native_lock& lock, lock_mode mode) {
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
    if (flock_now(fd, mode == lock_mode::shared ? LOCK_SH : LOCK_EX) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      ::close(fd);
      return busy ? lock_result::held_elsewhere : lock_result::failed;
    }
    lock.handle = fd;
    // A file removed (and perhaps made anew) in the meantime: the file at
    // the name is locked instead.
    if (lock_is_at(lock, path)) return lock_result::taken;
    release_file_lock(lock);
  }
  return lock_result::failed;
}

void release_file_lock(native_lock& lock) {
  if (!lock.is_held()) return;
  ::close(static_cast<int>(lock.handle));  // closing gives the lock up
  lock.handle = -1;
}

bool lock_is_at(const native_lock& lock, const std::string& path) {
  struct stat held;
  struct stat named;
  return lock.is_held() && ::fstat(static_cast<int>(lock.handle), &held) == 0 &&
         ::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
         named.st_ino == held.st_ino;
}

namespace {

// The folder, opened for a lock; -1 where it cannot be.
int open_folder(const std::string& folder) {
  return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
}

}  // namespace

lock_result take_folder_lock(const std::string& folder, native_lock& lock, lock_mode mode) {
  const int fd = open_folder(folder);
  // A folder we may enter but not read cannot be opened: its lock file is
  // then the only lock.
  if (fd < 0) return errno == EACCES ? lock_result::taken : lock_result::failed;
  if (flock_now(fd, mode == lock_mode::shared ? LOCK_SH : LOCK_EX) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    // Other failures: a file system that cannot lock folders (NFS lends
    // flock only to files opened for writing).
    return busy ? lock_result::held_elsewhere : lock_result::taken;
  }
  lock.handle = fd;
  return lock_result::taken;
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

lock_state look_at_folder_lock(const std::string& folder) {
  const int fd = open_folder(folder);
  if (fd < 0) return lock_state::unknown;
  lock_state state = lock_state::free;
  if (flock_now(fd, LOCK_SH) == 0) {
    flock_now(fd, LOCK_UN);
  } else {
    state = errno == EWOULDBLOCK ? lock_state::held : lock_state::no_file;
  }
  ::close(fd);
  return state;
}

file_stamp stamp_file(const char* name, bool) {
  file_stamp stamp;
  std::error_code error;
  const auto time = std::filesystem::last_write_time(name, error);
  if (error) return stamp;
  const std::uintmax_t size = std::filesystem::file_size(name, error);
  if (error) return stamp;
  stamp.present = true;
  stamp.time = static_cast<std::int64_t>(time.time_since_epoch().count());
  stamp.size = size;
  return stamp;
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

std::string argument_as_utf8(const char* argument) { return argument; }

// A terminal outlives the program that it started: nothing to wait for.
console_facts look_at_console() { return {}; }

}  // namespace som
