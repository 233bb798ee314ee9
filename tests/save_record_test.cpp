// The record of a save in progress decides, after a crash, which files make
// the saved map: it must read back exactly as written and never pass for
// whole when it was cut short or changed; and a file's digest must not
// depend on the pieces its bytes were written or read in.
#include "formats/save_record.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

som::content_digest digest_in_pieces(const std::string& bytes, std::size_t first,
                                     std::size_t second) {
  som::content_hasher hasher;
  hasher.add(bytes.data(), first);
  hasher.add(bytes.data() + first, second - first);
  hasher.add(bytes.data() + second, bytes.size() - second);
  return hasher.digest();
}

TEST(SaveRecord, ReadsBackWhatWasWrittenAndRefusesAnyCutOrChange) {
  som::save_record record;
  record.files[0] = {"vystup.txt", true, {12, 0x0123456789ABCDEFu}};
  record.files[1] = {"../other folder/konecne\nparametry", false, {0, 0}};
  record.files[2] = {"/abs/store/map.bin", true, {~0ull, ~0ull}};
  const std::string bytes = som::encode_record(record);
  som::save_record back;
  ASSERT_TRUE(som::decode_record(bytes, back));
  for (std::size_t i = 0; i < som::state_file_count; ++i) {
    EXPECT_EQ(back.files[i].target, record.files[i].target);
    EXPECT_EQ(back.files[i].existed, record.files[i].existed);
    EXPECT_EQ(back.files[i].content, record.files[i].content);
  }
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(som::decode_record(bytes.substr(0, size), back)) << "cut to " << size;
  }
  EXPECT_FALSE(som::decode_record(bytes + '\n', back));
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (const char bit : {'\x01', '\x40'}) {
      std::string changed = bytes;
      changed[at] = static_cast<char>(changed[at] ^ bit);
      EXPECT_FALSE(som::decode_record(changed, back)) << "byte " << at;
    }
  }
}

TEST(ContentHasher, DigestDependsOnTheBytesOnly) {
  std::string bytes;
  for (int i = 0; i < 37; ++i) bytes += static_cast<char>(i * 73 + 5);
  const som::content_digest whole = digest_in_pieces(bytes, 0, 0);
  EXPECT_EQ(whole.size, bytes.size());
  for (std::size_t first = 0; first <= bytes.size(); ++first) {
    for (std::size_t second = first; second <= bytes.size(); second += 3) {
      EXPECT_EQ(digest_in_pieces(bytes, first, second), whole) << first << ", " << second;
    }
  }
  // Any change of a byte, and a zero byte more, give another digest.
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string changed = bytes;
    changed[at] = static_cast<char>(changed[at] ^ 0x10);
    EXPECT_NE(digest_in_pieces(changed, 0, 0).hash, whole.hash) << at;
  }
  EXPECT_NE(digest_in_pieces(bytes + '\0', 0, 0).hash, whole.hash);
}

}  // namespace
