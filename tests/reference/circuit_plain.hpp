// Plain reference for circuits over table words (entry x at bit x): each gate
// evaluated input by input from its operation table, and transforms applied
// input by input.
#pragma once

#include <cstdint>
#include <vector>

namespace circuit_plain {

struct Gate {
  unsigned op, a, b;  // op bit a + 2b: value on a, b
};

/// The table word of a circuit; output < 0 is constant false.
inline std::uint32_t eval(const std::vector<Gate>& gates, int output, bool complement) {
  std::uint32_t word = 0;
  for (unsigned x = 0; x < 32; ++x) {
    std::vector<unsigned> node;
    for (unsigned j = 0; j < 5; ++j) node.push_back((x >> j) & 1u);
    for (const Gate& g : gates) node.push_back((g.op >> (node.at(g.a) + 2 * node.at(g.b))) & 1u);
    const unsigned v = output < 0 ? 0u : node.at(static_cast<unsigned>(output));
    word |= (v ^ (complement ? 1u : 0u)) << x;
  }
  return word;
}

/// g(x) = c XOR h(z), z_i = x_{perm[i]} XOR bit i of mask.
inline std::uint32_t apply(std::uint32_t h, const unsigned perm[5], unsigned mask, bool c) {
  std::uint32_t g = 0;
  for (unsigned x = 0; x < 32; ++x) {
    unsigned z = 0;
    for (unsigned i = 0; i < 5; ++i) z |= (((x >> perm[i]) & 1u) ^ ((mask >> i) & 1u)) << i;
    g |= (((h >> z) & 1u) ^ (c ? 1u : 0u)) << x;
  }
  return g;
}

}  // namespace circuit_plain
