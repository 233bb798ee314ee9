// Setting the times files were last written, for tests of what the report
// makes of a folder whose run is finished or still training.
#pragma once

#include <chrono>
#include <filesystem>

namespace som_test {

// Makes the file look last written `seconds` before now.
inline void set_written_ago(const std::filesystem::path& path, int seconds) {
  std::filesystem::last_write_time(
      path, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(seconds));
}

}  // namespace som_test
