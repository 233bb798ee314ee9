// The platform calls on Windows. Names are passed to the wide-character
// calls, converted from the narrow code page that the rest of the program
// (and the C library's fopen) uses.
#include "common/platform.hpp"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace som {

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

system_result failure_of(DWORD error) { return system_result::failure(static_cast<int>(error)); }

// The failure of the call that has just set the thread's last error.
system_result failed_now() { return failure_of(GetLastError()); }

// Success when the call returned nonzero, otherwise its error.
system_result result_of(BOOL done) { return done ? system_result::success() : failed_now(); }

}  // namespace

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

system_result resolve_links(const std::string& name, std::string& target) {
  const std::wstring wide = widen(name);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    target = name;
    return system_result::success();
  }
  // The system resolves the whole chain when it opens the file; its final
  // path comes back as \\?\C:\... or \\?\UNC\server\share\...
  const HANDLE file =
      CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failed_now();
  std::wstring final_path(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file, final_path.data(), static_cast<DWORD>(final_path.size()),
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (length == 0) return failure_of(error);
  if (length >= final_path.size()) return failure_of(ERROR_FILENAME_EXCED_RANGE);
  final_path.resize(length);
  if (final_path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    final_path = L"\\\\" + final_path.substr(8);
  } else if (final_path.rfind(L"\\\\?\\", 0) == 0) {
    final_path = final_path.substr(4);
  }
  return narrow(final_path, target) ? system_result::success()
                                    : failure_of(ERROR_NO_UNICODE_TRANSLATION);
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

system_result create_new_file(const std::string& path, unsigned, native_file& file) {
  // Shared for deletion, so that the file can be renamed while it is open
  // (the training log takes its name once its header is written).
  const HANDLE handle =
      CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  const system_result result =
      handle != INVALID_HANDLE_VALUE ? system_result::success() : failed_now();
  file.handle = reinterpret_cast<std::intptr_t>(handle);
  return result;
}

bool name_taken(const system_result& result) {
  return !result.ok && (result.error == static_cast<int>(ERROR_FILE_EXISTS) ||
                        result.error == static_cast<int>(ERROR_ALREADY_EXISTS));
}

system_result create_file(const std::string& path, unsigned permissions, native_file& file) {
  // Another name made in between is removed in turn; a few rounds settle it.
  system_result result;
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (const system_result removed = remove_file(path); !removed) return removed;
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
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD done = 0;
    const BOOL ok = WriteFile(as_handle(file), bytes, piece, &done, nullptr);
    const DWORD error = GetLastError();
    if (written != nullptr) *written += done;
    if (!ok) return failure_of(error);
    if (done == 0) return system_result::failure(0);
    bytes += done;
    size -= done;
  }
  return system_result::success();
}

system_result sync_file(native_file& file) { return result_of(FlushFileBuffers(as_handle(file))); }

system_result close_file(native_file& file) {
  const system_result result = result_of(CloseHandle(as_handle(file)));
  file.handle = -1;
  return result;
}

system_result rename_file(const std::string& from, const std::string& to) {
  const std::wstring source = widen(from);
  const std::wstring target = widen(to);
  // A file that another program reads for a moment (som_report reading the
  // training log) cannot be replaced until it is closed: tried again for a
  // second before the failure counts.
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return system_result::success();
    }
    const DWORD error = GetLastError();
    const bool in_use = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                        error == ERROR_LOCK_VIOLATION;
    if (!in_use || attempt == 50) return failure_of(error);
    Sleep(20);
  }
}

system_result sync_folder_of(const std::string&) { return system_result::success(); }

system_result remove_file(const std::string& path) {
  if (DeleteFileW(widen(path).c_str()) != 0) return system_result::success();
  const DWORD error = GetLastError();
  return not_found(error) ? system_result::success() : failure_of(error);
}

std::FILE* open_regular_file(const std::string& path, bool& missing) {
  missing = false;
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    missing = not_found(GetLastError());
    return nullptr;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return nullptr;
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    missing = errno == ENOENT;
    return nullptr;
  }
  // A pipe or a device behind a link is no file either.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

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

lock_result take_file_lock(const std::string& path, native_lock& lock, lock_mode mode) {
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
  if (!lock_first_byte(file, mode == lock_mode::shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK)) {
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

bool lock_is_at(const native_lock& lock, const std::string& path) {
  if (!lock.is_held()) return false;
  BY_HANDLE_FILE_INFORMATION held;
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(lock.handle), &held)) return false;
  const HANDLE named =
      CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION found;
  const bool ok = GetFileInformationByHandle(named, &found) != 0;
  CloseHandle(named);
  return ok && found.dwVolumeSerialNumber == held.dwVolumeSerialNumber &&
         found.nFileIndexHigh == held.nFileIndexHigh && found.nFileIndexLow == held.nFileIndexLow;
}

// A lock file held here cannot be removed or renamed (it is open without
// FILE_SHARE_DELETE): the folder needs no lock of its own.
lock_result take_folder_lock(const std::string&, native_lock&, lock_mode) {
  return lock_result::taken;
}

lock_state look_at_folder_lock(const std::string&) { return lock_state::no_file; }

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

file_stamp stamp_file(const char* name, bool being_written) {
  file_stamp stamp;
  const std::wstring wide = std::filesystem::path(name).wstring();
  FILETIME written{};
  DWORD size_high = 0;
  DWORD size_low = 0;
  if (being_written) {
    const HANDLE file = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return stamp;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!ok) return stamp;
    written = info.ftLastWriteTime;
    size_high = info.nFileSizeHigh;
    size_low = info.nFileSizeLow;
  } else {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &info)) return stamp;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return stamp;
    written = info.ftLastWriteTime;
    size_high = info.nFileSizeHigh;
    size_low = info.nFileSizeLow;
  }
  stamp.present = true;
  stamp.time = static_cast<std::int64_t>((std::uint64_t{written.dwHighDateTime} << 32) |
                                         written.dwLowDateTime);
  stamp.size = (std::uintmax_t{size_high} << 32) | size_low;
  return stamp;
}

void* acquire_block(std::size_t bytes) { return std::malloc(bytes); }

void release_block(void* block) { std::free(block); }

std::string argument_as_utf8(const char* argument) {
  const int wide_length = MultiByteToWideChar(CP_ACP, 0, argument, -1, nullptr, 0);
  if (wide_length <= 0) return argument;
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, argument, -1, wide.data(), wide_length);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return argument;
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), length, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(length) - 1);  // the terminating NUL
  return out;
}

console_facts look_at_console() {
  console_facts facts;
  DWORD ids[2];
  facts.processes = GetConsoleProcessList(ids, 2);  // all of them, even beyond two
  DWORD mode;
  facts.input_is_console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  facts.output_is_console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  return facts;
}

}  // namespace som
