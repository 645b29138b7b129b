// Shared helpers of the C++ tests and benchmarks: bit extraction, the bits of
// a float (and a bit-exact test check on them), whether the build is
// sanitised, and random tables of the shapes that exercise the fast paths (forms
// that repeat, dummy variables, symmetric and constant functions).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

#include "plain.hpp"

namespace plain {

/// The bits of x at the positions set in mask, packed to the low end.
inline std::uint64_t pext(std::uint64_t x, std::uint64_t mask) {
  std::uint64_t out = 0;
  unsigned j = 0;
  for (unsigned i = 0; i < 64; ++i) {
    if ((mask >> i) & 1u) out |= ((x >> i) & 1u) << j++;
  }
  return out;
}

/// The IEEE bits of a single-precision value, for bit-exact comparisons.
inline std::uint32_t float_bits(float x) { return std::bit_cast<std::uint32_t>(x); }

/// Whether this is the sanitised build, which runs the slow reference code
/// about 50 times slower: the heaviest comparisons use fewer functions there.
#ifdef __SANITIZE_ADDRESS__
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

/// Shapes of random test tables.
enum class Shape {
  random,         // every entry a fair coin
  constant,       // all 0 or all 1
  parity,         // true on odd weight
  majority,       // true when more than half the variables are 1
  biased,         // each entry 1 with a random probability in 16ths
  junta,          // a random function of a random subset of the variables
  xor_of_halves,  // g(low half) XOR h(high half) for random g, h
  // Harder cases for the fragmentation profile's search for all-distinct
  // subsets:
  xor_of_thirds,      // g(A) XOR h(B) XOR j(C) on three consecutive parts, random g, h, j
  unbalanced_xor,     // g(low 2n/5) XOR h(the rest), random g, h
  parity_and_random,  // parity of the low half AND a random function of the high half
  symmetric,          // a random value for each weight of the input
  triangle,           // a triangle in the graph of the first n edges of the smallest K_v
  half_junta,         // a random function of variables 3 .. 3 + n/2 - 1 (fewer for n < 6)
  sparse,             // each entry 1 with probability 1/16
  very_sparse,        // each entry 1 with probability 1/256
  sparse_64,          // each entry 1 with probability 1/64
};

/// The exclusive or of random functions of consecutive blocks of variables
/// of the given sizes.
inline Table xor_of_parts(std::initializer_list<unsigned> sizes, std::mt19937_64& rng) {
  unsigned n = 0;
  for (unsigned s : sizes) n += s;
  Table t(std::size_t{1} << n, 0);
  unsigned low = 0;
  for (unsigned s : sizes) {
    const Table g = random_table(s, rng);
    for (std::size_t x = 0; x < t.size(); ++x) t[x] ^= g[(x >> low) & ((std::size_t{1} << s) - 1)];
    low += s;
  }
  return t;
}

/// Whether the graph whose edge e (pairs of 0 .. v-1 in lexicographic order)
/// is bit e of x, edges from the n-th on absent, has a triangle.
inline bool has_triangle(std::uint64_t x, unsigned n) {
  unsigned v = 0;
  while (v * (v - 1) / 2 < n) ++v;
  std::uint64_t adjacent[16] = {};
  unsigned e = 0;
  for (unsigned a = 0; a < v; ++a) {
    for (unsigned b = a + 1; b < v; ++b, ++e) {
      if (e < n && ((x >> e) & 1u)) {
        adjacent[a] |= std::uint64_t{1} << b;
        adjacent[b] |= std::uint64_t{1} << a;
      }
    }
  }
  for (unsigned a = 0; a < v; ++a) {
    for (unsigned b = a + 1; b < v; ++b) {
      if (((adjacent[a] >> b) & 1u) && (adjacent[a] & adjacent[b]) != 0) return true;
    }
  }
  return false;
}

/// A random table of 2^n entries of the given shape.
inline Table shaped_table(unsigned n, Shape shape, std::mt19937_64& rng) {
  const std::size_t size = std::size_t{1} << n;
  Table t(size);
  switch (shape) {
    case Shape::random:
      return random_table(n, rng);
    case Shape::constant: {
      const auto c = static_cast<std::uint8_t>(rng() & 1);
      for (auto& e : t) e = c;
      return t;
    }
    case Shape::parity:
      for (std::size_t x = 0; x < size; ++x) t[x] = std::popcount(x) & 1;
      return t;
    case Shape::majority:
      for (std::size_t x = 0; x < size; ++x) t[x] = 2 * static_cast<unsigned>(std::popcount(x)) > n;
      return t;
    case Shape::biased: {
      const unsigned threshold = static_cast<unsigned>(rng() % 16);
      for (auto& e : t) e = (rng() % 16) < threshold;
      return t;
    }
    case Shape::junta: {
      const std::uint64_t all = n == 0 ? 0 : (n >= 64 ? ~0ull : (1ull << n) - 1);
      const std::uint64_t relevant = rng() & all;
      const Table g = random_table(static_cast<unsigned>(std::popcount(relevant)), rng);
      for (std::size_t x = 0; x < size; ++x) t[x] = g[pext(x, relevant)];
      return t;
    }
    case Shape::xor_of_halves: {
      const unsigned low = n / 2;
      const Table g = random_table(low, rng);
      const Table h = random_table(n - low, rng);
      for (std::size_t x = 0; x < size; ++x)
        t[x] = g[x & ((std::size_t{1} << low) - 1)] ^ h[x >> low];
      return t;
    }
    case Shape::xor_of_thirds:
      return xor_of_parts({n / 3, n / 3, n - 2 * (n / 3)}, rng);
    case Shape::unbalanced_xor:
      return xor_of_parts({2 * n / 5, n - 2 * n / 5}, rng);
    case Shape::parity_and_random: {
      const unsigned low = n / 2;
      const Table h = random_table(n - low, rng);
      for (std::size_t x = 0; x < size; ++x)
        t[x] = (std::popcount(x & ((std::size_t{1} << low) - 1)) & 1) & h[x >> low];
      return t;
    }
    case Shape::symmetric: {
      const Table by_weight = random_table(7, rng);  // weights up to 127
      for (std::size_t x = 0; x < size; ++x) t[x] = by_weight[std::popcount(x)];
      return t;
    }
    case Shape::triangle:
      for (std::size_t x = 0; x < size; ++x) t[x] = has_triangle(x, n);
      return t;
    case Shape::sparse:
      for (auto& e : t) e = rng() % 16 == 0;
      return t;
    case Shape::very_sparse:
      for (auto& e : t) e = rng() % 256 == 0;
      return t;
    case Shape::sparse_64:
      for (auto& e : t) e = rng() % 64 == 0;
      return t;
    case Shape::half_junta: {
      const unsigned first = n >= 6 ? 3 : 0;
      const unsigned count = n >= 6 ? n / 2 : n;
      const Table g = random_table(count, rng);
      for (std::size_t x = 0; x < size; ++x)
        t[x] = g[(x >> first) & ((std::size_t{1} << count) - 1)];
      return t;
    }
  }
  return t;
}

/// A random table whose shape is drawn uniformly from `mix` (a shape listed
/// twice is drawn twice as often).
inline Table mixed_table(unsigned n, std::initializer_list<Shape> mix, std::mt19937_64& rng) {
  const Shape shape = mix.begin()[rng() % mix.size()];
  return shaped_table(n, shape, rng);
}

}  // namespace plain

/// In a GoogleTest test: a and b are the same single-precision value to the bit.
#define EXPECT_SAME_FLOAT(a, b) \
  EXPECT_EQ(plain::float_bits(a), plain::float_bits(b)) << (a) << " vs " << (b)
