// Reading a report page back: its pictures, decoded, and whether its tags
// are closed in order.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace som_test {

struct decoded_png {
  std::uint32_t width = 0, height = 0;
  int colour_type = -1;
  std::size_t palette_entries = 0;
  std::vector<std::string> rows;  // unfiltered pixel bytes of each row
};

// Decodes what the report writes: stored deflate blocks, filter 0, with
// every chunk's CRC and the zlib checksum checked.
decoded_png decode_png(const std::string& png);

// Every inline PNG of the page, in page order.
std::vector<decoded_png> page_pictures(const std::string& page);

// Checks that every tag is closed in order (void elements written as "<x/>").
::testing::AssertionResult tags_balanced(const std::string& page);

// The text between `before` and the next `after`, from the first `before`
// on; empty when there is none.
std::string text_between(const std::string& page, const std::string& before,
                         const std::string& after);

}  // namespace som_test
