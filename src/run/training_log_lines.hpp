// The lines of trenovani.txt as the epochs end: formatted here
// (formats/training_log.hpp) and written and flushed by a thread of their
// own (common/log_writer.hpp), so that the training never waits for the
// system. Once this is gone, every line is in the stream, flushed.
#pragma once

#include <cstdio>
#include <string>

#include "common/log_writer.hpp"
#include "som/train_map.hpp"

namespace som {

class training_log_lines {
 public:
  // The stream stays open and the caller's.
  explicit training_log_lines(std::FILE* stream) : writer_(stream) {}

  // Valid while this lives.
  epoch_sink sink();

 private:
  log_writer writer_;
  std::string line_;
};

}  // namespace som
