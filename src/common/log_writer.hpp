// Writes a log's lines from a thread of its own, so that the thread
// producing them never waits for the system: on a fast training run a write
// per epoch costs more than the epoch itself. The file shows each line a
// fraction of a millisecond after it was given.
//
// A write that fails (a disk full for a moment) is tried again with the next
// lines, from the first byte that did not reach the file, so that the file
// is always the beginning of what was given: whole once a later write
// succeeds, and otherwise missing its end, never a line in the middle.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/platform.hpp"

namespace som {

class log_writer {
 public:
  // Lines go to `file`, which stays open and the caller's. Where no thread
  // can be started, each line is written at once.
  explicit log_writer(native_file file);
  // Finishes (see finish()).
  ~log_writer();
  log_writer(const log_writer&) = delete;
  log_writer& operator=(const log_writer&) = delete;

  // Queues the text (which carries its own line end) for writing. Never
  // throws: text that cannot be queued for want of memory is lost, and so
  // is everything after it.
  void write(std::string_view text);

  // Writes whatever still waits, once more where a write failed, and stops
  // the thread. True when every byte given has reached the file.
  bool finish();

 private:
  void run();
  // Writes the bytes that wait, after any that a failed write left.
  void put(std::string& batch);

  native_file file_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::string pending_;    // under lock_
  bool sleeping_ = false;  // the thread waits to be called; under lock_
  bool stopping_ = false;  // under lock_
  bool lost_ = false;      // text was dropped; under lock_
  // The writer's own: what a failed write left, and whether text had to be
  // dropped for want of memory.
  std::string unwritten_;
  bool dropped_ = false;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace som
