// The state files of a save as they lie on disk: their names in the order
// they are written, the files beside each while it is being replaced, and
// the few file operations that the save and its recovery share.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/file_names.hpp"
#include "state/save_record.hpp"

namespace som {

// In the order of the record's entries.
inline constexpr const char* state_file_names[state_file_count] = {
    assignments_file_name, final_parameters_file_name, weights_file_name};

// Beside the file replaced (links followed): its new content, and its old
// content while the files change places.
inline std::string temp_of(const std::string& target) { return target + temp_suffix; }
inline std::string previous_of(const std::string& target) { return target + previous_suffix; }

enum class file_read { absent, done, failed };

// The whole content of a (small) file.
file_read read_whole_file(const std::string& path, std::string& bytes);

// The digest of a file's content.
file_read digest_file(const std::string& path, content_digest& digest);

// True when the file exists and holds exactly the content of `digest`; false
// when it does not; `failed` set when it cannot be read.
bool holds_content(const std::string& path, const content_digest& digest, bool& failed);

// Syncs the folder of each path, each folder once.
bool sync_folders(const std::vector<std::string>& paths);

}  // namespace som
