// The save of the three state files (see state_save.hpp for the steps).
#include "state/state_save.hpp"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/output_file.hpp"
#include "common/platform.hpp"
#include "formats/assignments_file.hpp"
#include "formats/final_parameters.hpp"
#include "formats/weights_file.hpp"
#include "state/state_files.hpp"

namespace som {

namespace {

// A state file's new content and what a failure to write it is.
struct new_content {
  std::function<bool(byte_sink&)> write;
  failure write_failed;
};

// One state file on its way to being replaced.
struct file_step {
  const char* name = nullptr;
  std::string target;  // the file the name leads to
  bool existed = false;
  unsigned permissions = default_permissions;  // of the old file, for the new one
  output_file out;                             // writes target.tmp
  content_digest content;
  bool backed_up = false;  // the old file is at target.predchozi
  bool installed = false;  // the new file is at target
};

// The files that change places before konecne_parametry.txt, whose change
// is the moment the save takes effect.
constexpr std::size_t swapped_first[] = {0, 2};
static_assert(commit_entry == 1, "swapped_first holds every other entry");

class state_save {
 public:
  failure run(const new_content (&contents)[state_file_count]);

 private:
  bool prepare(std::size_t i);
  failure write_record();
  failure swap();
  bool undo_commit();
  bool put_back();
  std::vector<std::string> targets() const;

  // Ends a save that has touched no state file.
  failure fail(failure what);
  // Ends a save once files have started to change places.
  failure roll_back(failure what);

