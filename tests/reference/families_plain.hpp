// Structured and random test functions for the classical measures, as plain
// byte tables: the shapes that stress different paths (low and high
// sensitivity, sparse and dense tables, juntas, bent functions), alongside
// uniform and biased random tables.
#pragma once

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "plain.hpp"

namespace plain {

struct Case {
  std::string name;
  Table table;
};

inline Table make_table(unsigned n, auto&& f) {
  Table t(std::size_t{1} << n);
  for (std::size_t x = 0; x < t.size(); ++x) t[x] = f(x) ? 1 : 0;
  return t;
}

/// f(x) = 1 iff popcount(x) >= k.
inline Table threshold(unsigned n, unsigned k) {
  return make_table(n, [k](std::size_t x) { return static_cast<unsigned>(std::popcount(x)) >= k; });
}

/// The inner product x0 x1 + x2 x3 + ... (mod 2): bent for even n.
inline Table inner_product(unsigned n) {
  return make_table(n, [n](std::size_t x) {
    unsigned v = 0;
    for (unsigned j = 0; j + 1 < n; j += 2) v ^= ((x >> j) & (x >> (j + 1))) & 1u;
    return v != 0;
  });
}

/// Each entry true with probability p.
inline Table biased(unsigned n, double p, std::mt19937_64& rng) {
  std::bernoulli_distribution coin(p);
  return make_table(n, [&](std::size_t) { return coin(rng); });
}

/// A random function of the first k < n variables only.
inline Table junta(unsigned n, unsigned k, std::mt19937_64& rng) {
  const Table inner = random_table(k, rng);
  return make_table(n, [&](std::size_t x) { return inner[x & ((std::size_t{1} << k) - 1)] != 0; });
}

/// OR of ANDs over consecutive blocks of w variables.
inline Table tribes(unsigned n, unsigned w) {
  return make_table(n, [n, w](std::size_t x) {
    for (unsigned b = 0; b + w <= n; b += w) {
      const std::size_t mask = ((std::size_t{1} << w) - 1) << b;
      if ((x & mask) == mask) return true;
    }
    return false;
  });
}

/// A spread of functions of n variables: random, biased, structured.
inline std::vector<Case> corpus(unsigned n, std::mt19937_64& rng, int randoms = 4) {
  std::vector<Case> out;
  const std::string tag = "n=" + std::to_string(n) + " ";
  for (int r = 0; r < randoms; ++r) out.push_back({tag + "random", random_table(n, rng)});
  for (double p : {0.03, 0.2, 0.8, 0.97}) out.push_back({tag + "biased", biased(n, p, rng)});
  out.push_back({tag + "false", make_table(n, [](std::size_t) { return false; })});
  out.push_back({tag + "true", make_table(n, [](std::size_t) { return true; })});
  out.push_back(
      {tag + "parity", make_table(n, [](std::size_t x) { return std::popcount(x) & 1; })});
  out.push_back({tag + "majority", threshold(n, (n + 1) / 2)});
  out.push_back({tag + "and", threshold(n, n)});
  out.push_back({tag + "or", threshold(n, 1)});
  out.push_back({tag + "inner product", inner_product(n)});
  if (n >= 2) {
    out.push_back({tag + "threshold", threshold(n, n / 3 + 1)});
    out.push_back({tag + "tribes", tribes(n, 2)});
    out.push_back({tag + "junta", junta(n, n / 2, rng)});
    out.push_back(
        {tag + "dictator", make_table(n, [n](std::size_t x) { return (x >> (n - 1)) & 1u; })});
    out.push_back({tag + "one point", make_table(n, [n](std::size_t x) {
                     return x == (std::size_t{5} % (std::size_t{1} << n));
                   })});
  }
  return out;
}

}  // namespace plain
