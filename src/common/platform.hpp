// The few operating-system calls the program needs beyond standard C++:
// the file calls of a safe save (writing through the system's own calls,
// forcing data to disk, replacing a file in one step, following links), a
// lock on a file, a file's time and size, and memory for large blocks.
// platform_posix.cpp and platform_win32.cpp implement them; the build takes
// the one of its system.
//
// Every file call reports failure by its return value and never prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace som {

// What a file call came to: success, or a failure with the system's own
// error code (errno on POSIX, GetLastError on Windows), for a caller that
// says why or a test that checks it. Tests true on success, so that a caller
// that only asks whether it worked reads as with a bool.
struct system_result {
  bool ok = true;
  // The system's code of the failure; 0 where the failure has none (a write
  // that wrote nothing without an error).
  int error = 0;

  explicit operator bool() const { return ok; }
  static system_result success() { return {}; }
  static system_result failure(int error) { return {false, error}; }
};

// A file open for writing: a descriptor on POSIX, a handle on Windows.
// Writes go straight to the system, so each failure is seen where it happens.
struct native_file {
  std::intptr_t handle = -1;
  bool is_open() const { return handle != -1; }
};

// The file that opening `name` for writing reaches: symbolic links are
// followed to their last target, which need not exist yet (it is then
// created there). Fails for a loop of links or a link that cannot be read.
system_result resolve_links(const std::string& name, std::string& target);

enum class write_check { absent, writable, refused };

// Whether `path` (links already followed) could be opened for writing,
// checked without changing it: absent; a regular file this process may write
// (`permissions` then holds its permission bits, for its replacement); or
// refused (a folder or other non-regular file, a file without write
// permission, the Windows read-only attribute, or any other error).
write_check check_writable(const std::string& path, unsigned& permissions);

// Permission bits that leave a new file's mode to the system (umask).
inline constexpr unsigned default_permissions = ~0u;

// Creates a new file at `path`, and gets `permissions` (POSIX) when given.
// Whatever had the name before is removed first, never opened: a link (hard
// or symbolic) of that name loses only the name, and the file it led to
// keeps its content. On Windows the file can be renamed while it is open.
system_result create_file(const std::string& path, unsigned permissions, native_file& file);
// Creates a new file at `path` only when nothing has that name; fails (with
// the system's "exists" code, see name_taken) otherwise.
system_result create_new_file(const std::string& path, unsigned permissions, native_file& file);
// Whether a failure of create_new_file means that the name was taken.
bool name_taken(const system_result& result);
// Writes all bytes; on failure, `written` (when given) holds how many of
// them reached the file before it.
system_result write_file(native_file& file, const void* data, std::size_t size,
                         std::size_t* written = nullptr);
// Forces the file's data and size to stable storage.
system_result sync_file(native_file& file);
// Closes the file (also after a failure); fails when closing fails.
system_result close_file(native_file& file);

// Puts `from` in place of `to` in one step, replacing `to` when it exists: a
// reader sees either file, never a mix. On Windows the move is written
// through to disk before it returns.
system_result rename_file(const std::string& from, const std::string& to);

// Makes the names in the folder that holds `path` durable (the renames and
// new files in it). Windows has no such call and needs none (see
// rename_file); nor does a folder whose file system cannot sync it.
system_result sync_folder_of(const std::string& path);

// The folder part of `path`, "." for a bare name.
std::string folder_of(const std::string& path);

// Removes the file; succeeds also when it did not exist.
system_result remove_file(const std::string& path);

// Opens a file for reading in binary mode, links followed, only when it is a
// regular file: a folder, a FIFO or a device is refused without being waited
// on (a FIFO would wait for a writer, a device never end). Null when it is
// refused or cannot be opened; `missing` then tells whether nothing has the
// name.
std::FILE* open_regular_file(const std::string& path, bool& missing);

enum class file_presence { absent, present, unknown };
// Whether a file of any kind has this name (a link is not followed).
file_presence find_file(const std::string& path);

