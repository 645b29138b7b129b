// Plain reference implementations of the function families and the clique
// search: the literal per-entry definitions, one byte per table entry. The
// tests compare the fast builders with these entry by entry, and the
// benchmarks time them side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "plain.hpp"

namespace plain {

/// Trial division: 0, 1 not prime; 2 prime; other evens not; 3, 5, 7 prime;
/// otherwise odd divisors d = 3, 5, ... while d * d <= i.
inline bool is_prime(std::uint64_t i) {
  if (i < 2) return false;
  if (i == 2) return true;
  if (i % 2 == 0) return false;
  if (i == 3 || i == 5 || i == 7) return true;
  for (std::uint64_t d = 3; d * d <= i; d += 2) {
    if (i % d == 0) return false;
  }
  return true;
}

/// The same test in 32-bit signed arithmetic, as the sum family states it.
inline bool is_prime_i32(std::int32_t s) {
  if (s < 2) return false;
  if (s == 2) return true;
  if (s % 2 == 0) return false;
  if (s == 3 || s == 5 || s == 7) return true;
  for (std::int32_t k = 3; k * k <= s; k += 2) {
    if (s % k == 0) return false;
  }
  return true;
}

inline Table parity(unsigned n) {
  Table t;
  t.reserve(std::size_t{1} << n);
  for (std::uint64_t i = 0; i < (std::uint64_t{1} << n); ++i) {
    t.push_back(__builtin_popcountll(i) % 2 == 0);
  }
  return t;
}

inline Table majority(unsigned n) {
  Table t;
  t.reserve(std::size_t{1} << n);
  for (std::uint64_t i = 0; i < (std::uint64_t{1} << n); ++i) {
    t.push_back(static_cast<unsigned>(__builtin_popcountll(i)) > n / 2);
  }
  return t;
}

inline Table primality(unsigned n) {
  Table t;
  t.reserve(std::size_t{1} << n);
  for (std::uint64_t i = 0; i < (std::uint64_t{1} << n); ++i) t.push_back(is_prime(i));
  return t;
}

/// Entry i of a two-operand family: (x, y) = (i >> n, i & mask).
inline bool coprimes_entry(unsigned n, std::uint64_t i) {
  const std::uint64_t mask = ~(~std::uint64_t{0} << n);
  std::uint64_t a = i >> n;
  std::uint64_t b = i & mask;
  while (b != 0) {
    const std::uint64_t r = a % b;
    a = b;
    b = r;
  }
  return a == 1;
}

inline Table coprimes(unsigned n) {
  Table t;
  t.reserve(std::size_t{1} << (2 * n));
  for (std::uint64_t i = 0; i < (std::uint64_t{1} << (2 * n)); ++i) {
    t.push_back(coprimes_entry(n, i));
  }
  return t;
}

inline bool sum_is_prime_entry(unsigned n, std::int32_t i) {
  const std::int32_t x = i >> n;
  const std::int32_t y = i & ((std::int32_t{1} << n) - 1);
  return is_prime_i32(x + y);
}

inline Table sum_is_prime(unsigned n) {
  const std::int32_t len = std::int32_t{1} << (2 * n);
  Table t;
  t.reserve(static_cast<std::size_t>(len));
  for (std::int32_t i = 0; i < len; ++i) t.push_back(sum_is_prime_entry(n, i));
  return t;
}

/// The clique search as stated: k = 1 gives [0]; k = n checks every pair in
/// order; otherwise every k-subset in lexicographic order, each abandoned at its
/// first absent pair. A pair numbered beyond the flag list is absent.
inline std::optional<std::vector<std::size_t>> find_clique(const std::vector<std::uint8_t>& edges,
                                                           std::size_t n, std::size_t k) {
  auto present = [&](std::size_t lo, std::size_t hi) {
    const std::size_t e = lo * (2 * n - lo - 1) / 2 + (hi - lo - 1);
    return e < edges.size() && edges[e] != 0;
  };
  if (k == 1) return std::vector<std::size_t>{0};
  if (k == n) {
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = i + 1; j < n; ++j) {
        if (!present(i, j)) return std::nullopt;
      }
    }
    std::vector<std::size_t> all;
    for (std::size_t i = 0; i < n; ++i) all.push_back(i);
    return all;
  }
  if (k > n) return std::nullopt;
  std::vector<std::size_t> c(k);
  for (std::size_t j = 0; j < k; ++j) c[j] = j;
  while (true) {
    bool ok = true;
    for (std::size_t p = 0; p < k && ok; ++p) {
      for (std::size_t q = p + 1; q < k && ok; ++q) ok = present(c[p], c[q]);
    }
    if (ok) return c;
    std::size_t i = k;
    while (i > 0 && c[i - 1] == n - k + (i - 1)) --i;
    if (i == 0) return std::nullopt;
    ++c[i - 1];
    for (std::size_t j = i; j < k; ++j) c[j] = c[j - 1] + 1;
  }
}

/// Entry i of the clique family: the edge list of the m bits of i, searched
/// for a clique of n / 2 vertices.
inline bool clique_entry(unsigned n, std::uint64_t i) {
  const std::size_t m = n * (n == 0 ? 0 : n - 1) / 2;
  std::vector<std::uint8_t> edges(m);
  for (std::size_t e = 0; e < m; ++e) edges[e] = (i >> e) & 1;
  return find_clique(edges, n, n / 2).has_value();
}

inline Table clique(unsigned n) {
  const std::size_t m = n * (n == 0 ? 0 : n - 1) / 2;
  Table t;
  t.reserve(std::size_t{1} << m);
  for (std::uint64_t i = 0; i < (std::uint64_t{1} << m); ++i) t.push_back(clique_entry(n, i));
  return t;
}

}  // namespace plain
