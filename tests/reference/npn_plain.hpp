// Plain reference code for the optimal-circuit library, written from the
// definitions: NPN representatives by enumerating every input transform,
// the transform relation checked input by input, chains evaluated gate by
// gate, and the chain-file record format packed field by field.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace plain {

/// Value of library word w at input x (bit 31 - x).
inline bool at(std::uint32_t w, unsigned x) { return (w >> (31 - x)) & 1u; }

/// Exchanges the bit positions p and p + stride for every p whose bit `stride`
/// is clear (stride a power of two): complements the variable whose bit in the
/// input index is `stride`.
inline std::uint32_t flip_positions(std::uint32_t w, unsigned stride) {
  static constexpr std::uint32_t kLow[5] = {0x55555555, 0x33333333, 0x0F0F0F0F, 0x00FF00FF,
                                            0x0000FFFF};
  const std::uint32_t m = kLow[__builtin_ctz(stride)];
  return ((w & m) << stride) | ((w >> stride) & m);
}

/// For each permutation of the n inputs, the input index P(x) for every x:
/// bit k of x moved to bit perm[k].
inline const std::vector<std::array<std::uint8_t, 32>>& permutation_maps(unsigned n) {
  static const auto make = [](unsigned vars) {
    std::vector<std::array<std::uint8_t, 32>> maps;
    std::array<unsigned, 5> perm = {0, 1, 2, 3, 4};
    do {
      std::array<std::uint8_t, 32> map{};
      for (unsigned x = 0; x < (1u << vars); ++x) {
        unsigned px = 0;
        for (unsigned k = 0; k < vars; ++k) px |= ((x >> k) & 1u) << perm[k];
        map[x] = static_cast<std::uint8_t>(px);
      }
      maps.push_back(map);
    } while (std::next_permutation(perm.begin(), perm.begin() + vars));
    return maps;
  };
  static const auto four = make(4), five = make(5);
  return n == 4 ? four : five;
}

/// Canonical representative of a word of n = 4 or 5 inputs (2^n bits): the
/// least word over every permutation and complementation of the inputs, each
/// followed by complementing the word when its top bit is set.
inline std::uint32_t npn_brute(std::uint32_t f, unsigned n) {
  const unsigned bits = 1u << n;
  const std::uint32_t top = 1u << (bits - 1);
  const std::uint32_t all = bits == 32 ? ~0u : (1u << bits) - 1;
  std::uint32_t best = ~0u;
  for (const auto& map : permutation_maps(n)) {
    // g(x) = f(P(x)).
    std::uint32_t g = 0;
    for (unsigned x = 0; x < bits; ++x)
      if ((f >> (bits - 1 - map[x])) & 1u) g |= 1u << (bits - 1 - x);
    // Every complement mask, by a Gray code: one more variable flipped per step.
    for (unsigned i = 0; i < (1u << n); ++i) {
      if (i != 0) g = flip_positions(g, 1u << __builtin_ctz(i)) & all;
      best = std::min(best, (g & top) ? (~g & all) : g);
    }
  }
  return best;
}

/// The same minimum by a walk over all 3,840 transforms, one elementary step
/// each: the 120 permutations by single exchanges of two variables (Heap's
/// order), and for each the 32 complement masks by a Gray code. This is the
/// brute force the benchmarks time.
inline std::uint32_t npn_walk(std::uint32_t f) {
  struct Swap {
    unsigned shift;
    std::uint32_t mask;
  };
  static const std::vector<Swap> swaps = [] {
    // Positions p = 31 - x, so variable k is bit k of p (complemented, which
    // an exchange does not see). Exchanging variables i < j moves the bits
    // with bit i set and bit j clear up by 2^j - 2^i.
    auto swap_of = [](unsigned i, unsigned j) {
      if (i > j) std::swap(i, j);
      std::uint32_t m = 0;
      for (unsigned p = 0; p < 32; ++p)
        if (((p >> i) & 1u) && !((p >> j) & 1u)) m |= 1u << p;
      return Swap{(1u << j) - (1u << i), m};
    };
    std::vector<Swap> out;
    unsigned c[5] = {};
    for (unsigned i = 1; i < 5;) {  // Heap's algorithm, iterative
      if (c[i] < i) {
        out.push_back(swap_of(i % 2 == 0 ? 0 : c[i], i));
        ++c[i];
        i = 1;
      } else {
        c[i] = 0;
        ++i;
      }
    }
    return out;
  }();
  std::uint32_t best = ~0u;
  auto visit = [&](std::uint32_t& g) {
    for (unsigned i = 0; i < 32; ++i) {
      if (i != 0) g = flip_positions(g, 1u << __builtin_ctz(i));
      best = std::min(best, (g >> 31) ? ~g : g);
    }
  };
  std::uint32_t g = f;
  visit(g);
  for (const Swap& s : swaps) {
    const std::uint32_t t = (g ^ (g >> s.shift)) & s.mask;
    g ^= t ^ (t << s.shift);
    visit(g);
  }
  return best;
}

