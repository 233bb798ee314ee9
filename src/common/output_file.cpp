#include "common/output_file.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <system_error>

#include "common/file_names.hpp"

namespace som {

namespace {

constexpr std::size_t private_digits = 16;
// No program writes one file for this long: a private temporary file as old
// as that was left by a program that was killed.
constexpr auto abandoned_after = std::chrono::hours(1);

// A number that differs from one call to the next and from one process to
// another; creating the file exclusively makes the name unique in the end.
std::uint64_t draw_name_number() {
  static std::atomic<std::uint64_t> calls{0};
  std::uint64_t x = calls.fetch_add(1) * 0x9E3779B97F4A7C15ull;
  try {
    std::random_device device;
    x ^= (std::uint64_t{device()} << 32) | device();
  } catch (const std::exception&) {
    // Without a device the clocks below still part the processes.
  }
  x ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  x += static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  // splitmix64's finaliser, so that every input bit moves every digit.
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::string private_temp_name(const std::string& name) {
  static constexpr char hex[] = "0123456789abcdef";
  std::uint64_t number = draw_name_number();
  std::string digits(private_digits, '0');
  for (std::size_t i = private_digits; i-- != 0; number >>= 4) digits[i] = hex[number & 15];
  return name + "." + digits + temp_suffix;
}

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Removes the private temporary files of `name` that nobody has written for
// a long time. Whatever goes wrong here only leaves a file behind.
void remove_abandoned(const std::string& name) try {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path path(name);
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const std::string base = path.filename().string();
  const auto now = fs::file_time_type::clock::now();
  fs::directory_iterator entry(folder, error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const std::string file_name = entry->path().filename().string();
    if (!is_private_temp_name(file_name, base)) continue;
    std::error_code look;
    if (!entry->is_regular_file(look) || look) continue;
    const auto written = entry->last_write_time(look);
    if (!look && now - written > abandoned_after) remove_file(entry->path().string());
  }
} catch (const std::exception&) {
  // A name that the narrow code page cannot hold, or no memory: the files
  // stay for another time.
}

}  // namespace

bool open_output(output_file& out, const std::string& name, unsigned permissions) {
  out = output_file{};
  out.name = name;
  out.temp_name = name + temp_suffix;
  return create_file(out.temp_name, permissions, out.file).ok;
}

bool open_private_output(output_file& out, const std::string& name) {
  out = output_file{};
  out.name = name;
  out.private_name = true;
  for (int attempt = 0; attempt < 16; ++attempt) {
    out.temp_name = private_temp_name(name);
    const system_result created = create_new_file(out.temp_name, default_permissions, out.file);
    if (created) return true;
    if (!name_taken(created)) break;
  }
  out.file = native_file{};
  return false;
}

bool is_private_temp_name(std::string_view file_name, std::string_view name) {
  const std::string_view suffix = temp_suffix;
  const std::size_t length = name.size() + 1 + private_digits + suffix.size();
  if (file_name.size() != length || !file_name.starts_with(name) ||
      file_name[name.size()] != '.' || !file_name.ends_with(suffix)) {
    return false;
  }
  for (char c : file_name.substr(name.size() + 1, private_digits)) {
    if (!is_hex_digit(c)) return false;
  }
  return true;
}

bool write_output(output_file& out, const void* data, std::size_t size) {
  if (!out.failed && size != 0 && !write_file(out.file, data, size)) out.failed = true;
  return !out.failed;
}

byte_sink output_sink(output_file& out) {
  byte_sink sink;
  sink.context = &out;
  sink.write = [](void* context, const char* data, std::size_t size) {
    return write_output(*static_cast<output_file*>(context), data, size);
  };
  return sink;
}

bool close_output(output_file& out) {
  if (!out.failed && !sync_file(out.file)) out.failed = true;
  if (!close_file(out.file)) out.failed = true;
  return !out.failed;
}

bool commit_output(output_file& out) {
  if (!close_output(out) || !rename_file(out.temp_name, out.name)) {
    remove_file(out.temp_name);
    return false;
  }
  // The new file is in place; a folder that cannot be synced changes
  // nothing about that.
  sync_folder_of(out.name);
  if (out.private_name) remove_abandoned(out.name);
  return true;
}

void discard_output(output_file& out) {
  if (out.file.is_open()) close_file(out.file);
  remove_file(out.temp_name);
}

}  // namespace som
