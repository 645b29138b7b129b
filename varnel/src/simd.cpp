#include "simd.hpp"

#include <atomic>

namespace varnel::simd {

namespace {

Level detect() noexcept {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return Level::avx512;
  if (__builtin_cpu_supports("avx2")) return Level::avx2;
  return Level::baseline;
}

std::atomic<int> g_cap{static_cast<int>(Level::avx512)};

}  // namespace

Level detected() noexcept {
  static const Level best = detect();
  return best;
}

Level level() noexcept {
  const int cap = g_cap.load(std::memory_order_relaxed);
  const int best = static_cast<int>(detected());
  return static_cast<Level>(cap < best ? cap : best);
}

bool vector_popcount() noexcept {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx512vpopcntdq") != 0);
  return level() == Level::avx512 && has;
}

void force(Level cap) noexcept { g_cap.store(static_cast<int>(cap), std::memory_order_relaxed); }

}  // namespace varnel::simd
