// What the machine offers while a benchmark runs: its memory bandwidth,
// measured on the spot, and its load, so that every timing can be read
// against both.
#pragma once

#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "harness.hpp"

namespace bench {

/// The 1-minute load average, from /proc/loadavg (-1 when unknown).
inline double load_average() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}

/// Seconds of processor time (this process, user and kernel) of the cheapest
/// of `reps` runs of `f`: on a loaded machine it shows what a run costs when
/// the wall clock also counts the time other processes held the core.
template <class F>
double cpu_best_of(int reps, F&& f) {
  auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  double best = 1e300;
  for (int r = 0; r < std::max(reps, 1); ++r) {
    const double start = now();
    f();
    best = std::min(best, now() - start);
  }
  return best;
}

struct Bandwidth {
  double read = 0;   // bytes per second, one thread
  double write = 0;  // bytes per second, one thread (stores to cached-in lines)
};

/// Streams over a buffer of `bytes` (well beyond the caches) on one thread.
inline Bandwidth measure_bandwidth(std::size_t bytes = std::size_t{512} << 20) {
  auto* p = static_cast<std::uint64_t*>(std::aligned_alloc(std::size_t{2} << 20, bytes));
  if (p == nullptr) return {};
  madvise(p, bytes, MADV_HUGEPAGE);
  const std::size_t words = bytes / 8;
  std::memset(p, 1, bytes);
  Bandwidth b;
  std::uint64_t sum = 0;
  b.read = static_cast<double>(bytes) / best_of(3, [&] {
             std::uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
             for (std::size_t i = 0; i < words; i += 4) {
               s0 += p[i];
               s1 += p[i + 1];
               s2 += p[i + 2];
               s3 += p[i + 3];
             }
             sum += s0 + s1 + s2 + s3;
           });
  keep(sum);
  b.write = static_cast<double>(bytes) / best_of(3, [&] {
              std::memset(p, static_cast<int>(sum & 0x7F), bytes);
              keep(p[words / 2]);
            });
  std::free(p);
  return b;
}

inline void print_machine(const Bandwidth& b) {
  std::printf("machine: memory read %.1f GB/s, write %.1f GB/s (one thread); load %.2f\n",
              b.read / 1e9, b.write / 1e9, load_average());
}

}  // namespace bench
