// The state files of a save as they lie on disk: their names in the order
// they are written, the files beside each while it is being replaced, and
// the few file operations that the save and its recovery share.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "formats/save_record.hpp"

namespace som {

// Beside the file replaced (links followed): its new content, and its old
// content while the files change places.
inline std::string temp_of(const std::string& target) { return target + temp_suffix; }
inline std::string previous_of(const std::string& target) { return target + previous_suffix; }

// The digest of a file's content.
file_read digest_file(const std::string& path, content_digest& digest);

// True when the file exists and holds exactly the content of `digest`; false
// when it does not; `failed` set when it cannot be read.
bool holds_content(const std::string& path, const content_digest& digest, bool& failed);

// Syncs the folder of each path, each folder once.
bool sync_folders(const std::vector<std::string>& paths);

}  // namespace som
