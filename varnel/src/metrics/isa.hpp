// Run-time choice of instruction-set extensions for the hot kernels. The
// baseline is x86-64-v2; kernels that gain from AVX2 are compiled a second time
// with __attribute__((target("avx2"))) and chosen here once per process.
#pragma once

#include <atomic>

namespace varnel::isa {

namespace detail {
inline std::atomic<bool>& baseline_forced() {
  static std::atomic<bool> forced{false};
  return forced;
}
}  // namespace detail

/// True when the processor has AVX2 and the baseline is not forced.
inline bool avx2() {
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return supported && !detail::baseline_forced().load(std::memory_order_relaxed);
}

/// Makes every kernel take its baseline path (tests use it to check both paths).
inline void force_baseline(bool on) {
  detail::baseline_forced().store(on, std::memory_order_relaxed);
}

}  // namespace varnel::isa
