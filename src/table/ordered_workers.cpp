#include "table/ordered_workers.hpp"

#include <system_error>

namespace som {

ordered_workers::ordered_workers(unsigned threads) {
  for (unsigned t = 0; t < threads; ++t) {
    try {
      threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // the jobs run on the threads there are
    }
  }
}

ordered_workers::~ordered_workers() {
  {
    std::unique_lock<std::mutex> guard(lock_);
    job_ended_.wait(guard, [this] { return waiting_.empty(); });
    stopping_ = true;
  }
  job_waiting_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void ordered_workers::hand_in(std::function<void()> job) {
  ++outstanding_;
  if (threads_.empty()) {
    job();
    ended_.push_back(true);
    ++handed_in_;
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    waiting_.emplace_back(handed_in_++, std::move(job));
    ended_.push_back(false);
  }
  job_waiting_.notify_one();
}

void ordered_workers::wait_oldest() {
  std::unique_lock<std::mutex> guard(lock_);
  job_ended_.wait(guard, [this] { return !ended_.empty() && ended_.front(); });
  ended_.pop_front();
  ++first_unwaited_;
  --outstanding_;
}

void ordered_workers::work() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    job_waiting_.wait(guard, [this] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // stopping
    auto [number, job] = std::move(waiting_.front());
    waiting_.pop_front();
    guard.unlock();
    job();
    guard.lock();
    ended_[static_cast<std::size_t>(number - first_unwaited_)] = true;
    // The caller may wait for this job, or the destructor for the last one.
    job_ended_.notify_all();
  }
}

}  // namespace som
