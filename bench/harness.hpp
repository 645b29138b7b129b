// A small benchmark harness: times our code and a plain implementation of the
// same algorithm in one run and prints both times and the ratio.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <type_traits>
#include <chrono>
#include <cstdio>
#include <string>

namespace bench {

/// Seconds of the fastest of `reps` runs of `f` (at least one run).
template <class F>
double best_of(int reps, F&& f) {
  double best = 1e300;
  for (int r = 0; r < std::max(reps, 1); ++r) {
    const auto start = std::chrono::steady_clock::now();
    f();
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    best = std::min(best, d.count());
  }
  return best;
}

/// Prints one comparison line: name, our time, the plain time, plain / ours.
inline void report(const std::string& name, double ours, double plain) {
  std::printf("%-48s ours %10.3f ms   plain %10.3f ms   ratio %8.1fx\n", name.c_str(), ours * 1e3,
              plain * 1e3, plain / ours);
  std::fflush(stdout);
}

/// Times `ours` and `plain` (fastest of `reps` each) and reports them.
template <class Ours, class Plain>
void compare(const std::string& name, int reps, Ours&& ours, Plain&& plain) {
  const double t_ours = best_of(reps, ours);
  const double t_plain = best_of(reps, plain);
  report(name, t_ours, t_plain);
}

/// Number of disagreements that check() has found so far.
inline int& mismatches() {
  static int count = 0;
  return count;
}

/// Checks that our result equals the plain one (floats bit for bit) and
/// prints a MISMATCH line when it does not.
template <class T>
void check(const std::string& what, T ours, T plain) {
  bool same;
  if constexpr (std::is_same_v<T, float>) {
    same = std::bit_cast<std::uint32_t>(ours) == std::bit_cast<std::uint32_t>(plain);
  } else {
    same = ours == plain;
  }
  if (!same) {
    ++mismatches();
    std::printf("MISMATCH %s\n", what.c_str());
  }
}

/// Keeps the compiler from discarding a computed value.
template <class T>
inline void keep(const T& value) {
  asm volatile("" : : "g"(&value) : "memory");
}

}  // namespace bench
