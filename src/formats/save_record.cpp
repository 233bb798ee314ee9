#include "formats/save_record.hpp"

#include <bit>
#include <charconv>
#include <cstring>

#include "formats/little_endian.hpp"

namespace som {

namespace {

constexpr std::string_view record_header = "som_train ukladani 1\n";

std::uint64_t mix_word(std::uint64_t state, std::uint64_t word) {
  return std::rotl(state ^ (word * 0x9E3779B97F4A7C15u), 29) * 0xBF58476D1CE4E5B9u;
}

void append_hex(std::string& out, std::uint64_t value) {
  char digits[16];
  for (int i = 15; i >= 0; --i) {
    digits[i] = "0123456789abcdef"[value & 0xFu];
    value >>= 4;
  }
  out.append(digits, 16);
}

// Reads an unsigned number in base 10 or 16 followed by `end`.
bool take_number(std::string_view& in, int base, char end, std::uint64_t& value) {
  const auto result = std::from_chars(in.data(), in.data() + in.size(), value, base);
  if (result.ec != std::errc() || result.ptr == in.data() || result.ptr == in.data() + in.size() ||
      *result.ptr != end) {
    return false;
  }
  in.remove_prefix(static_cast<std::size_t>(result.ptr - in.data()) + 1);
  return true;
}

std::uint64_t hash_of(std::string_view bytes) {
  content_hasher hasher;
  hasher.add(bytes.data(), bytes.size());
  return hasher.digest().hash;
}

}  // namespace

void content_hasher::add(const char* data, std::size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  size_ += size;
  if (tail_size_ != 0) {
    const std::size_t take = size < 8 - tail_size_ ? size : 8 - tail_size_;
    std::memcpy(tail_ + tail_size_, bytes, take);
    tail_size_ += take;
    bytes += take;
    size -= take;
    if (tail_size_ < 8) return;
    state_ = mix_word(state_, load_le64(tail_));
    tail_size_ = 0;
  }
  for (; size >= 8; bytes += 8, size -= 8) state_ = mix_word(state_, load_le64(bytes));
  std::memcpy(tail_, bytes, size);
  tail_size_ = size;
}

content_digest content_hasher::digest() const {
  unsigned char last[8] = {};
  std::memcpy(last, tail_, tail_size_);
  std::uint64_t h = mix_word(mix_word(state_, load_le64(last)), size_);
  // The finaliser of splitmix64: every input bit reaches every output bit.
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9u;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBu;
  return content_digest{size_, h ^ (h >> 31)};
}

std::string encode_record(const save_record& record) {
  std::string out(record_header);
  for (const save_record_entry& entry : record.files) {
    out += entry.existed ? "1 " : "0 ";
    out += std::to_string(entry.content.size);
    out += ' ';
    append_hex(out, entry.content.hash);
    out += ' ';
    out += std::to_string(entry.target.size());
    out += ' ';
    out += entry.target;
    out += '\n';
  }
  append_hex(out, hash_of(out));
  out += '\n';
  return out;
}

bool decode_record(std::string_view bytes, save_record& record) {
  // The hash line: 16 hex digits and a newline, over everything before it.
  if (bytes.size() < record_header.size() + 17 || bytes.back() != '\n') return false;
  const std::string_view body = bytes.substr(0, bytes.size() - 17);
  std::string_view check = bytes.substr(body.size());
  std::uint64_t expected = 0;
  if (!take_number(check, 16, '\n', expected) || expected != hash_of(body)) return false;
  if (body.substr(0, record_header.size()) != record_header) return false;
  std::string_view in = body.substr(record_header.size());
  for (save_record_entry& entry : record.files) {
    std::uint64_t existed = 0, length = 0;
    if (!take_number(in, 10, ' ', existed) || existed > 1 ||
        !take_number(in, 10, ' ', entry.content.size) ||
        !take_number(in, 16, ' ', entry.content.hash) || !take_number(in, 10, ' ', length) ||
        length == 0 || length >= in.size() || in[length] != '\n') {
      return false;
    }
    entry.existed = existed == 1;
    entry.target.assign(in.substr(0, length));
    in.remove_prefix(length + 1);
  }
  return in.empty();
}

}  // namespace som
