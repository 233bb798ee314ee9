// The pool apart from the kernels: how the tiles are shared, the policy that
// picks the pool or one thread for each run of samples, and the meeting at
// which the threads agree on a winner.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "som/pool/pool_policy.hpp"
#include "som/pool/thread_pool.hpp"
#include "som/pool/tile_shares.hpp"

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

TEST(TileShares, MoveHalfwayTowardsTheMeasuredSpeeds) {
  som::pool::tile_shares shares(2);
  const std::vector<std::size_t> first = {0, 100, 200};
  // Thread 1 waited half the run: it is twice as fast as thread 0, whose
  // share moves halfway from 1/2 towards 1/3.
  shares.rebalance(first, {0, 500}, 1000, 64);
  EXPECT_NEAR(shares.shares()[0], 0.5 + 0.5 * (1.0 / 3.0 - 0.5), 1e-12);
  EXPECT_NEAR(shares.shares()[0] + shares.shares()[1], 1.0, 1e-12);
  // A short run, a thread without tiles or one that waited all along say
  // nothing about speeds.
  const std::vector<double> before = shares.shares();
  shares.rebalance(first, {0, 500}, 1000, 63);
  shares.rebalance({0, 200, 200}, {0, 0}, 1000, 64);
  shares.rebalance(first, {1000, 0}, 1000, 64);
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

// Runs the automatic policy against a machine on which a sample takes
// `alone` or `pooled` seconds, and returns the plans it made.
std::vector<run_plan> simulate(double alone, double pooled, int runs,
                               std::uint32_t remaining = 1000000) {
  pool_policy policy(pool_mode::automatic);
  std::vector<run_plan> plans;
  for (int r = 0; r < runs; ++r) {
    const run_plan p = policy.next(remaining);
    policy.timed(p, p.pooled ? pooled : alone);
    plans.push_back(p);
  }
  return plans;
}

TEST(PoolPolicy, TimesBothWaysFirstThenProbesSoonAndLaterEvery16Runs) {
  const std::vector<run_plan> plans = simulate(2.0, 1.0, 60);
  // The pool first, with its warm-up, then this thread alone: short probes.
  EXPECT_TRUE(plans[0].pooled && plans[0].probe);
  EXPECT_EQ(plans[0].warm_up, pool_policy::warm_up_samples);
  EXPECT_EQ(plans[0].warm_up + plans[0].length, pool_policy::shortest_probe);
  EXPECT_TRUE(!plans[1].pooled && plans[1].probe);
  EXPECT_EQ(plans[1].length, pool_policy::shortest_probe);
  // The faster pool gets the long runs; this thread is probed after 1, 2,
  // 4 and 8 long runs, then every 16.
  std::vector<int> probes;
  for (int r = 2; r < 60; ++r) {
    const run_plan& p = plans[r];
    if (p.probe) {
      EXPECT_FALSE(p.pooled) << "run " << r;
      probes.push_back(r);
    } else {
      EXPECT_TRUE(p.pooled) << "run " << r;
      EXPECT_EQ(p.warm_up + p.length, pool_policy::long_run) << "run " << r;
    }
  }
  EXPECT_EQ(probes, (std::vector<int>{3, 6, 11, 20, 37, 54}));
}

TEST(PoolPolicy, ThePoolMustWinClearlyAndProbesGrowWhileTheyWin) {
  // A pool only 5 % faster does not get the long runs.
  for (const run_plan& p : simulate(1.0, 0.95, 40)) {
    if (!p.probe) {
      EXPECT_FALSE(p.pooled);
    }
  }
  // A pool twice as fast gets them.
  const std::vector<run_plan> fast_pool = simulate(2.0, 1.0, 40);
  EXPECT_TRUE(fast_pool.back().pooled || fast_pool.back().probe);

  // A probe of the way that wins makes the next probe twice as long; one of
  // the way that loses makes it short again.
  pool_policy policy(pool_mode::automatic);
  run_plan p = policy.next(1000000);  // the pool's first probe
  policy.timed(p, 1.0);
  p = policy.next(1000000);  // this thread's first probe
  policy.timed(p, 2.0);
  std::vector<std::uint32_t> lengths;
  for (int r = 0; r < 40; ++r) {
    p = policy.next(1000000);
    // This thread now runs faster than the pool: its probe wins, and it
    // takes the long runs; the pool's next probe then loses.
    policy.timed(p, p.pooled ? 1.0 : 0.5);
    if (p.probe) lengths.push_back(p.warm_up + p.length);
  }
  ASSERT_GE(lengths.size(), 3u);
  EXPECT_EQ(lengths[0], pool_policy::shortest_probe);
  EXPECT_EQ(lengths[1], 2 * pool_policy::shortest_probe);
  EXPECT_EQ(lengths[2], pool_policy::shortest_probe);
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
        agreed[t] = threads == 1 ? mine : som::pool::thread_pool::meet(&pool, t, mine);
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
    using som::pool::thread_pool;
    if (t == 0) {
      EXPECT_EQ(thread_pool::share(&pool, 0, 3.0), 3.0) << "nothing offered yet";
      step = 1;
      wait_for(2);
      // Thread 1 offered 5: this thread's own bound is still the smaller.
      EXPECT_EQ(thread_pool::share(&pool, 0, 4.0), 4.0);
      step = 3;
    } else {
      wait_for(1);
      seen.push_back(thread_pool::share(&pool, 1, 5.0));  // thread 0's 3
      step = 2;
      wait_for(3);
      seen.push_back(thread_pool::share(&pool, 1, 5.0));  // now its 4
    }
    thread_pool::meet(&pool, t, som::kernels::bmu_candidate{1.0, t});
    if (t == 1) {
      // The next sample: what thread 0 offered before the meeting is stale.
      seen.push_back(thread_pool::share(&pool, 1, 9.0));
    }
    thread_pool::meet(&pool, t, som::kernels::bmu_candidate{1.0, t});
  });
  EXPECT_EQ(seen, (std::vector<double>{3.0, 4.0, 9.0}));
}

}  // namespace
