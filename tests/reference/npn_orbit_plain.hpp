// Plain reference for five-input NPN classes: the definition run over all
// 3,840 input transforms, one input at a time.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace npn_orbit_plain {

/// Value of word w at input j (bit 31 - j).
inline int at(std::uint32_t w, int j) { return static_cast<int>(w >> (31 - j) & 1); }

/// Every input transform as the input map j -> m(j): bit i of m(j) is bit
/// perm[i] of j, complemented when bit i of neg is set.
inline std::vector<std::array<int, 32>> all_transforms() {
  std::vector<std::array<int, 32>> out;
  int perm[5] = {0, 1, 2, 3, 4};
  do {
    for (int neg = 0; neg < 32; ++neg) {
      std::array<int, 32> m{};
      for (int j = 0; j < 32; ++j) {
        int x = 0;
        for (int i = 0; i < 5; ++i) x |= ((j >> perm[i] & 1) ^ (neg >> i & 1)) << i;
        m[j] = x;
      }
      out.push_back(m);
    }
  } while (std::next_permutation(perm, perm + 5));
  return out;
}

/// The word j -> w(m(j)).
inline std::uint32_t apply(std::uint32_t w, const std::array<int, 32>& m) {
  std::uint32_t r = 0;
  for (int j = 0; j < 32; ++j) r |= static_cast<std::uint32_t>(at(w, m[j])) << (31 - j);
  return r;
}

/// The smallest normal word of w's class.
inline std::uint32_t representative(std::uint32_t w, const std::vector<std::array<int, 32>>& ts) {
  std::uint32_t best = 0xFFFFFFFFu;
  for (const auto& m : ts) {
    std::uint32_t y = apply(w, m);
    if (y >> 31) y = ~y;
    best = std::min(best, y);
  }
  return best;
}

/// Every normal word of w's class, sorted, without repetition.
inline std::vector<std::uint32_t> orbit(std::uint32_t w,
                                        const std::vector<std::array<int, 32>>& ts) {
  std::vector<std::uint32_t> o;
  for (const auto& m : ts) {
    std::uint32_t y = apply(w, m);
    o.push_back(y >> 31 ? ~y : y);
  }
  std::sort(o.begin(), o.end());
  o.erase(std::unique(o.begin(), o.end()), o.end());
  return o;
}

}  // namespace npn_orbit_plain