// A lock on a file, which the system releases when the process ends,
// however it ends (flock on POSIX, LockFileEx on Windows): a crash or a kill
// leaves no stale lock behind. An exclusive lock keeps every other lock out;
// shared locks keep out only an exclusive one, so that several readers can
// hold one at once.
struct native_lock {
  std::intptr_t handle = -1;
  bool is_held() const { return handle != -1; }
};

enum class lock_result { taken, held_elsewhere, failed };
enum class lock_mode { exclusive, shared };
// Opens the file at `path` (creating it, empty, when it is missing; opened
// for reading alone where it may not be written) and takes the lock without
// waiting: held_elsewhere when another process holds a lock that keeps this
// one out, failed when the file cannot be opened or locked.
lock_result take_file_lock(const std::string& path, native_lock& lock,
                           lock_mode mode = lock_mode::exclusive);
// Gives the lock up and closes the file (only needed before the process ends).
void release_file_lock(native_lock& lock);

// Whether the file of a lock is still the file that `path` names (the same
// file, not only the same name): a lock on a file that was removed, or
// renamed and replaced, excludes nobody who opens the name now.
bool lock_is_at(const native_lock& lock, const std::string& path);

// A lock on the folder itself, for a lock file that can be removed while it
// is held (POSIX): a process that finds the file gone and makes a new one
// still meets the folder's lock, which nobody can remove. Taken without
// waiting, exclusive for a run and shared for a reader: held_elsewhere when
// another process holds a lock that keeps this one out. Where the file
// system cannot lock a folder (a network file system), and on Windows,
// where a held lock file cannot be removed, nothing is held and the lock
// counts as taken.
lock_result take_folder_lock(const std::string& folder, native_lock& lock,
                             lock_mode mode = lock_mode::exclusive);

enum class lock_state { no_file, held, free, unknown };
// Whether a process holds the lock on `path`, looked at without creating or
// changing the file. The look takes a shared lock for an instant: a process
// that tries to take the lock just then finds it held, and tries again
// (see state/run_lock.hpp).
lock_state look_at_file_lock(const std::string& path);
// Whether another process holds the folder's lock (take_folder_lock), looked
// at in the same way; no_file where a folder has no such lock.
lock_state look_at_folder_lock(const std::string& folder);

// When a file was last written (in the system's own units: for comparing
// with other files only) and its size.
struct file_stamp {
  bool present = false;
  std::int64_t time = 0;
  std::uintmax_t size = 0;
  bool operator==(const file_stamp&) const = default;
};

// The stamp of the file `name`, every file's from the same clock; not
// present when there is no such file, when it is a folder, or when it cannot
// be looked at. Windows keeps a copy of the time and size in the folder,
// which lags while another process still writes the file: for such a file
// (`being_written`) they are asked through a handle of its own, opened with
// every kind of sharing, so that the writer is never in the way; the others
// are read from the folder without opening them (so that another program can
// always rename its new files over them). POSIX has no such lag.
file_stamp stamp_file(const char* name, bool being_written);

// A block of `bytes` (at least 1) for data that is written soon after, or
// null when memory runs out; freed with release_block. Large blocks are
// backed by large pages where the system offers them on request (Linux):
// filling a block of 4 KiB pages costs a page fault per page, which is slow
// on virtual machines (about 15 µs each: 50 ms for 13 MB of samples).
void* acquire_block(std::size_t bytes);
void release_block(void* block);

// A command-line argument as UTF-8: on POSIX as it is; on Windows, where a
// program's arguments come in the ANSI code page (Windows-1250 on a Czech
// system), converted from it.
std::string argument_as_utf8(const char* argument);

// The console window the program was started in: how many processes share
// it (0 where there is none, or the system does not say: POSIX), and whether
// standard input and output are that console (not a file or a pipe).
struct console_facts {
  std::uint32_t processes = 0;
  bool input_is_console = false;
  bool output_is_console = false;
};
console_facts look_at_console();

}  // namespace som
