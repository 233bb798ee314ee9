// Writes a log's lines from a thread of its own, flushing the stream after
// each batch, so that the thread producing them never waits for the system:
// on a fast training run a write and a flush per epoch cost more than the
// epoch itself. The file shows each line a fraction of a millisecond after
// it was given.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace som {

class log_writer {
 public:
  // Lines go to `stream`, which stays open and the caller's. Where no thread
  // can be started, each line is written and flushed at once.
  explicit log_writer(std::FILE* stream);
  // Writes and flushes whatever is still waiting, then stops the thread.
  ~log_writer();
  log_writer(const log_writer&) = delete;
  log_writer& operator=(const log_writer&) = delete;

  // Queues the text (which carries its own line end) for writing.
  void write(std::string_view text);

 private:
  void run();

  std::FILE* stream_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::string pending_;    // under lock_
  bool sleeping_ = false;  // the thread waits to be called; under lock_
  bool stopping_ = false;  // under lock_
  std::thread thread_;
};

}  // namespace som
