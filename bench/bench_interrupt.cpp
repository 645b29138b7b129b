// The cost of the interrupt checks: the long measures timed with a check
// installed (one that reads an atomic flag and a clock-free counter, about
// what the Python binding's signal check costs when no signal is pending)
// against the same measures with no check, in the same run, with the ratio.
// The results must agree. A ratio of 0.99 or more means the checks cost under
// 1 %.
#include <atomic>
#include <cstdio>
#include <random>

#include "families_plain.hpp"
#include "harness.hpp"
#include "interrupt.hpp"
#include "metrics/certificate.hpp"
#include "metrics/entanglement.hpp"
#include "metrics/fragmentation.hpp"
#include "plain.hpp"

namespace {

std::atomic<bool> g_pending{false};
std::atomic<std::uint64_t> g_calls{0};

// Like the binding's check: reads the pending flag, nothing else.
bool quiet_check() {
  g_calls.fetch_add(1, std::memory_order_relaxed);
  return g_pending.load(std::memory_order_relaxed);
}

template <class F>
void measure(const char* name, int reps, F&& f) {
  using R = decltype(f());
  R with{}, without{};
  double t_with = 1e300, t_without = 1e300;
  // Alternate the two configurations so that machine load hits both alike.
  for (int r = 0; r < reps; ++r) {
    varnel::interrupt::set_check(nullptr);
    t_without = std::min(t_without, bench::best_of(1, [&] { without = f(); }));
    varnel::interrupt::set_check(&quiet_check);
    g_calls = 0;
    t_with = std::min(t_with, bench::best_of(1, [&] { with = f(); }));
  }
  varnel::interrupt::set_check(nullptr);
  bench::check(name, with, without);
  std::printf("%-40s checked %9.3f ms  unchecked %9.3f ms  ratio %6.3f  (%llu checks)\n", name,
              t_with * 1e3, t_without * 1e3, t_without / t_with,
              static_cast<unsigned long long>(g_calls.load()));
  std::fflush(stdout);
}

}  // namespace

int main() {
  std::mt19937_64 rng(7);
  const varnel::FValue maj16 = plain::pack(plain::threshold(16, 8));
  const varnel::FValue maj18 = plain::pack(plain::threshold(18, 9));
  const varnel::FValue rnd20 = plain::pack(plain::random_table(20, rng));
  measure("entropy, majority 16", 7, [&] { return varnel::entropy(maj16); });
  measure("entanglement, majority 16", 7, [&] { return varnel::entanglement(maj16); });
  measure("fragmentation_profile, majority 16", 7,
          [&] { return varnel::fragmentation_profile(maj16); });
  measure("certificate_complexity, majority 18", 5,
          [&] { return varnel::certificate_complexity(maj18); });
  measure("certificate_complexity, random 20", 7,
          [&] { return varnel::certificate_complexity(rnd20); });
  return bench::verdict();
}
