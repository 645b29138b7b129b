#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <stdexcept>
#include <thread>

#include "interrupt.hpp"
#include "pool.hpp"

namespace pool = varnel::pool;

TEST(Pool, ParallelForVisitsEveryIndexOnce) {
  for (std::uint64_t n : {0ull, 1ull, 7ull, 1000ull, 100003ull}) {
    std::vector<std::atomic<int>> hits(n);
    pool::parallel_for(n, 97, [&](std::uint64_t b, std::uint64_t e) {
      for (auto i = b; i < e; ++i) hits[i].fetch_add(1);
    });
    for (auto& h : hits) ASSERT_EQ(h.load(), 1);
  }
}

TEST(Pool, ReduceIsIndependentOfThreadsAndFixedOrder) {
  // A non-associative join (string concatenation of chunk labels) shows the tree.
  auto label = [](std::uint64_t b, std::uint64_t) { return std::to_string(b); };
  auto join = [](std::string a, std::string b) { return "(" + a + "," + b + ")"; };
  const std::string once = pool::parallel_reduce<std::string>(50, 10, "", label, join);
  EXPECT_EQ(once, "((0,10),(20,(30,40)))");
  for (int rep = 0; rep < 20; ++rep) {
    EXPECT_EQ(pool::parallel_reduce<std::string>(50, 10, "", label, join), once);
  }
  const auto sum = pool::parallel_reduce<std::uint64_t>(
      1000000, 4096, 0,
      [](std::uint64_t b, std::uint64_t e) {
        std::uint64_t s = 0;
        for (auto i = b; i < e; ++i) s += i;
        return s;
      },
      [](std::uint64_t a, std::uint64_t b) { return a + b; });
  EXPECT_EQ(sum, 999999ull * 1000000ull / 2);
}

TEST(Pool, FailuresReachTheCaller) {
  EXPECT_THROW(pool::parallel_for(1000, 1,
                                  [](std::uint64_t b, std::uint64_t) {
                                    if (b == 500) throw std::runtime_error("boom");
                                  }),
               std::runtime_error);
  // The pool still works afterwards.
  std::atomic<int> count{0};
  pool::parallel_for(100, 1, [&](std::uint64_t, std::uint64_t) { count++; });
  EXPECT_EQ(count.load(), 100);
}

TEST(Pool, NestedLoopsRunInline) {
  std::atomic<int> count{0};
  pool::parallel_for(8, 1, [&](std::uint64_t, std::uint64_t) {
    pool::parallel_for(8, 1, [&](std::uint64_t, std::uint64_t) { count++; });
  });
  EXPECT_EQ(count.load(), 64);
}

