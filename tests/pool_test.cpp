// The pool apart from the kernels: how the tiles are shared, the policy that
// picks the pool or one thread for each run of samples, and the meeting at
// which the threads agree on a winner.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "som/pool/pool_policy.hpp"
#include "som/pool/thread_pool.hpp"
#include "som/pool/tile_shares.hpp"
#include "som/training/pool_exchange.hpp"

namespace {

using som::pool::pool_mode;
using som::pool::pool_policy;
using som::pool::run_plan;

TEST(TileShares, SplitInProportionWithOneAtLeastEach) {
  std::vector<std::size_t> first;
  som::pool::split_tiles({0.5, 0.5}, 200, first);
  EXPECT_EQ(first, (std::vector<std::size_t>{0, 100, 200}));
  som::pool::split_tiles({0.555, 0.445}, 200, first);
  EXPECT_EQ(first, (std::vector<std::size_t>{0, 111, 200}));
  // Extreme shares still leave every thread a tile.
  som::pool::split_tiles({1.0, 0.0, 0.0}, 5, first);
  EXPECT_EQ(first, (std::vector<std::size_t>{0, 3, 4, 5}));
  som::pool::split_tiles({0.0, 0.0, 1.0}, 5, first);
  EXPECT_EQ(first, (std::vector<std::size_t>{0, 1, 2, 5}));
  // Fewer tiles than threads: some threads get none, none gets a tile twice.
  som::pool::split_tiles({0.5, 0.5}, 1, first);
  EXPECT_EQ(first.front(), 0u);
  EXPECT_EQ(first.back(), 1u);
  EXPECT_LE(first[1], 1u);
  som::pool::split_tiles({0.25, 0.25, 0.25, 0.25}, 0, first);
  EXPECT_EQ(first, (std::vector<std::size_t>{0, 0, 0, 0, 0}));
}

TEST(TileShares, SettleOnTheThreadsSpeedsAndIgnoreWhatSaysNothing) {
  // Thread 1 is twice as fast as thread 0: rebalanced run after run, its
  // share goes to 2/3, and the shares always add up to 1.
  som::pool::tile_shares shares(2);
  std::vector<std::size_t> first;
  for (int run = 0; run < 40; ++run) {
    shares.split(3000, first);
    const double time0 = static_cast<double>(first[1] - first[0]) * 2.0;
    const double time1 = static_cast<double>(first[2] - first[1]);
    const double elapsed = std::max(time0, time1);
    shares.rebalance(
        first,
        {static_cast<std::uint64_t>(elapsed - time0), static_cast<std::uint64_t>(elapsed - time1)},
        static_cast<std::uint64_t>(elapsed), 64);
    EXPECT_NEAR(shares.shares()[0] + shares.shares()[1], 1.0, 1e-12);
  }
  EXPECT_NEAR(shares.shares()[1], 2.0 / 3.0, 0.01);
  // A short run, a thread without tiles or one that waited all along say
  // nothing about speeds.
  const std::vector<double> before = shares.shares();
  const std::vector<std::size_t> halves = {0, 100, 200};
  shares.rebalance(halves, {0, 500}, 1000, 63);
  shares.rebalance({0, 200, 200}, {0, 0}, 1000, 64);
  shares.rebalance(halves, {1000, 0}, 1000, 64);
  EXPECT_EQ(shares.shares(), before);
}

TEST(ThreadsThatPay, OnlyLargeMapsShareTheirWork) {
  EXPECT_EQ(som::pool::threads_that_pay(10, 10, 3), 1u);
  EXPECT_EQ(som::pool::threads_that_pay(8, 8, 8), 1u);
  EXPECT_EQ(som::pool::threads_that_pay(0, 40, 64), 1u);
  // Sizes whose product overflows are not large maps.
  EXPECT_EQ(som::pool::threads_that_pay(4294967295u, 4294967295u, 4294967295u), 1u);
  const unsigned hardware = std::thread::hardware_concurrency();
  const unsigned expected = hardware == 0 ? 1u : (hardware > 64 ? 64u : hardware);
  EXPECT_EQ(som::pool::threads_that_pay(40, 40, 64), expected);
}

TEST(PoolPolicy, ForcedModesTakeTheWholeRestOneWay) {
  pool_policy pool(pool_mode::always_pool);
  pool_policy alone(pool_mode::always_alone);
  for (int run = 0; run < 3; ++run) {
    const run_plan p = pool.next(10000);
    EXPECT_TRUE(p.pooled);
    EXPECT_FALSE(p.probe);
    EXPECT_EQ(p.warm_up, 0u);
    EXPECT_EQ(p.length, 10000u);
    pool.timed(p, 1.0);  // timings change nothing
    const run_plan a = alone.next(10000);
    EXPECT_FALSE(a.pooled);
    EXPECT_EQ(a.length, 10000u);
    alone.timed(a, 1e-9);
  }
}

// Runs the automatic policy over `samples` samples of a machine on which a
// sample takes `alone` or `pooled` seconds (`changed_alone` and
// `changed_pooled` from sample `change` on) and returns the plans it made.
std::vector<run_plan> simulate(double alone, double pooled, std::uint64_t samples,
                               std::uint64_t change = ~std::uint64_t{0}, double changed_alone = 0,
                               double changed_pooled = 0) {
  pool_policy policy(pool_mode::automatic);
  std::vector<run_plan> plans;
  for (std::uint64_t done = 0; done < samples;) {
    const run_plan p = policy.next(1000000);
    const bool changed = done >= change;
    const double took =
        p.pooled ? (changed ? changed_pooled : pooled) : (changed ? changed_alone : alone);
    policy.timed(p, took);
    plans.push_back(p);
    done += p.warm_up + p.length;
  }
  return plans;
}

// What the policy guarantees, whatever its constants: from some sample on,
// bounded for every machine below, the samples go to the faster way, except
// for short probes of the other way that take under a tenth of them.
struct settling {
  std::uint64_t settled_at = 0;   // the first sample from which on it holds
  double slower_share_after = 0;  // of the samples after that
};

settling settle(const std::vector<run_plan>& plans, bool pool_faster, std::uint64_t from = 0) {
  settling out;
  std::uint64_t done = 0;
  for (const run_plan& p : plans) {
    const std::uint64_t length = p.warm_up + p.length;
    if (done >= from && p.pooled != pool_faster && !p.probe) out.settled_at = done + length;
    done += length;
  }
  std::uint64_t after = 0, slower = 0;
  done = 0;
  for (const run_plan& p : plans) {
    const std::uint64_t length = p.warm_up + p.length;
    if (done >= out.settled_at) {
      after += length;
      if (p.pooled != pool_faster) slower += p.length;
    }
    done += length;
  }
  out.slower_share_after = after == 0 ? 1.0 : static_cast<double>(slower) / after;
  return out;
}

TEST(PoolPolicy, SettlesOnTheFasterWayWithinABoundedNumberOfSamples) {
  constexpr std::uint64_t bound = 50000;
  constexpr std::uint64_t samples = 2000000;
  const struct {
    const char* name;
    double alone, pooled;
    bool pool_faster;
  } machines[] = {
      {"pool twice as fast", 2.0, 1.0, true},
      {"pool four times as fast", 4.0, 1.0, true},
      {"this thread twice as fast", 1.0, 2.0, false},
      {"pool only 5 % faster: its timings are too noisy to trust", 1.0, 0.95, false},
  };
  for (const auto& m : machines) {
    SCOPED_TRACE(m.name);
    const settling s = settle(simulate(m.alone, m.pooled, samples), m.pool_faster);
    EXPECT_LE(s.settled_at, bound);
    EXPECT_LT(s.slower_share_after, 0.1);
  }
}

TEST(PoolPolicy, SettlesAgainWhenTheMachinesLoadChanges) {
  constexpr std::uint64_t bound = 200000;
  constexpr std::uint64_t change = 1000000;
  // The pool is faster until another program takes a core from it, and the
  // other way round.
  const settling to_alone = settle(simulate(2.0, 1.0, 3000000, change, 1.0, 3.0), false, change);
  EXPECT_LE(to_alone.settled_at, change + bound);
  EXPECT_LT(to_alone.slower_share_after, 0.1);
  const settling to_pool = settle(simulate(1.0, 3.0, 3000000, change, 2.0, 1.0), true, change);
  EXPECT_LE(to_pool.settled_at, change + bound);
  EXPECT_LT(to_pool.slower_share_after, 0.1);
}

TEST(PoolPolicy, RunsStopAtTheEndOfTheEpoch) {
  pool_policy policy(pool_mode::automatic);
  const run_plan first = policy.next(5);
  EXPECT_TRUE(first.pooled);
  EXPECT_EQ(first.warm_up, 0u) << "no warm-up longer than the run";
  EXPECT_EQ(first.length, 5u);
  policy.timed(first, 1.0);
  const run_plan second = policy.next(30);
  EXPECT_EQ(second.warm_up + second.length, 30u);
}

TEST(ThreadPool, RunsTheJobOnEveryThreadAndTheMeetingAgreesOnTheFirstNearest) {
  for (unsigned threads : {1u, 2u, 3u}) {
    som::pool::thread_pool pool(threads);
    ASSERT_EQ(pool.threads(), threads);
    std::vector<som::kernels::bmu_candidate> agreed(threads);
    std::atomic<unsigned> ran{0};
    for (int round = 0; round < 50; ++round) {
      pool.run([&](unsigned t) {
        ++ran;
        // Every thread offers the same distance on even rounds (the smallest
        // neuron wins), thread 1 a nearer one on odd rounds.
        const bool odd = round % 2 == 1;
        const double distance = odd && t == 1 ? 0.5 : 1.0;
        const std::uint64_t neuron = 100 - t;
        som::kernels::bmu_candidate mine{distance, neuron};
        agreed[t] = threads == 1 ? mine : som::exchange_on_pool(&pool, t, mine);
      });
      const bool odd = round % 2 == 1;
      for (unsigned t = 0; t < threads; ++t) {
        SCOPED_TRACE("round " + std::to_string(round) + ", thread " + std::to_string(t));
        if (odd && threads > 1) {
          EXPECT_EQ(agreed[t].distance, 0.5);
          EXPECT_EQ(agreed[t].neuron, 99u);
        } else {
          EXPECT_EQ(agreed[t].distance, 1.0);
          EXPECT_EQ(agreed[t].neuron, threads == 1 ? 100u : 100u - (threads - 1));
        }
      }
    }
    EXPECT_EQ(ran.load(), 50u * threads);
  }
}

TEST(ThreadPool, BoundsAreSharedForTheSampleOfTheNextMeetingOnly) {
  som::pool::thread_pool pool(2);
  std::atomic<int> step{0};
  auto wait_for = [&](int s) {
    while (step.load() < s) std::this_thread::yield();
  };
  std::vector<double> seen;  // by thread 1, in order
  pool.run([&](unsigned t) {
    if (t == 0) {
      EXPECT_EQ(pool.share(0, 3.0), 3.0) << "nothing offered yet";
      step = 1;
      wait_for(2);
      // Thread 1 offered 5: this thread's own bound is still the smaller.
      EXPECT_EQ(pool.share(0, 4.0), 4.0);
      step = 3;
    } else {
      wait_for(1);
      seen.push_back(pool.share(1, 5.0));  // thread 0's 3
      step = 2;
      wait_for(3);
      seen.push_back(pool.share(1, 5.0));  // now its 4
    }
    pool.meet(t, som::pool::meeting_note{{1, t}});
    if (t == 1) {
      // The next sample: what thread 0 offered before the meeting is stale.
      seen.push_back(pool.share(1, 9.0));
    }
    pool.meet(t, som::pool::meeting_note{{1, t}});
  });
  EXPECT_EQ(seen, (std::vector<double>{3.0, 4.0, 9.0}));
}

}  // namespace
