// A team of threads that runs one job on all of them at once, and the
// meetings at which the threads of a job hand each other a note (a sample's
// candidate winner, say). The calling thread is thread 0; the others live as
// long as the pool and sleep between jobs. The pool knows nothing of what
// the job computes nor of what the notes mean.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace som::pool {

// What a thread brings to a meeting: two words, which the pool hands to the
// other threads as they are.
struct meeting_note {
  std::uint64_t words[2];
};

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

  // The meeting, called by every thread of a job in turn: hands thread
  // `thread`'s note to the others, waits until every thread has brought
  // its own, and returns all of them, thread t's at [t]: the same notes on
  // every thread. They stay valid until this thread's next meeting.
  const meeting_note* meet(unsigned thread, meeting_note mine);

  // Between two meetings: offers thread `thread`'s value for the next
  // meeting and returns the smallest value offered for it so far by any
  // thread. Waits for nobody: a value not yet offered is simply not seen.
  double share(unsigned thread, double value);

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
