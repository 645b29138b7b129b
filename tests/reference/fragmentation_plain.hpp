// The fragmentation family as literally defined: the level list of k-subsets
// built in full in lexicographic order, the restriction entropy of each
// subset from a plain implementation, summed in list order from -0.0 (or on
// the worker pool as an indexed parallel sum, for the benchmarks), divided
// once by float(C(n, k)); the profile level by level, the differences, the
// first peak.
#pragma once

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "pool.hpp"
#include "restriction_plain.hpp"

namespace plain {

/// The k-subsets of 0 .. n-1 in lexicographic order: the combination
/// generator's index vectors ([0, 1, .., k-1] first; the rightmost position t
/// below n - k + t moves up by one, the following ones follow it).
inline std::vector<Vars> level_list(std::uint64_t n, std::uint64_t k) {
  std::vector<Vars> out;
  if (k > n) return out;
  Vars idx(k);
  for (std::uint64_t i = 0; i < k; ++i) idx[i] = i;
  while (true) {
    out.push_back(idx);
    std::int64_t t = static_cast<std::int64_t>(k) - 1;
    while (t >= 0 && idx[t] >= n - k + static_cast<std::uint64_t>(t)) --t;
    if (t < 0) break;
    ++idx[t];
    for (std::uint64_t j = t + 1; j < k; ++j) idx[j] = idx[j - 1] + 1;
  }
  return out;
}

/// F(k) with the level summed in list order; `entropy(table, vars)` gives H.
template <class Entropy>
float fragmentation_k(const Table& t, std::uint64_t k, Entropy&& entropy) {
  const unsigned n = n_vars(t);
  if (k > n) return 0.0f;
  const std::vector<Vars> list = level_list(n, k);
  float acc = -0.0f;
  for (const Vars& s : list) acc = acc + entropy(t, s);
  return acc / static_cast<float>(list.size());
}

/// F(k) with the level summed on the worker pool (n >= 10) as an indexed
/// parallel sum: parts summed in list order from -0.0, joined left + right.
template <class Entropy>
float parallel_fragmentation_k(const Table& t, std::uint64_t k, Entropy&& entropy) {
  const unsigned n = n_vars(t);
  if (k > n) return 0.0f;
  if (n <= 9) return fragmentation_k(t, k, entropy);
  const std::vector<Vars> list = level_list(n, k);
  const float sum = varnel::pool::parallel_reduce(
      list.size(), 1, -0.0f,
      [&](std::uint64_t begin, std::uint64_t end) {
        float acc = -0.0f;
        for (std::uint64_t i = begin; i < end; ++i) acc = acc + entropy(t, list[i]);
        return acc;
      },
      [](float a, float b) { return a + b; });
  return sum / static_cast<float>(list.size());
}

template <class Level>
std::vector<float> profile_of(unsigned n, Level&& level) {
  std::vector<float> p;
  for (unsigned k = 0; k <= n; ++k) p.push_back(level(k));
  return p;
}

inline std::vector<float> profile(const Table& t) {
  return profile_of(n_vars(t), [&](unsigned k) {
    return fragmentation_k(t, k, [](const Table& f, const Vars& s) { return set_entropy(f, s); });
  });
}

/// The profile as literally described, with the literal restriction entropy
/// and the parallel level sums (the benchmark's baseline).
inline std::vector<float> literal_profile(const Table& t) {
  return profile_of(n_vars(t), [&](unsigned k) {
    return parallel_fragmentation_k(
        t, k, [](const Table& f, const Vars& s) { return literal_set_entropy(f, s); });
  });
}

inline std::vector<float> differences(const std::vector<float>& v) {
  std::vector<float> d;
  if (v.size() > 1) {
    for (std::size_t i = 0; i + 1 < v.size(); ++i) d.push_back(v[i + 1] - v[i]);
  }
  return d;
}

inline std::pair<std::uint64_t, float> peak(const std::vector<float>& p) {
  std::pair<std::uint64_t, float> best{0, -std::numeric_limits<float>::infinity()};
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] > best.second) best = {i, p[i]};
  }
  return best;
}

/// The fixed summation tree: lists of at most `leaf` entries in order from
/// -0.0, longer ones split into halves (the first of floor(length / 2)).
inline float tree_sum(const std::vector<float>& v, std::size_t begin, std::size_t end,
                      std::size_t leaf) {
  if (end - begin <= leaf) {
    float acc = -0.0f;
    for (std::size_t i = begin; i < end; ++i) acc = acc + v[i];
    return acc;
  }
  const std::size_t mid = begin + (end - begin) / 2;
  const float left = tree_sum(v, begin, mid, leaf);
  const float right = tree_sum(v, mid, end, leaf);
  return left + right;
}

}  // namespace plain
