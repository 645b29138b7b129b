#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <numeric>
#include <stdexcept>

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
