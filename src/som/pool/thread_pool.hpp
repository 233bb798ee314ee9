// A team of threads that runs one job on all of them at once, and the
// meeting at which they agree on each sample's winner. The calling thread is
// thread 0; the others live as long as the pool and sleep between jobs. The
// pool knows nothing of what the job computes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "som/kernels/kernel.hpp"

namespace som::pool {

class thread_pool {
 public:
  // Starts threads − 1 workers (none for one thread). When one cannot be
  // started, the pool has one thread: threads() says how many it has.
  explicit thread_pool(unsigned threads);
  ~thread_pool();
  thread_pool(const thread_pool&) = delete;
  thread_pool& operator=(const thread_pool&) = delete;

  unsigned threads() const { return threads_; }

  // Runs job(t) on every thread t at once and returns when all have ended.
  // Each thread's time spent waiting at meetings starts again from 0.
  void run(const std::function<void(unsigned thread)>& job);

  // The meeting (a kernels::exchange_fn, with the pool as `sync`): hands
  // thread `thread`'s candidate to the others and returns the nearest of
  // all, the same on every thread.
  static kernels::bmu_candidate meet(void* sync, unsigned thread, kernels::bmu_candidate mine);

  // Between two meetings (a kernels::share_fn, with the pool as `sync`):
  // offers thread `thread`'s bound for the sample of the next meeting and
  // returns the smallest bound offered for it so far by any thread. Waits
  // for nobody: a bound not yet offered is simply not seen.
  static double share(void* sync, unsigned thread, double bound);

  // The ticks thread t spent waiting at meetings during the last run.
  std::uint64_t waited(unsigned t) const;

 private:
  struct slot;
  void work(unsigned thread);
  void stop_workers();

  unsigned threads_;
  std::unique_ptr<slot[]> slots_;
  std::vector<std::thread> workers_;
  const std::function<void(unsigned)>* job_ = nullptr;  // under lock_ while set
  // The start and the end of each run; between runs the workers sleep on
  // `wake_`.
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::uint64_t generation_ = 0;  // runs started, under lock_
  unsigned finished_ = 0;         // workers done with this run, under lock_
  bool stopping_ = false;         // under lock_
};

}  // namespace som::pool
