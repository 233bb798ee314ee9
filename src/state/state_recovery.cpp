// Recovery of a save that an earlier run left unfinished (see
// state_save.hpp). Every step can be cut short and done again: nothing here
// depends on how far an earlier recovery got.
#include "state/state_recovery.hpp"

#include <string>
#include <vector>

#include "common/input_file.hpp"
#include "common/platform.hpp"
#include "state/state_files.hpp"

namespace som {

namespace {

// The files the save replaces now, worked out as the save does (links
// followed); null, or the name whose links cannot be followed.
const char* own_targets(std::string (&targets)[state_file_count]) {
  for (std::size_t i = 0; i < state_file_count; ++i) {
    if (!resolve_links(saved_map_file_names[i], targets[i])) return saved_map_file_names[i];
  }
  return nullptr;
}

// A record is acted on only when every entry names exactly the file that
// the save of its name would replace: whatever else a record names (a path
// outside the folder, a file of the user's) is never touched.
bool names_own_targets(const save_record& record, const std::string (&targets)[state_file_count]) {
  for (std::size_t i = 0; i < state_file_count; ++i) {
    if (record.files[i].target != targets[i]) return false;
  }
  return true;
}

// Without a whole record no state file has been touched: what lies beside
// the files is left over from a save that never got that far, or from the
// last steps of one that was done.
void drop_unrecorded_files(const std::string (&targets)[state_file_count]) {
  for (const std::string& target : targets) {
    remove_file(temp_of(target));
    remove_file(previous_of(target));
  }
}

std::vector<std::string> targets_of(const save_record& record) {
  std::vector<std::string> paths;
  for (const save_record_entry& entry : record.files) paths.push_back(entry.target);
  return paths;
}

// Moves the remaining new files into place. Returns the name of the state
// file that cannot be, or of the record when a folder cannot be synced;
// null when every file holds its new content.
const char* go_forward(const save_record& record) {
  for (std::size_t i = 0; i < state_file_count; ++i) {
    const save_record_entry& entry = record.files[i];
    const std::string temp = temp_of(entry.target);
    const file_presence presence = find_file(temp);
    if (presence == file_presence::unknown) return saved_map_file_names[i];
    if (presence == file_presence::absent) continue;
    bool failed = false;
    // A temporary file that is not the recorded one belongs to no save we
    // know of: it is not put in place.
    if (!holds_content(temp, entry.content, failed) || !rename_file(temp, entry.target)) {
      return saved_map_file_names[i];
    }
  }
  if (!sync_folders(targets_of(record))) return save_record_file_name;
  for (std::size_t i = 0; i < state_file_count; ++i) {
    bool failed = false;
    if (!holds_content(record.files[i].target, record.files[i].content, failed)) {
      return saved_map_file_names[i];
    }
  }
  for (const save_record_entry& entry : record.files) remove_file(previous_of(entry.target));
  return nullptr;
}

// Moves the previous files back. Returns the name of the state file that
// cannot be, or of the record when a folder cannot be synced; null when done.
const char* go_back(const save_record& record) {
  for (std::size_t i = 0; i < state_file_count; ++i) {
    if (i == commit_entry) continue;  // never moved aside
    const save_record_entry& entry = record.files[i];
    bool failed = false;
    const bool target_is_new = holds_content(entry.target, entry.content, failed);
    if (failed) return saved_map_file_names[i];
    if (!entry.existed) {
      if (target_is_new && !remove_file(entry.target)) return saved_map_file_names[i];
      continue;
    }
    const std::string previous = previous_of(entry.target);
    const file_presence presence = find_file(previous);
    if (presence == file_presence::unknown) return saved_map_file_names[i];
    if (presence == file_presence::absent) continue;  // not moved aside, or already back
    // A file put in the target's place by someone else since the crash is
    // left alone.
    const file_presence target = find_file(entry.target);
    if (target == file_presence::unknown) return saved_map_file_names[i];
    if ((target == file_presence::absent || target_is_new) &&
        !rename_file(previous, entry.target)) {
      return saved_map_file_names[i];
    }
  }
  if (!sync_folders(targets_of(record))) return save_record_file_name;
  for (const save_record_entry& entry : record.files) {
    remove_file(temp_of(entry.target));
    remove_file(previous_of(entry.target));
  }
  return nullptr;
}

}  // namespace

failure recover_state() {
  std::string bytes;
  const file_read read = read_whole_file(save_record_file_name, bytes);
  if (read != file_read::done && read != file_read::absent)
    return failure_of(read, save_record_file_name);
  std::string targets[state_file_count];
  if (const char* unresolved = own_targets(targets))
    return failure::of(failure_kind::open_failed, unresolved);
  save_record record;
  if (read == file_read::absent || !decode_record(bytes, record) ||
      !names_own_targets(record, targets)) {
    drop_unrecorded_files(targets);
    if (read == file_read::absent) return {};
    const system_result removed = remove_file(save_record_file_name);
    if (removed) return {};
    return failure::of(failure_kind::open_failed, save_record_file_name, removed.error);
  }
  const save_record_entry& commit = record.files[commit_entry];
  bool failed = false;
  const bool saved = holds_content(commit.target, commit.content, failed);
  const char* fault = failed  ? saved_map_file_names[commit_entry]
                      : saved ? go_forward(record)
                              : go_back(record);
  // The record goes last: until then a recovery cut short starts over.
  if (fault != nullptr) return failure::of(failure_kind::open_failed, fault);
  const system_result removed = remove_file(save_record_file_name);
  if (removed) return {};
  return failure::of(failure_kind::open_failed, save_record_file_name, removed.error);
}

}  // namespace som
