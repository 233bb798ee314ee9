#include "som/pool/thread_pool.hpp"

#include <exception>

#include "som/pool/spin_wait.hpp"

namespace som::pool {

struct alignas(64) thread_pool::slot {
  // Written by its own thread only: at each meeting the note, then the
  // count of meetings reached, which the other threads wait for. One cache
  // line carries both, so a meeting costs one transfer per pair of threads.
  std::atomic<std::uint32_t> reached{0};
  meeting_note note[2];        // by the parity of the meeting
  std::uint64_t waited = 0;    // ticks spent waiting in this run
  std::uint64_t meetings = 0;  // meetings passed since the pool began
  // Every thread's note of this thread's last meeting, as meet returns them;
  // read and written by its own thread only.
  std::unique_ptr<meeting_note[]> gathered;
  // Written by its own thread only, on a line of their own (they change
  // several times between meetings): the value offered for meeting
  // `offered_for` (counted like `meetings`), then that number.
  alignas(64) std::atomic<double> offered{0.0};
  std::atomic<std::uint64_t> offered_for{0};
};

thread_pool::thread_pool(unsigned threads)
    : threads_(threads == 0 ? 1 : threads), slots_(std::make_unique<slot[]>(threads_)) {
  for (unsigned t = 0; t < threads_; ++t) {
    slots_[t].gathered = std::make_unique<meeting_note[]>(threads_);
  }
  try {
    workers_.reserve(threads_ - 1);
    for (unsigned t = 1; t < threads_; ++t) workers_.emplace_back([this, t] { work(t); });
  } catch (const std::exception&) {
    // A thread the system cannot start (or no room to keep it): the pool
    // works on the calling thread alone, which gives the same results.
    stop_workers();
    threads_ = 1;
  }
}

thread_pool::~thread_pool() { stop_workers(); }

void thread_pool::stop_workers() {
  if (workers_.empty()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& w : workers_) w.join();
  workers_.clear();
}

const meeting_note* thread_pool::meet(unsigned thread, meeting_note mine) {
  slot& own = slots_[thread];
  const std::uint32_t round = own.reached.load(std::memory_order_relaxed) + 1u;
  const unsigned parity = round & 1u;
  own.note[parity] = mine;
  ++own.meetings;
  own.reached.store(round, std::memory_order_release);
  for (unsigned t = 0; t < threads_; ++t) {
    if (t == thread) continue;
    const std::atomic<std::uint32_t>& other = slots_[t].reached;
    if (static_cast<std::int32_t>(other.load(std::memory_order_acquire) - round) >= 0) continue;
    // Only a thread that has to wait reads the clock: it has time to spare.
    const std::uint64_t from = ticks();
    wait_until_reached(other, round);
    own.waited += ticks() - from;
  }
  // A thread writes this parity again only two meetings later, after every
  // thread has reached the next one, so it is stable while read here.
  meeting_note* all = own.gathered.get();
  for (unsigned t = 0; t < threads_; ++t) all[t] = slots_[t].note[parity];
  return all;
}

double thread_pool::share(unsigned thread, double value) {
  slot& own = slots_[thread];
  const std::uint64_t next = own.meetings + 1;
  own.offered.store(value, std::memory_order_relaxed);
  own.offered_for.store(next, std::memory_order_release);
  // A thread offers for the following meeting only after this one, which
  // waits for this thread: a value read under `next` is one offered for it.
  for (unsigned t = 0; t < threads_; ++t) {
    if (t == thread) continue;
    const slot& other = slots_[t];
    if (other.offered_for.load(std::memory_order_acquire) != next) continue;
    const double offered = other.offered.load(std::memory_order_relaxed);
    if (offered < value) value = offered;
  }
  return value;
}

std::uint64_t thread_pool::waited(unsigned t) const { return slots_[t].waited; }

void thread_pool::work(unsigned thread) {
  std::uint64_t seen = 0;
  while (true) {
    const std::function<void(unsigned)>* job;
    {
      std::unique_lock<std::mutex> hold(lock_);
      wake_.wait(hold, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      job = job_;
    }
    (*job)(thread);
    {
      std::lock_guard<std::mutex> hold(lock_);
      ++finished_;
    }
    done_.notify_one();
  }
}

void thread_pool::run(const std::function<void(unsigned)>& job) {
  for (unsigned t = 0; t < threads_; ++t) slots_[t].waited = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    job_ = &job;
    finished_ = 0;
    ++generation_;
  }
  wake_.notify_all();
  job(0);
  std::unique_lock<std::mutex> hold(lock_);
  done_.wait(hold, [&] { return finished_ == threads_ - 1; });
  job_ = nullptr;
}

}  // namespace som::pool
