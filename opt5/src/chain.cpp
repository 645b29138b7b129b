#include "opt5/chain.hpp"

namespace opt5 {

std::uint32_t apply_oper8r(std::uint32_t a, char op, std::uint32_t b) {
  switch (op) {
    case '&':
      return a & b;
    case '+':
      return a ^ b;
    case '/':
      return ~a & b;
    case '\\':
      return a & ~b;
    case '|':
      return a | b;
    default:
      return 0;
  }
}

// Node indices in gate words and output literals are 5-bit fields, so the
// node array has all 32 slots: an index past the chain reads false instead of
// reading outside the array.
constexpr unsigned kNodeSlots = 32;
static_assert(6 + kMaxGates <= kNodeSlots);

std::uint32_t eval_chain(const gatevec_fast& chain) {
  std::uint32_t node[kNodeSlots] = {};
  for (unsigned k = 0; k < 6; ++k) node[k] = kNodeValues[k];
  for (unsigned i = 0; i < chain.length && i < kMaxGates; ++i) {
    const std::uint16_t g = chain.gates[i];
    const std::uint32_t a = node[gate_input_a(g)] ^ ((g & kGateNegA) ? ~0u : 0u);
    const std::uint32_t b = node[gate_input_b(g)] ^ ((g & kGateNegB) ? ~0u : 0u);
    node[6 + i] = eval_op(g & kGateOpMask, a, b) ^ ((g & kGateNegOut) ? ~0u : 0u);
  }
  return node[(chain.output >> 1) & 31u] ^ ((chain.output & 1u) ? ~0u : 0u);
}

}  // namespace opt5
