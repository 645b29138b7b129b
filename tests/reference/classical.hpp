// Plain reference implementations of the classical measures, one byte per
// table entry, written as the literal definitions and algorithms: the int64
// Walsh–Hadamard transform on the sign vector, single-precision sums in index
// order, sensitivities by flipping one bit at a time, the frontier as an edge
// list, and certificate complexity as a minimum hitting set per input (greedy
// bound, then exhaustive search). The tests hold the fast code to these, and
// the benchmarks time them side by side.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "plain.hpp"
#include "pool.hpp"

namespace plain {

inline unsigned n_vars(const Table& t) {
  return 63u - static_cast<unsigned>(std::countl_zero(t.size()));
}

// --- spectrum --------------------------------------------------------------

/// In-place transform: for h = 1, 2, 4, ...: (a, b) -> (a + b, a - b).
inline void fwht(std::vector<std::int64_t>& v) {
  for (std::size_t h = 1; h < v.size(); h *= 2) {
    for (std::size_t i = 0; i < v.size(); i += 2 * h) {
      for (std::size_t j = i; j < i + h; ++j) {
        const std::int64_t a = v[j], b = v[j + h];
        v[j] = a + b;
        v[j + h] = a - b;
      }
    }
  }
}

/// The Walsh spectrum of the sign vector (b - 1) | 1: true = +1, false = -1.
inline std::vector<std::int64_t> walsh(const Table& t) {
  std::vector<std::int64_t> v(t.size());
  for (std::size_t x = 0; x < t.size(); ++x) v[x] = (static_cast<std::int64_t>(t[x]) - 1) | 1;
  fwht(v);
  return v;
}

/// c[s] = float(W[s]) / float(int32(2^n)) (n <= 30).
inline std::vector<float> coefficients(const Table& t) {
  const std::vector<std::int64_t> w = walsh(t);
  const float div = static_cast<float>(static_cast<std::int32_t>(1) << n_vars(t));
  std::vector<float> c(w.size());
  for (std::size_t s = 0; s < w.size(); ++s) c[s] = static_cast<float>(w[s]) / div;
  return c;
}

inline float spectral_entropy(const Table& t) {
  const std::vector<float> c = coefficients(t);
  float acc = -0.0f;
  for (const float x : c) {
    if (x == 0.0f) continue;
    const float q = x * x;
    acc = acc - logf(q) * q;
  }
  return acc;
}

/// From 13 variables on: the same terms, accumulated in double precision one
/// distinct |W| at a time in ascending order (its term times its count), then
/// rounded once to single precision.
inline float spectral_entropy_accurate(const Table& t) {
  const std::vector<std::int64_t> w = walsh(t);
  const float div = static_cast<float>(static_cast<std::int32_t>(1) << n_vars(t));
  std::map<std::int64_t, std::uint64_t> count;
  for (const std::int64_t v : w) {
    if (v != 0) ++count[v < 0 ? -v : v];
  }
  double acc = -0.0;
  for (const auto& [magnitude, k] : count) {
    const float c = static_cast<float>(magnitude) / div;
    const float q = c * c;
    acc = acc - static_cast<double>(k) * static_cast<double>(logf(q) * q);
  }
  return static_cast<float>(acc);
}

/// The recipe up to 12 variables, the double-precision sum beyond.
inline float spectral_entropy_mended(const Table& t) {
  return n_vars(t) <= 12 ? spectral_entropy(t) : spectral_entropy_accurate(t);
}

/// The exact distance to the nearest affine function, 2^(n-1) - max|W|/2.
inline std::uint64_t no_linearity_exact(const Table& t) {
  const unsigned n = n_vars(t);
  if (n == 0) return 0;
  std::int64_t m = 0;
  for (const std::int64_t v : walsh(t)) m = std::max(m, v < 0 ? -v : v);
  return (std::uint64_t{1} << (n - 1)) - static_cast<std::uint64_t>(m / 2);
}

inline std::uint32_t saturating_u32(float x) {
  if (std::isnan(x) || x < 0.0f) return 0;
  if (x > 4294967040.0f) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(x);
}

inline std::uint32_t no_linearity(const Table& t) {
  const unsigned n = n_vars(t);
  if (n == 0) return 0;
  const std::vector<std::int64_t> w = walsh(t);
  std::int64_t m = 0;
  for (const std::int64_t v : w) m = std::max(m, v < 0 ? -v : v);
  float x = static_cast<float>(m) * -0.5f;
  x = x + static_cast<float>(static_cast<std::int32_t>(1) << (n - 1));
  return saturating_u32(x);
}

inline std::uint64_t degree(const Table& t) {
  const std::vector<std::int64_t> w = walsh(t);
  std::uint64_t d = 0;
  for (std::size_t s = 0; s < w.size(); ++s) {
    if (w[s] != 0) d = std::max<std::uint64_t>(d, static_cast<std::uint64_t>(std::popcount(s)));
  }
  return d;
}

// --- influence and sensitivity ---------------------------------------------

inline float influence(const Table& t, std::uint64_t var) {
  const std::vector<float> c = coefficients(t);
  float acc = -0.0f;
  for (std::size_t s = 0; s < c.size(); ++s) {
    if (var < 64 && ((s >> var) & 1u)) acc = acc + c[s] * c[s];
  }
  return acc;
}

inline float total_influence(const Table& t) {
  const std::vector<float> c = coefficients(t);
  float acc = -0.0f;
  for (std::size_t s = 1; s < c.size(); ++s) {
    acc = acc + static_cast<float>(std::popcount(s)) * (c[s] * c[s]);
  }
  return acc;
}

/// The definition: the number of inputs x with t[x] != t[x ^ 2^var].
inline std::uint64_t changes_along(const Table& t, unsigned var) {
  std::uint64_t count = 0;
  for (std::size_t x = 0; x < t.size(); ++x) count += t[x] != t[x ^ (std::size_t{1} << var)];
  return count;
}

/// The influences from 13 variables on: count / 2^n rounded once (the count is
/// exact in double precision, and the division by a power of two too).
inline float counted_fraction(std::uint64_t count, unsigned n) {
  return static_cast<float>(static_cast<double>(count) / std::ldexp(1.0, static_cast<int>(n)));
}

inline std::uint32_t sensitivity_at(const Table& t, std::size_t x) {
  std::uint32_t s = 0;
  for (unsigned j = 0; j < n_vars(t); ++j) s += t[x ^ (std::size_t{1} << j)] != t[x];
  return s;
}

inline std::uint32_t max_sensitivity(const Table& t) {
  if (n_vars(t) == 0) return 0;
  std::uint32_t best = sensitivity_at(t, 0);
  for (std::size_t x = 1; x < t.size(); ++x) best = std::max(best, sensitivity_at(t, x));
  return best;
}

/// The unsigned 32-bit sum, exact up to 27 variables.
inline float mean_sensitivity(const Table& t) {
  std::uint32_t sum = 0;
  for (std::size_t x = 0; x < t.size(); ++x) sum += sensitivity_at(t, x);
  return static_cast<float>(sum) / static_cast<float>(t.size());
}

// --- frontier ----------------------------------------------------------------

/// A graph with 32-bit indices that keeps its node weights and its edges in
/// insertion order.
struct Graph {
  std::vector<std::uint32_t> nodes;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
};

inline Graph frontier_graph(const Table& t) {
  const unsigned n = n_vars(t);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
  pairs.reserve(4);
  for (std::uint32_t x = 0; x < t.size(); ++x) {
    if (t[x]) continue;
    for (unsigned i = 0; i < n; ++i) {
      const std::uint32_t y = x ^ (std::uint32_t{1} << i);
      if (t[y]) pairs.emplace_back(x, y);
    }
  }
  Graph g;
  for (const auto& [x, y] : pairs) {
    while (g.nodes.size() <= std::max(x, y)) g.nodes.push_back(0);
    g.edges.emplace_back(x, y);
  }
  return g;
}

inline std::uint32_t max_frontier_size(const Table& t) {
  std::uint64_t b0 = 0, b1 = 0;
  for (const auto e : t) (e ? b1 : b0) += 1;
  return static_cast<std::uint32_t>(std::min(b0, b1)) * n_vars(t);
}

// --- certificate complexity ----------------------------------------------------

inline std::uint32_t minimum_certificate_size(const std::vector<std::uint64_t>& sets, unsigned n) {
  if (sets.empty()) return 0;
  std::vector<std::uint64_t> working = sets;
  unsigned g = 0;
  while (!working.empty()) {
    unsigned best = 0;
    if (n > 1) {
      std::size_t best_count = 0;
      for (unsigned k = 0; k < n; ++k) {
        std::size_t count = 0;
        for (const auto s : working) count += (s >> k) & 1u;
        if (k == 0 || count >= best_count) {
          best = k;
          best_count = count;
        }
      }
    }
    std::vector<std::uint64_t> kept;
    for (const auto s : working) {
      if (!((s >> best) & 1u)) kept.push_back(s);
    }
    working = std::move(kept);
    ++g;
  }
  if (g == 1) return 1;
  const std::uint64_t top = (std::uint64_t{1} << n) - 1;
  for (unsigned j = 1; j < g; ++j) {
    if (j > n) continue;
    std::uint64_t a = (std::uint64_t{1} << j) - 1;
    while (a <= top) {
      bool ok = true;
      for (const auto s : sets) {
        if ((s & a) == 0) {
          ok = false;
          break;
        }
      }
      if (ok) return j;
      const std::uint64_t c = a & (~a + 1);
      const std::uint64_t r = a + c;
      a = r | (((a ^ r) >> 2) >> std::countr_zero(a));
    }
  }
  return g;
}

inline std::uint32_t point_certificate_complexity(const Table& t, std::size_t x) {
  std::vector<std::uint64_t> sets;
  sets.reserve(4);
  for (std::size_t y = 0; y < t.size(); ++y) {
    if (t[y] != t[x]) sets.push_back(x ^ y);
  }
  return minimum_certificate_size(sets, n_vars(t));
}

/// The maximum over all inputs; on the worker pool from 4 variables, as a
/// map-and-reduce by maximum.
inline std::uint32_t certificate_complexity(const Table& t) {
  if (n_vars(t) <= 3) {
    std::uint32_t best = 0;
    for (std::size_t x = 0; x < t.size(); ++x)
      best = std::max(best, point_certificate_complexity(t, x));
    return best;
  }
  return varnel::pool::parallel_reduce(
      t.size(), 64, std::uint32_t{0},
      [&](std::uint64_t b, std::uint64_t e) {
        std::uint32_t best = 0;
        for (std::uint64_t x = b; x < e; ++x)
          best = std::max(best, point_certificate_complexity(t, x));
        return best;
      },
      [](std::uint32_t a, std::uint32_t b) { return std::max(a, b); });
}

/// C(f) straight from the definition: for each input the smallest set of
/// fixed variables whose subcube is monochromatic, by trying every set.
inline std::uint32_t certificate_by_subcubes(const Table& t) {
  const unsigned n = n_vars(t);
  const std::size_t size = t.size();
  std::uint32_t worst = 0;
  for (std::size_t x = 0; x < size; ++x) {
    std::uint32_t best = n;
    for (std::size_t fixed = 0; fixed < size; ++fixed) {
      const auto k = static_cast<std::uint32_t>(std::popcount(fixed));
      if (k >= best) continue;
      bool mono = true;
      for (std::size_t y = 0; y < size && mono; ++y) {
        if (((x ^ y) & fixed) == 0 && t[y] != t[x]) mono = false;
      }
      if (mono) best = k;
    }
    worst = std::max(worst, best);
  }
  return worst;
}

}  // namespace plain
