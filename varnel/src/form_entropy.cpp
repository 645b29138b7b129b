#include "form_entropy.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <mutex>
#include <vector>

namespace varnel {

namespace {

// Adds the term of count c, `times` times over, to the accumulator.
void add_terms(float& acc, std::uint64_t c, std::uint64_t times, float total) {
  const float p = static_cast<float>(c) / total;
  const float term = std::log2(p) * p;
  for (std::uint64_t r = 0; r < times; ++r) acc = acc + term;
}

// Tables are kept for totals up to 2^kMaxRunLog2 (4 MiB at the largest).
constexpr unsigned kMaxRunLog2 = 20;

// The accumulator after adding the term of count 1 r times from -0.0, for
// r = 0 .. 2^k: the start of most sums (unit counts come first), read from a
// table made once per k and process.
float unit_run(unsigned k, std::uint64_t r) {
  static std::once_flag made[kMaxRunLog2 + 1];
  static std::vector<float> runs[kMaxRunLog2 + 1];
  std::call_once(made[k], [k] {
    const std::uint64_t size = std::uint64_t{1} << k;
    const float total = std::ldexp(1.0f, static_cast<int>(k));
    const float term = std::log2(1.0f / total) * (1.0f / total);
    std::vector<float>& run = runs[k];
    run.resize(size + 1);
    float acc = -0.0f;
    run[0] = acc;
    for (std::uint64_t i = 1; i <= size; ++i) run[i] = acc = acc + term;
  });
  return runs[k][r];
}

}  // namespace

float entropy_from_counts(std::span<const std::uint64_t> counts, unsigned total_log2,
                          std::uint64_t units) {
  // float(2^k) is exact; for k <= 30 it is the float of the 32-bit count 2^k.
  const float total = std::ldexp(1.0f, static_cast<int>(total_log2));
  // Ascending order of count without sorting the common small counts.
  std::uint64_t small[256];
  std::uint64_t small_max = 0;
  if (units != 0) {
    small[0] = 0;
    small[1] = units;
    small_max = 2;
  }
  std::vector<std::uint64_t> large;
  for (std::uint64_t c : counts) {
    if (c >= 256) {
      large.push_back(c);
      continue;
    }
    for (; small_max <= c; ++small_max) small[small_max] = 0;
    ++small[c];
  }
  std::sort(large.begin(), large.end());
  float acc = -0.0f;
  std::uint64_t c = 1;
  if (total_log2 <= kMaxRunLog2 && small_max > 1 && small[1] > 1) {
    acc = unit_run(total_log2, small[1]);
    c = 2;
  }
  for (; c < small_max; ++c) {
    if (small[c] != 0) add_terms(acc, c, small[c], total);
  }
  for (std::size_t i = 0; i < large.size();) {
    std::size_t j = i;
    while (j < large.size() && large[j] == large[i]) ++j;
    add_terms(acc, large[i], j - i, total);
    i = j;
  }
  return -acc;
}

FormStats all_distinct_stats(unsigned k) {
  // Entropy bits per k, with bit 32 set once known. Threads that meet an
  // unknown entry both compute the same value.
  static std::atomic<std::uint64_t> known[64];
  const std::uint64_t forms = std::uint64_t{1} << k;
  std::uint64_t entry = known[k].load(std::memory_order_relaxed);
  if ((entry >> 32) == 0) {
    float acc = -0.0f;
    add_terms(acc, 1, forms, std::ldexp(1.0f, static_cast<int>(k)));
    entry = (std::uint64_t{1} << 32) | std::bit_cast<std::uint32_t>(-acc);
    known[k].store(entry, std::memory_order_relaxed);
  }
  return {forms, std::bit_cast<float>(static_cast<std::uint32_t>(entry))};
}

FormStats stats_of_counts(std::span<const std::uint64_t> counts, std::uint64_t units, unsigned k) {
  const std::uint64_t forms = counts.size() + units;
  if (k < 64 && forms == (std::uint64_t{1} << k)) return all_distinct_stats(k);
  return {forms, entropy_from_counts(counts, k, units)};
}

FormStats stats_of_counts(std::span<const std::uint64_t> counts, unsigned k, bool with_entropy) {
  if (!with_entropy) return {counts.size(), 0.0f};
  if (k < 64 && counts.size() == (std::uint64_t{1} << k)) return all_distinct_stats(k);
  return {counts.size(), entropy_from_counts(counts, k)};
}

}  // namespace varnel
