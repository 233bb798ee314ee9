// trenovani.txt while the epochs run: made anew with its header before the
// first epoch, then one line per epoch, formatted here
// (formats/training_log.hpp) and written by a thread of its own
// (common/log_writer.hpp), so that the training never waits for the system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/failure.hpp"
#include "common/log_writer.hpp"
#include "common/output_file.hpp"
#include "som/training/train_map.hpp"

namespace som {

class training_log_lines {
 public:
  training_log_lines() = default;
  training_log_lines(const training_log_lines&) = delete;
  training_log_lines& operator=(const training_log_lines&) = delete;
  ~training_log_lines();

  // Makes the log anew with its header: written beside the old log (links
  // followed, as a save does) as trenovani.txt.tmp, then renamed over it,
  // so that no other link to the old file changes and a reader never finds
  // the name missing. Returns open_failed of trenovani.txt when it cannot
  // be made, or none.
  failure open();

  // The epochs' lines; valid while this lives and after open().
  epoch_sink sink();

  // Writes what still waits and closes the file. Returns close_failed of
  // trenovani.txt when closing fails, or none; `whole` tells whether every
  // line reached the file (the run says when not).
  failure close(bool& whole);

 private:
  output_file file_;
  std::optional<log_writer> writer_;
  std::string line_;
};

}  // namespace som
