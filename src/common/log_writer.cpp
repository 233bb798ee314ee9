#include "common/log_writer.hpp"

#include <new>
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

log_writer::log_writer(native_file file) : file_(file) {
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread: write() writes directly.
  }
}

log_writer::~log_writer() { finish(); }

void log_writer::write(std::string_view text) {
  bool call = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (lost_) return;
    try {
      pending_.append(text);
    } catch (const std::bad_alloc&) {
      lost_ = true;
      pending_.clear();
      return;
    }
    call = sleeping_;
    if (!thread_.joinable()) {
      std::string batch;
      batch.swap(pending_);
      put(batch);
      return;
    }
  }
  if (call) wake_.notify_one();
}

void log_writer::put(std::string& batch) {
  if (dropped_) {
    batch.clear();
    return;
  }
  if (unwritten_.empty()) {
    unwritten_.swap(batch);
  } else {
    try {
      unwritten_.append(batch);
    } catch (const std::bad_alloc&) {
      // Nothing more is written: the file stays the beginning of the text.
      dropped_ = true;
    }
  }
  batch.clear();
  if (unwritten_.empty() || dropped_) return;
  std::size_t written = 0;
  if (write_file(file_, unwritten_.data(), unwritten_.size(), &written)) {
    unwritten_.clear();
  } else {
    unwritten_.erase(0, written);
  }
}

bool log_writer::finish() {
  if (finished_) return !lost_ && !dropped_ && unwritten_.empty();
  finished_ = true;
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  // One more try for what a failed write left.
  std::string nothing;
  put(nothing);
  return !lost_ && !dropped_ && unwritten_.empty();
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
    put(batch);
    hold.lock();
  }
}

}  // namespace som