/// A five-input transform as six entries: t[0] output complement, t[k] = ±m.
using Transform = std::array<int, 6>;

/// The input y that t takes x to: the node-k variable of y (node k = variable
/// 5 - k) is the node-|t[k]| variable of x, complemented when t[k] < 0.
inline unsigned transformed_input(unsigned x, const Transform& t) {
  unsigned y = 0;
  for (int k = 1; k <= 5; ++k) {
    const int m = t[k] < 0 ? -t[k] : t[k];
    const unsigned bit = ((x >> (5 - m)) & 1u) ^ (t[k] < 0 ? 1u : 0u);
    y |= bit << (5 - k);
  }
  return y;
}

/// Whether f(x) = t[0] XOR r(y) for every input x, y = transformed_input(x, t),
/// and t is a signed permutation.
inline bool transform_holds(std::uint32_t f, std::uint32_t r, const Transform& t) {
  if (t[0] != 0 && t[0] != 1) return false;
  unsigned seen = 0;
  for (int k = 1; k <= 5; ++k) {
    const int m = t[k] < 0 ? -t[k] : t[k];
    if (m < 1 || m > 5) return false;
    seen |= 1u << m;
  }
  if (seen != 0x3Eu) return false;
  for (unsigned x = 0; x < 32; ++x) {
    if (at(f, x) != (static_cast<bool>(t[0]) != at(r, transformed_input(x, t)))) return false;
  }
  return true;
}

/// The word g with g(x) = t[0] XOR f(transformed_input(x, t)): the function
/// that t leads to from f.
inline std::uint32_t apply_transform(std::uint32_t f, const Transform& t) {
  std::uint32_t g = 0;
  for (unsigned x = 0; x < 32; ++x) {
    if (static_cast<bool>(t[0]) != at(f, transformed_input(x, t))) g |= 1u << (31 - x);
  }
  return g;
}

/// Node values of a chain: 0, then variables 4, 3, 2, 1, 0.
inline constexpr std::uint32_t kNodes[6] = {0,          0x0000FFFF, 0x00FF00FF,
                                            0x0F0F0F0F, 0x33333333, 0x55555555};

/// A gate of a plain chain: inputs, their complements, the function as a
/// 4-entry table op(a, b) = (table >> (2a + b)) & 1.
struct Gate {
  unsigned a, b;
  bool neg_a, neg_b;
  unsigned table;
};

/// Evaluates a plain chain; the result is node `out`, complemented if asked.
inline std::uint32_t eval(const std::vector<Gate>& gates, unsigned out, bool neg_out) {
  std::vector<std::uint32_t> node(kNodes, kNodes + 6);
  for (const Gate& g : gates) {
    const std::uint32_t a = node.at(g.a) ^ (g.neg_a ? ~0u : 0u);
    const std::uint32_t b = node.at(g.b) ^ (g.neg_b ? ~0u : 0u);
    std::uint32_t v = 0;
    for (unsigned p = 0; p < 32; ++p) {
      const unsigned ia = (a >> p) & 1u, ib = (b >> p) & 1u;
      v |= ((g.table >> (2 * ia + ib)) & 1u) << p;
    }
    node.push_back(v);
  }
  return node.at(out) ^ (neg_out ? ~0u : 0u);
}

/// One 15-byte record of the chain file from its twelve 10-bit fields.
inline std::array<std::uint8_t, 15> record(const std::vector<unsigned>& fields) {
  std::array<std::uint8_t, 15> out{};
  for (std::size_t k = 0; k < fields.size(); ++k)
    for (unsigned bit = 0; bit < 10; ++bit)
      if ((fields[k] >> bit) & 1u) {
        const std::size_t pos = 10 * k + bit;
        out[pos / 8] |= static_cast<std::uint8_t>(1u << (pos % 8));
      }
  return out;
}

/// The record field of a gate reading nodes a, b (1..16) with record operator op
/// (0 AND, 1 OR, 2 XOR, 3 AND-NOT).
inline unsigned field(unsigned a, unsigned b, unsigned op) {
  return (a - 1) | ((b - 1) << 4) | (op << 8);
}

}  // namespace plain
