// Plain reference implementations of varnelkit's Boolean-function measures,
// one byte per table entry, written as the literal definitions: sums over all
// inputs, the Möbius sum over submasks, ranks of full GF(2) matrices, and
// exhaustive recursions over subcubes and blocks.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <vector>

#include "classical.hpp"
#include "plain.hpp"

namespace plain {

/// r(a) = sum over x of (-1)^(f(x) XOR f(x XOR a)).
inline std::vector<std::int64_t> autocorrelation(const Table& t) {
  std::vector<std::int64_t> r(t.size(), 0);
  for (std::size_t a = 0; a < t.size(); ++a) {
    for (std::size_t x = 0; x < t.size(); ++x) r[a] += (t[x] == t[x ^ a]) ? 1 : -1;
  }
  return r;
}

/// a(u) = XOR of f(x) over the x contained in u.
inline Table anf(const Table& t) {
  Table a(t.size(), 0);
  for (std::size_t u = 0; u < t.size(); ++u) {
    for (std::size_t x = 0; x < t.size(); ++x) {
      if ((x & ~u) == 0) a[u] ^= t[x];
    }
  }
  return a;
}

/// The rank over GF(2) of a matrix of 0/1 rows.
inline std::size_t gf2_rank(std::vector<std::vector<std::uint8_t>> m) {
  std::size_t rank = 0;
  const std::size_t cols = m.empty() ? 0 : m[0].size();
  for (std::size_t c = 0; c < cols && rank < m.size(); ++c) {
    std::size_t p = rank;
    while (p < m.size() && m[p][c] == 0) ++p;
    if (p == m.size()) continue;
    std::swap(m[p], m[rank]);
    for (std::size_t r = 0; r < m.size(); ++r) {
      if (r != rank && m[r][c]) {
        for (std::size_t k = 0; k < cols; ++k) m[r][k] ^= m[rank][k];
      }
    }
    ++rank;
  }
  return rank;
}

/// The smallest d such that some non-zero g of degree <= d vanishes wherever
/// f is `value`: the monomials of degree <= d, evaluated on those points, have
/// rank below their number.
inline unsigned annihilator_degree(const Table& t, bool value) {
  const unsigned n = n_vars(t);
  for (unsigned d = 0; d <= n; ++d) {
    std::vector<std::vector<std::uint8_t>> rows;  // one row per monomial
    for (std::size_t u = 0; u < t.size(); ++u) {
      if (static_cast<unsigned>(std::popcount(u)) > d) continue;
      std::vector<std::uint8_t> row;
      for (std::size_t x = 0; x < t.size(); ++x) {
        if ((t[x] != 0) == value) row.push_back((x & u) == u);
      }
      rows.push_back(row);
    }
    if (rows[0].empty() || gf2_rank(rows) < rows.size()) return d;
  }
  return n + 1;
}

inline unsigned algebraic_immunity(const Table& t) {
  return std::min(annihilator_degree(t, true), annihilator_degree(t, false));
}

/// D(f) by recursion over restrictions: fixed = variables set, values = their bits.
inline unsigned decision_tree_depth(const Table& t, std::size_t fixed, std::size_t values,
                                    std::map<std::pair<std::size_t, std::size_t>, unsigned>& memo) {
  const unsigned n = n_vars(t);
  const auto key = std::make_pair(fixed, values);
  if (auto it = memo.find(key); it != memo.end()) return it->second;
  bool seen[2] = {false, false};
  for (std::size_t x = 0; x < t.size(); ++x) {
    if ((x & fixed) == values) seen[t[x] != 0] = true;
  }
  unsigned best = 0;
  if (seen[0] && seen[1]) {
    best = n + 1;
    for (unsigned i = 0; i < n; ++i) {
      const std::size_t bit = std::size_t{1} << i;
      if (fixed & bit) continue;
      const unsigned d = 1 + std::max(decision_tree_depth(t, fixed | bit, values, memo),
                                      decision_tree_depth(t, fixed | bit, values | bit, memo));
      best = std::min(best, d);
    }
  }
  memo[key] = best;
  return best;
}

inline unsigned decision_tree_depth(const Table& t) {
  std::map<std::pair<std::size_t, std::size_t>, unsigned> memo;
  return decision_tree_depth(t, 0, 0, memo);
}

/// bs(f, x): the largest number of disjoint sensitive blocks inside each set
/// of variables, over all subsets, by the recursion on its lowest variable.
inline unsigned point_block_sensitivity(const Table& t, std::size_t x) {
  const std::size_t all = t.size() - 1;  // every variable
  std::vector<unsigned> best(t.size(), 0);
  for (std::size_t avail = 1; avail <= all; ++avail) {
    const std::size_t low = avail & (~avail + 1);
    unsigned b = best[avail & ~low];
    // Every block inside avail that holds its lowest variable.
    for (std::size_t rest = avail & ~low;; rest = (rest - 1) & (avail & ~low)) {
      const std::size_t block = rest | low;
      if (t[x ^ block] != t[x]) b = std::max(b, 1 + best[avail & ~block]);
      if (rest == 0) break;
    }
    best[avail] = b;
  }
  return best[all];
}

inline unsigned block_sensitivity(const Table& t) {
  unsigned best = 0;
  for (std::size_t x = 0; x < t.size(); ++x) best = std::max(best, point_block_sensitivity(t, x));
  return best;
}

/// f depends only on the weight of its input.
inline bool is_symmetric(const Table& t) {
  for (std::size_t x = 0; x < t.size(); ++x) {
    if (t[x] != t[(std::size_t{1} << std::popcount(x)) - 1]) return false;
  }
  return true;
}

}  // namespace plain
