#include "opt5/circuit.hpp"

#include <cstdio>
#include <cstdlib>

#include "opt5/lookup.hpp"

namespace opt5 {

namespace {

/// Input node values as table words: x_j is bit j of the input index.
constexpr std::uint32_t kInputWords[5] = {0xAAAAAAAAu, 0xCCCCCCCCu, 0xF0F0F0F0u, 0xFF00FF00u,
                                          0xFFFF0000u};

/// The caller's node of a library node: 1..5 are x4..x0, 6 + i is gate i.
constexpr std::uint8_t node_of(unsigned library_node) {
  return static_cast<std::uint8_t>(library_node <= 5 ? 5 - library_node : library_node - 1);
}

/// The operation table of a gate word's bits 0..2 (an exclusive-or of a, b
/// and a AND b): entry a + 2b.
constexpr std::uint8_t table_of_anf(unsigned anf) {
  unsigned op = 0;
  for (unsigned a = 0; a < 2; ++a)
    for (unsigned b = 0; b < 2; ++b) {
      const unsigned v = ((anf & 1u) & a) ^ (((anf >> 1) & 1u) & b) ^ (((anf >> 2) & 1u) & a & b);
      op |= v << (a + 2 * b);
    }
  return static_cast<std::uint8_t>(op);
}

[[noreturn]] void broken_chain(std::uint32_t word) {
  std::fprintf(stderr, "opt5: the chain for %08x does not end in its last gate\n", word);
  std::fflush(stderr);
  std::exit(1);
}

}  // namespace

std::uint32_t evaluate(const circuit& c) {
  std::uint32_t node[5 + kMaxGates];
  for (unsigned j = 0; j < 5; ++j) node[j] = kInputWords[j];
  for (unsigned i = 0; i < c.length; ++i) {
    const circuit_gate& g = c.gates[i];
    node[5 + i] = eval_table_op(g.op, node[g.a], node[g.b]);
  }
  const std::uint32_t out = c.output == circuit::kConstant ? 0u : node[c.output];
  return c.complement ? ~out : out;
}

circuit optimal_circuit(const wrapper& db, std::uint32_t word) {
  const std::uint32_t f = mirror_word(word);
  // After normalise_chain_fast (inside lookup_transform) bits 0..2 of each
  // gate describe it on the stored values of its inputs, and each gate's
  // stored value is what those bits compute: a chain of normal gates, with
  // the only complement left at the output literal.
  const gatevec_fast chain = lookup_transform(f, db.chains, *db.table);
  circuit c{};
  c.length = chain.length;
  for (unsigned i = 0; i < chain.length; ++i) {
    const std::uint16_t g = chain.gates[i];
    c.gates[i] = {table_of_anf(g & kGateOpMask), node_of(gate_input_a(g)),
                  node_of(gate_input_b(g))};
  }
  const unsigned out = chain.output >> 1;
  const bool negate = chain.output & 1u;
  if (chain.length == 0) {
    c.output = out == 0 ? circuit::kConstant : node_of(out);
    c.complement = negate;
    return c;
  }
  if (out != 5u + chain.length) broken_chain(word);
  c.output = static_cast<std::uint8_t>(4 + chain.length);
  if (negate) c.gates[chain.length - 1].op ^= 0xFu;
  return c;
}

}  // namespace opt5