  file_step steps_[state_file_count];
  std::string old_commit_file_;  // the previous konecne_parametry.txt, for undo_commit
  bool committed_ = false;
};

failure state_save::run(const new_content (&contents)[state_file_count]) {
  for (std::size_t i = 0; i < state_file_count; ++i) {
    if (!prepare(i)) return fail(failure::of(failure_kind::open_failed, steps_[i].name));
  }
  for (std::size_t i = 0; i < state_file_count; ++i) {
    file_step& step = steps_[i];
    struct hashing_sink {
      output_file& out;
      content_hasher hasher;
    } into{step.out, {}};
    byte_sink sink;
    sink.context = &into;
    sink.write = [](void* context, const char* data, std::size_t size) {
      auto& self = *static_cast<hashing_sink*>(context);
      self.hasher.add(data, size);
      return write_output(self.out, data, size);
    };
    if (!contents[i].write(sink)) return fail(contents[i].write_failed);
    if (!close_output(step.out)) return fail(failure::of(failure_kind::close_failed, step.name));
    step.content = into.hasher.digest();
  }
  std::vector<std::string> temps;
  for (const file_step& step : steps_) temps.push_back(step.out.temp_name);
  // The record vouches for the new files: their names go to disk first.
  if (!sync_folders(temps))
    return fail(failure::of(failure_kind::close_failed, save_record_file_name));
  if (failure record_failed = write_record()) return fail(std::move(record_failed));
  if (failure swap_failed = swap()) return swap_failed;
  for (std::size_t i : swapped_first) {
    if (steps_[i].backed_up) remove_file(previous_of(steps_[i].target));
  }
  // Neither removal needs a sync: should a crash bring the record back, the
  // next run finds every new file in place and only removes it.
  remove_file(save_record_file_name);
  return {};
}

// Checks the name as opening it for writing would, then creates the
// temporary file beside the file it leads to, with that file's permissions.
bool state_save::prepare(std::size_t i) {
  file_step& step = steps_[i];
  step.name = saved_map_file_names[i];
  if (!resolve_links(step.name, step.target)) return false;
  const write_check check = check_writable(step.target, step.permissions);
  if (check == write_check::refused) return false;
  step.existed = check == write_check::writable;
  if (i == commit_entry && step.existed &&
      read_whole_file(step.target, old_commit_file_) != file_read::done) {
    return false;
  }
  return open_output(step.out, step.target, step.permissions);
}

failure state_save::write_record() {
  save_record record;
  for (std::size_t i = 0; i < state_file_count; ++i) {
    record.files[i] = save_record_entry{steps_[i].target, steps_[i].existed, steps_[i].content};
  }
  const std::string bytes = encode_record(record);
  native_file file;
  if (const system_result created = create_file(save_record_file_name, default_permissions, file);
      !created) {
    return failure::of(failure_kind::open_failed, save_record_file_name, created.error);
  }
  system_result result = write_file(file, bytes.data(), bytes.size());
  if (result) result = sync_file(file);
  const system_result closed = close_file(file);
  if (result) result = closed;
  if (result) result = sync_folder_of(save_record_file_name);
  if (result) return {};
  remove_file(save_record_file_name);
  return failure::of(failure_kind::close_failed, save_record_file_name, result.error);
}

// A failure of the step of `name` in swap(), with the system's code.
failure swap_failure(const char* name, const system_result& result) {
  return failure::of(failure_kind::close_failed, name, result.error);
}

failure state_save::swap() {
  std::vector<std::string> backups;
  for (std::size_t i : swapped_first) {
    file_step& step = steps_[i];
    if (!step.existed) continue;
    if (const system_result moved = rename_file(step.target, previous_of(step.target)); !moved) {
      return roll_back(swap_failure(step.name, moved));
    }
    step.backed_up = true;
    backups.push_back(step.target);
  }
  // The old files must be safe under their new names before a new file
  // takes the old name.
  if (!sync_folders(backups))
    return roll_back(failure::of(failure_kind::close_failed, save_record_file_name));
  for (std::size_t i : swapped_first) {
    file_step& step = steps_[i];
    if (const system_result moved = rename_file(step.out.temp_name, step.target); !moved) {
      return roll_back(swap_failure(step.name, moved));
    }
    step.installed = true;
  }
  file_step& commit = steps_[commit_entry];
  if (const system_result moved = rename_file(commit.out.temp_name, commit.target); !moved) {
    return roll_back(swap_failure(commit.name, moved));
  }
  committed_ = true;
  if (!sync_folders(targets()))
    return roll_back(failure::of(failure_kind::close_failed, save_record_file_name));
  return {};
}

std::vector<std::string> state_save::targets() const {
  std::vector<std::string> paths;
  for (const file_step& step : steps_) paths.push_back(step.target);
  return paths;
}

failure state_save::fail(failure what) {
  for (file_step& step : steps_) {
    if (!step.out.temp_name.empty()) discard_output(step.out);
  }
  return what;
}

failure state_save::roll_back(failure what) {
  // Undone in the reverse order, so that at every instant the recovery of
  // the next run finds one whole set; when a step of this fails too, the
  // record stays and the next run finishes the job.
  if (put_back()) {
    for (file_step& step : steps_) remove_file(step.out.temp_name);
  }
  return what;
}

// Puts the previous konecne_parametry.txt back in one step (a rename of a
// copy of it over the new one), so that the save no longer counts as done.
bool state_save::undo_commit() {
  const file_step& commit = steps_[commit_entry];
  if (!commit.existed) return remove_file(commit.target).ok;
  const std::string copy = previous_of(commit.target);
  native_file file;
  if (!create_file(copy, commit.permissions, file)) return false;
  bool ok = write_file(file, old_commit_file_.data(), old_commit_file_.size()) && sync_file(file);
  ok = close_file(file) && ok;
  return ok && rename_file(copy, commit.target);
}

bool state_save::put_back() {
  if (committed_ && !undo_commit()) return false;
  committed_ = false;
  // Each new file goes back to its temporary name before the old one
  // returns: a recovery that goes forward still finds every new file.
  for (auto i = std::end(swapped_first); i != std::begin(swapped_first);) {
    file_step& step = steps_[*--i];
    if (step.installed && !rename_file(step.target, step.out.temp_name)) return false;
    step.installed = false;
    if (step.backed_up && !rename_file(previous_of(step.target), step.target)) return false;
    step.backed_up = false;
  }
  // The previous files must be back on disk before the record goes, and the
  // record gone before the new files do.
  return sync_folders(targets()) && remove_file(save_record_file_name) &&
         sync_folder_of(save_record_file_name);
}

}  // namespace

failure save_state(const assignment_table& assignments, std::uint32_t Krok, std::uint32_t seed,
                   std::uint32_t Rozdil, const weight_grid& grid) {
  const new_content contents[state_file_count] = {
      {[&](byte_sink& sink) { return write_assignments(assignments, sink); },
       failure::of(failure_kind::close_failed, assignments_file_name)},
      {[&](byte_sink& sink) {
         return write_final_parameters({Krok, seed, Rozdil}, sink);
       },
       failure::of(failure_kind::close_failed, final_parameters_file_name)},
      {[&](byte_sink& sink) { return write_weights(grid, sink); },
       failure::of(failure_kind::write_failed, weights_file_name)},
  };
  state_save save;
  return save.run(contents);
}

}  // namespace som
