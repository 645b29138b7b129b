#include "metrics/decision_tree.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "error.hpp"

namespace varnel {

namespace {

// One byte per subcube: the depth in the low five bits, and which values f
// takes on the subcube.
constexpr std::uint8_t kDepth = 0x1F;
constexpr std::uint8_t kHasFalse = 0x20;
constexpr std::uint8_t kHasTrue = 0x40;

}  // namespace

unsigned decision_tree_depth(const FValue& f) {
  const unsigned n = f.n_vars();
  if (n > kMaxDecisionTreeVars) {
    throw ValueError("the decision-tree depth is computed for at most " +
                     std::to_string(kMaxDecisionTreeVars) + " variables");
  }
  // Subcube c = sum of d_i 3^i with digit d_i = 0 or 1 (variable i fixed) or
  // 2 (free). Both halves along a free variable have smaller indices, so one
  // pass in increasing order sees them first.
  std::uint64_t power[kMaxDecisionTreeVars + 1];
  power[0] = 1;
  for (unsigned i = 0; i < n; ++i) power[i + 1] = power[i] * 3;
  const std::uint64_t cubes = power[n];
  std::vector<std::uint8_t> memo(cubes);
  unsigned digit[kMaxDecisionTreeVars] = {};
  std::uint64_t ones = 0;  // variables fixed to 1
  std::uint64_t free = 0;  // free variables
  for (std::uint64_t c = 0; c < cubes; ++c) {
    if (c > 0) {  // advance the digits to those of c
      unsigned i = 0;
      while (digit[i] == 2) {
        digit[i] = 0;
        free &= ~(std::uint64_t{1} << i);
        ++i;
      }
      if (++digit[i] == 1) {
        ones |= std::uint64_t{1} << i;
      } else {
        ones &= ~(std::uint64_t{1} << i);
        free |= std::uint64_t{1} << i;
      }
    }
    if (free == 0) {
      memo[c] = f[ones] ? kHasTrue : kHasFalse;
      continue;
    }
    const unsigned first = static_cast<unsigned>(__builtin_ctzll(free));
    const std::uint8_t values =
        (memo[c - 2 * power[first]] | memo[c - power[first]]) & (kHasFalse | kHasTrue);
    if (values != (kHasFalse | kHasTrue)) {
      memo[c] = values;
      continue;
    }
    unsigned best = kDepth;
    for (std::uint64_t rest = free; rest != 0 && best > 1; rest &= rest - 1) {
      const unsigned i = static_cast<unsigned>(__builtin_ctzll(rest));
      const unsigned low = memo[c - 2 * power[i]] & kDepth;
      const unsigned high = memo[c - power[i]] & kDepth;
      best = std::min(best, 1 + std::max(low, high));
    }
    memo[c] = static_cast<std::uint8_t>(best | values);
  }
  return memo[cubes - 1] & kDepth;
}

}  // namespace varnel
