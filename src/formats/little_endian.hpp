// The byte order of every binary value the program stores: vahy.bin and the
// hash of the save record read and write 64-bit words least significant
// byte first, whatever the host's own order.
#pragma once

#include <cstdint>

namespace som {

inline std::uint64_t load_le64(const unsigned char* bytes) {
  std::uint64_t word = 0;
  for (int b = 7; b >= 0; --b) word = (word << 8) | bytes[b];
  return word;
}

inline void store_le64(std::uint64_t word, char* bytes) {
  for (int b = 0; b < 8; ++b) {
    bytes[b] = static_cast<char>(word & 0xFFu);
    word >>= 8;
  }
}

}  // namespace som
