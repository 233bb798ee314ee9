// The record of a save in progress (ukladani.txt): for each state file, in
// the order of saved_map_file_names, the file its name
// leads to, whether that file existed before the save, and the size and
// hash of its new content. A record is written, and forced to disk, only
// once the three new files are complete on disk beside the old ones, so a
// record that can be read whole proves that they are; its last line, a hash
// of everything before it, tells a record cut short by a crash.
//
// Layout, in bytes (the same on every host):
//
//   som_train ukladani 1\n
//   <0|1 existed> <size> <hash, 16 hex digits> <path length> <path>\n   (x 3)
//   <hash of the lines above, 16 hex digits>\n
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/file_names.hpp"

namespace som {

// What a file holds, compactly: its size and a 64-bit hash of its bytes.
struct content_digest {
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
  bool operator==(const content_digest&) const = default;
};

// Hashes bytes given in pieces of any size; the digest depends only on the
// bytes. Not for security: it tells our own files apart.
class content_hasher {
 public:
  void add(const char* data, std::size_t size);
  content_digest digest() const;

 private:
  std::uint64_t state_ = 0x6A09E667F3BCC908u;
  std::uint64_t size_ = 0;
  unsigned char tail_[8] = {};
  std::size_t tail_size_ = 0;
};

inline constexpr std::size_t state_file_count = saved_map_file_names.size();
// Which entry's file changing is the moment the new files count as saved.
inline constexpr std::size_t commit_entry = 1;  // konecne_parametry.txt

struct save_record_entry {
  std::string target;  // the file replaced (links followed), as the program names it
  bool existed = false;
  content_digest content;  // of the new file
};

struct save_record {
  save_record_entry files[state_file_count];
};

std::string encode_record(const save_record& record);

// False when the bytes are not one whole record.
bool decode_record(std::string_view bytes, save_record& record);

}  // namespace som