TEST(Pool, UsableInForkedChild) {
  std::atomic<int> count{0};
  pool::parallel_for(64, 1, [&](std::uint64_t, std::uint64_t) { count++; });
  ASSERT_EQ(count.load(), 64);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::atomic<int> child{0};
    pool::parallel_for(64, 1, [&](std::uint64_t, std::uint64_t) { child++; });
    _exit(child.load() == 64 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// --- a pool that cannot start all its threads ----------------------------------

class RefusedThreads : public ::testing::TestWithParam<unsigned> {
 protected:
  void TearDown() override { pool::testing::rebuild(4, ~0u); }
};

TEST_P(RefusedThreads, LoopsRunOnTheThreadsThatStarted) {
  const unsigned startable = GetParam();
  pool::testing::rebuild(16, startable);
  EXPECT_EQ(pool::num_threads(), std::min(startable, 15u) + 1);
  std::vector<std::atomic<int>> hits(5000);
  pool::parallel_for(hits.size(), 7, [&](std::uint64_t b, std::uint64_t e) {
    for (auto i = b; i < e; ++i) hits[i].fetch_add(1);
  });
  for (auto& h : hits) ASSERT_EQ(h.load(), 1);
  const auto sum = pool::parallel_reduce<std::uint64_t>(
      100000, 1000, 0,
      [](std::uint64_t b, std::uint64_t e) {
        return (e - 1) * e / 2 - (b == 0 ? 0 : (b - 1) * b / 2);
      },
      [](std::uint64_t a, std::uint64_t b) { return a + b; });
  EXPECT_EQ(sum, 99999ull * 100000ull / 2);
}

INSTANTIATE_TEST_SUITE_P(Pool, RefusedThreads, ::testing::Values(0u, 1u, 5u, 100u));

// --- stopping a loop early -------------------------------------------------------

namespace interrupt = varnel::interrupt;

// A check that asks to stop from its `after`-th call on; counts its calls.
std::atomic<int> g_checks{0};
std::atomic<int> g_stop_after{0};
bool counting_check() { return ++g_checks >= g_stop_after.load(); }

class Stopping : public ::testing::Test {
 protected:
  void arm(int after) {
    g_checks = 0;
    g_stop_after = after;
    interrupt::set_check(&counting_check);
  }
  void TearDown() override { interrupt::set_check(nullptr); }
};

TEST_F(Stopping, ParallelLoopStopsSoonAfterTheCheckFires) {
  arm(3);
  std::atomic<std::uint64_t> done{0};
  EXPECT_THROW(pool::parallel_for(1000000, 1,
                                  [&](std::uint64_t, std::uint64_t) {
                                    done++;
                                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                                  }),
               interrupt::Interrupted);
  // The caller checked a few times; each worker finished at most its chunk.
  EXPECT_LT(done.load(), 100u);
  // The next loop starts afresh once the check is quiet again.
  interrupt::set_check(nullptr);
  std::atomic<int> count{0};
  pool::parallel_for(100, 1, [&](std::uint64_t, std::uint64_t) { count++; });
  EXPECT_EQ(count.load(), 100);
}

TEST_F(Stopping, CallerWaitingForLongChunksPollsTheCheck) {
  // The caller finishes its own chunk at once; the workers' chunks are long,
  // so the stop comes from the polls of the fork-join wait.
  pool::testing::rebuild(3, ~0u);
  arm(2);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(pool::run(3,
                         [&](unsigned p) {
                           if (p == 0) return;
                           for (int i = 0; i < 400 && !interrupt::stop_requested(); ++i) {
                             std::this_thread::sleep_for(std::chrono::milliseconds(5));
                           }
                           interrupt::checkpoint();
                         }),
               interrupt::Interrupted);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took.count(), 1.0);
  pool::testing::rebuild(4, ~0u);
}

TEST_F(Stopping, SerialLoopsAndPacersCheckOnTheCallingThread) {
  arm(5);
  int steps = 0;
  EXPECT_THROW(
      {
        for (; steps < 1000; ++steps) interrupt::checkpoint();
      },
      interrupt::Interrupted);
  EXPECT_EQ(steps, 4);
  arm(2);
  interrupt::Pacer pacer(100);
  std::uint64_t units = 0;
  EXPECT_THROW(
      {
        for (; units < 100000; units += 10) pacer.tick(10);
      },
      interrupt::Interrupted);
  EXPECT_EQ(g_checks.load(), 2);
  EXPECT_LT(units, 300u);
}

TEST(Pool, NoCheckInstalledCostsNothingAndNeverStops) {
  std::atomic<int> count{0};
  pool::parallel_for(1000, 1, [&](std::uint64_t, std::uint64_t) {
    interrupt::checkpoint();
    count++;
  });
  EXPECT_EQ(count.load(), 1000);
}

TEST(Pool, LoopFromAnotherThreadWhileBusyRunsInline) {
  // While one thread's job holds the pool, a loop from a second thread does
  // not wait for the pool: it runs on that thread.
  pool::testing::rebuild(4, ~0u);
  std::atomic<bool> inside{false};
  std::atomic<bool> release{false};
  std::thread first([&] {
    pool::run(2, [&](unsigned p) {
      if (p != 0) return;
      inside = true;
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  });
  while (!inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::vector<unsigned> order;
  pool::run(3, [&](unsigned p) { order.push_back(p); });  // no data race: one thread
  release = true;
  first.join();
  EXPECT_EQ(order, (std::vector<unsigned>{0, 1, 2}));
}
