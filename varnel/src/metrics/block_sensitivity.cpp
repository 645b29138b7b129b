#include "metrics/block_sensitivity.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <string>

#include "error.hpp"
#include "metrics/hypercube.hpp"
#include "metrics/sensitivity.hpp"
#include "pool.hpp"

namespace varnel {

namespace {

// Word w of the table g(B) = f(x XOR B) XOR f(x).
std::vector<std::uint64_t> sensitive_table(const FValue& f, std::uint64_t x) {
  const unsigned n = f.n_vars();
  const std::span<const std::uint64_t> words = f.words();
  const std::uint64_t flip = f[x] ? ~std::uint64_t{0} : 0;
  const std::uint64_t mask = low_mask(f.size());
  std::vector<std::uint64_t> g(words.size());
  const std::uint64_t high = x >> 6;
  for (std::size_t k = 0; k < words.size(); ++k) {
    std::uint64_t w = words[k ^ high];
    for (unsigned i = 0; i < 6 && i < n; ++i) {
      if ((x >> i) & 1u) w = hypercube::flip_in_word(w, i);
    }
    g[k] = (w ^ flip) & mask;
  }
  return g;
}

// The minimal sets of `g` (a packed table of sets of n variables).
std::vector<std::uint32_t> minimal_sets(const std::vector<std::uint64_t>& g, unsigned n) {
  // h(B) = 1 when some subset of B is in g: the OR-closure over subsets.
  std::vector<std::uint64_t> h = g;
  const unsigned inner = n < 6 ? n : 6;
  for (std::uint64_t& w : h) {
    for (unsigned i = 0; i < inner; ++i) w |= (w & bit_clear_positions(i)) << (1u << i);
  }
  for (unsigned i = 6; i < n; ++i) {
    const std::size_t stride = std::size_t{1} << (i - 6);
    for (std::size_t base = 0; base < h.size(); base += 2 * stride) {
      for (std::size_t k = base; k < base + stride; ++k) h[k + stride] |= h[k];
    }
  }
  std::vector<std::uint32_t> out;
  for (std::size_t k = 0; k < g.size(); ++k) {
    if (g[k] == 0) continue;
    // B is not minimal when B minus one of its variables is already covered.
    std::uint64_t covered = 0;
    for (unsigned i = 0; i < inner; ++i) {
      covered |= hypercube::flip_in_word(h[k], i) & ~bit_clear_positions(i);
    }
    for (unsigned i = 6; i < n; ++i) {
      const std::size_t bit = std::size_t{1} << (i - 6);
      if (k & bit) covered |= h[k ^ bit];
    }
    for (std::uint64_t m = g[k] & ~covered; m != 0; m &= m - 1) {
      out.push_back(
          static_cast<std::uint32_t>(k * 64 + static_cast<unsigned>(std::countr_zero(m))));
    }
  }
  return out;
}

// The largest number of pairwise disjoint blocks, all of at least two
// variables, inside the variables `avail`; returns `floor` when no packing
// beats it.
unsigned max_packing(const std::vector<std::uint32_t>& blocks, std::uint32_t avail,
                     unsigned floor) {
  // Keep the blocks inside avail, and their union.
  std::vector<std::uint32_t> inside;
  std::uint32_t cover = 0;
  for (const std::uint32_t b : blocks) {
    if ((b & ~avail) == 0) {
      inside.push_back(b);
      cover |= b;
    }
  }
  if (inside.empty()) return floor;
  // Every block takes at least two of the covered variables.
  if (static_cast<unsigned>(std::popcount(cover)) / 2 <= floor) return floor;
  // Branch on the covered variable in the fewest blocks: one of its blocks is
  // taken, or the variable stays unused.
  unsigned best_var = 0, best_count = ~0u;
  for (std::uint32_t rest = cover; rest != 0; rest &= rest - 1) {
    const unsigned v = static_cast<unsigned>(std::countr_zero(rest));
    unsigned count = 0;
    for (const std::uint32_t b : inside) count += (b >> v) & 1u;
    if (count < best_count) {
      best_count = count;
      best_var = v;
    }
  }
  unsigned best = floor;
  for (const std::uint32_t b : inside) {
    if (((b >> best_var) & 1u) == 0) continue;
    const unsigned with = max_packing(inside, avail & ~b, best > 0 ? best - 1 : 0);
    if (with + 1 > best) best = with + 1;
  }
  return max_packing(inside, avail & ~(std::uint32_t{1} << best_var), best);
}

// bs(f, x), or any value <= floor when it does not exceed floor.
std::uint32_t point_value(const FValue& f, std::uint64_t x, unsigned floor) {
  const unsigned n = f.n_vars();
  const std::vector<std::uint32_t> blocks = minimal_sets(sensitive_table(f, x), n);
  std::uint32_t singles = 0;
  std::vector<std::uint32_t> larger;
  for (const std::uint32_t b : blocks) {
    if (std::has_single_bit(b)) {
      singles |= b;
    } else {
      larger.push_back(b);
    }
  }
  const auto s = static_cast<unsigned>(std::popcount(singles));
  const std::uint32_t rest = ((std::uint32_t{1} << n) - 1) & ~singles;
  const unsigned need = floor > s ? floor - s : 0;
  return s + max_packing(larger, rest, need);
}

// From this many variables on, the inputs are searched on the worker pool.
constexpr unsigned kParallelVars = 10;

void check_vars(unsigned n) {
  if (n > kMaxBlockSensitivityVars) {
    throw ValueError("the block sensitivity is computed for at most " +
                     std::to_string(kMaxBlockSensitivityVars) + " variables");
  }
}

}  // namespace

std::vector<std::uint32_t> minimal_sensitive_blocks(const FValue& f, std::uint64_t x) {
  check_vars(f.n_vars());
  if (x >= f.size()) panic("input index beyond the table");
  return minimal_sets(sensitive_table(f, x), f.n_vars());
}

std::uint32_t point_block_sensitivity(const FValue& f, std::uint64_t x) {
  check_vars(f.n_vars());
  if (x >= f.size()) panic("input index beyond the table");
  return point_value(f, x, 0);
}

std::uint32_t block_sensitivity(const FValue& f) {
  const unsigned n = f.n_vars();
  check_vars(n);
  // s(f) <= bs(f) <= n: start from the sensitivity and stop at n.
  std::atomic<unsigned> best{max_sensitivity(f)};
  auto search = [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t x = begin; x < end; ++x) {
      unsigned now = best.load(std::memory_order_relaxed);
      if (now >= n) return;
      const unsigned v = point_value(f, x, now);
      while (v > now && !best.compare_exchange_weak(now, v, std::memory_order_relaxed)) {
      }
    }
  };
  // Small tables take less time than waking the pool.
  if (n < kParallelVars) {
    search(0, f.size());
  } else {
    pool::parallel_for(f.size(), 64, search);
  }
  return best.load();
}

}  // namespace varnel
