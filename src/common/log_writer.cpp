#include "common/log_writer.hpp"

#include <system_error>

namespace som {

namespace {

// Lines that follow each other within this time are collected by looking
// for them every poll_interval: the producer then never has to call the
// thread, which would cost it a system call per line. Slower lines are
// waited for without a time limit, and the producer calls.
constexpr std::chrono::microseconds busy_gap{1000};
constexpr std::chrono::microseconds poll_interval{200};

}  // namespace

log_writer::log_writer(std::FILE* stream) : stream_(stream) {
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread: write() writes directly.
  }
}

log_writer::~log_writer() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void log_writer::write(std::string_view text) {
  if (!thread_.joinable()) {
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
    return;
  }
  bool call;
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_.append(text);
    call = sleeping_;
  }
  if (call) wake_.notify_one();
}

void log_writer::run() {
  using clock = std::chrono::steady_clock;
  std::string batch;
  clock::time_point last = clock::now() - busy_gap;  // the last batch taken
  clock::duration gap = busy_gap;                    // between the last two
  std::unique_lock<std::mutex> hold(lock_);
  while (true) {
    if (pending_.empty()) {
      if (stopping_) return;
      const clock::time_point now = clock::now();
      if (gap < busy_gap && now - last < busy_gap) {
        wake_.wait_for(hold, poll_interval);
      } else {
        sleeping_ = true;
        wake_.wait(hold, [this] { return !pending_.empty() || stopping_; });
        sleeping_ = false;
      }
      continue;
    }
    batch.swap(pending_);
    const clock::time_point now = clock::now();
    gap = now - last;
    last = now;
    hold.unlock();
    std::fwrite(batch.data(), 1, batch.size(), stream_);
    std::fflush(stream_);
    batch.clear();
    hold.lock();
  }
}

}  // namespace som
