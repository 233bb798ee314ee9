// The 1797 handwritten digits of the benchmarks (bench/data/digits.csv.gz):
// 64 pixel counts (0 to 16) and the digit, per line. Read with zlib, where
// the tests were configured with it (SOM_TEST_ZLIB).
#pragma once

#ifdef SOM_TEST_ZLIB
#include <zlib.h>

#include <cstddef>
#include <string>

namespace som_test {

// Appends each digit's 64 counts to `data` as a line of data.txt and the
// digit to `labels` as a line of popisky.txt; `keep(i)` says whether line i
// (from 0) is taken. False when the file cannot be read.
template <typename Keep>
bool read_digits(std::string& data, std::string& labels, Keep keep) {
  gzFile file = gzopen(SOM_SOURCE_DIR "/bench/data/digits.csv.gz", "rb");
  if (file == nullptr) return false;
  std::string text;
  char buffer[1 << 16];
  int got;
  while ((got = gzread(file, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
  gzclose(file);
  std::size_t index = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const std::size_t last = line.rfind(',');
    if (last == std::string::npos) continue;
    if (!keep(index++)) continue;
    std::string values = line.substr(0, last);
    for (char& c : values) c = c == ',' ? ' ' : c;
    data += values + "\n";
    labels += line.substr(last + 1) + "\n";
  }
  return true;
}

inline bool read_digits(std::string& data, std::string& labels) {
  return read_digits(data, labels, [](std::size_t) { return true; });
}

}  // namespace som_test
#endif
