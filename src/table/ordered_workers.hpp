// A few threads that run jobs handed in one after another, each on whichever
// thread is free, and hand them back in the order they came: the caller
// hands in work ahead, then waits for the oldest job and takes its results.
// The threads meet only when a job is handed in or finished (a lock for
// each job, none inside it); they know nothing of what the jobs compute.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace som {

class ordered_workers {
 public:
  // Starts `threads` threads (fewer when the system refuses one; with none,
  // each job runs on the caller as it is handed in).
  explicit ordered_workers(unsigned threads);
  // Waits for the jobs handed in to end, then ends the threads.
  ~ordered_workers();
  ordered_workers(const ordered_workers&) = delete;
  ordered_workers& operator=(const ordered_workers&) = delete;

  unsigned threads() const { return static_cast<unsigned>(threads_.size()); }

  // Hands in a job, which must not throw.
  void hand_in(std::function<void()> job);
  // Waits until the oldest job not yet waited for has ended.
  void wait_oldest();
  // Jobs handed in and not yet waited for.
  std::size_t outstanding() const { return outstanding_; }

 private:
  void work();

  std::vector<std::thread> threads_;
  std::mutex lock_;
  std::condition_variable job_waiting_;  // for the threads
  std::condition_variable job_ended_;    // for the caller
  // Under lock_: the jobs not yet started, the end of each job not yet
  // waited for (oldest first), and the number of the first of those.
  std::deque<std::pair<std::uint64_t, std::function<void()>>> waiting_;
  std::deque<bool> ended_;
  std::uint64_t first_unwaited_ = 0;
  std::uint64_t handed_in_ = 0;
  bool stopping_ = false;
  std::size_t outstanding_ = 0;  // the caller's own count
};

}  // namespace som
