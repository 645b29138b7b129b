// Gate chains over five inputs: the library word, the node numbering, the
// 16-bit gate word, the output literal and the chain record.
//
// Library word: a five-input function as a 32-bit word whose bit (31 - j) is
// the value at input j; bit k of j is variable k. Bit 31 is the value at the
// all-zero input, and a word is *normal* when bit 31 is 0.
//
// Nodes: 0 is constant false, 1..5 are the variables 4, 3, 2, 1, 0 in that
// order, and 6 + i is gate i. A gate reads inputs and earlier gates only.
//
// Gate word, bit by bit:
//   0..2   coefficients of a, b and a AND b: the gate computes the exclusive-or
//          of the selected terms (an algebraic normal form without constant)
//   3      input A is taken complemented
//   4..8   node index of input A
//   9      input B is taken complemented
//   10..14 node index of input B
//   15     the gate's output is complemented (the constant term)
//
// Output literal: (node << 1) | complement.
#pragma once

#include <cstdint>

namespace opt5 {

/// Number of gates a chain record can hold.
inline constexpr unsigned kMaxGates = 12;

/// Truth tables of the nodes 0..5: constant false, then variables 4, 3, 2, 1, 0.
inline constexpr std::uint32_t kNodeValues[6] = {0x00000000u, 0x0000FFFFu, 0x00FF00FFu,
                                                 0x0F0F0F0Fu, 0x33333333u, 0x55555555u};

/// Operator codes (bits 0..2 of a gate word) of the four stored operators.
inline constexpr std::uint16_t kOpAnd = 4;     // a AND b
inline constexpr std::uint16_t kOpOr = 7;      // a XOR b XOR (a AND b)
inline constexpr std::uint16_t kOpXor = 3;     // a XOR b
inline constexpr std::uint16_t kOpAndNot = 5;  // a AND NOT b = a XOR (a AND b)

/// Gate-word fields.
inline constexpr std::uint16_t kGateOpMask = 0x0007;
inline constexpr std::uint16_t kGateNegA = 0x0008;
inline constexpr std::uint16_t kGateNegB = 0x0200;
inline constexpr std::uint16_t kGateNegOut = 0x8000;

/// Node index of input A of gate word g (bits 4..8).
constexpr unsigned gate_input_a(std::uint16_t g) { return (g >> 4) & 31u; }
/// Node index of input B of gate word g (bits 10..14).
constexpr unsigned gate_input_b(std::uint16_t g) { return (g >> 10) & 31u; }

/// The gate word reading nodes a and b (uncomplemented) with operator code `op`.
constexpr std::uint16_t make_gate(unsigned a, unsigned b, std::uint16_t op) {
  return static_cast<std::uint16_t>((a << 4) | (b << 10) | op);
}

/// Value of a gate with operator code `op` (bits 0..2) on input values a and b.
constexpr std::uint32_t eval_op(unsigned op, std::uint32_t a, std::uint32_t b) {
  return ((op & 1u) ? a : 0u) ^ ((op & 2u) ? b : 0u) ^ ((op & 4u) ? (a & b) : 0u);
}

/// One chain: `length` gate words (the rest are never read) and the output literal.
struct gatevec_fast {
  std::uint16_t gates[kMaxGates];
  std::uint8_t length;
  std::uint8_t output;
};

/// The word with bit i moved to bit 31 - i: between the library word and a
/// table word (entry i at bit i, the `from_number` order). Its own inverse.
constexpr std::uint32_t mirror_word(std::uint32_t w) {
  w = ((w >> 1) & 0x55555555u) | ((w & 0x55555555u) << 1);
  w = ((w >> 2) & 0x33333333u) | ((w & 0x33333333u) << 2);
  w = ((w >> 4) & 0x0F0F0F0Fu) | ((w & 0x0F0F0F0Fu) << 4);
  w = ((w >> 8) & 0x00FF00FFu) | ((w & 0x00FF00FFu) << 8);
  return (w >> 16) | (w << 16);
}

/// a OP b by the operator's character: '&' AND, '+' XOR, '/' (NOT a) AND b,
/// '\\' a AND NOT b, '|' OR; any other character gives 0.
std::uint32_t apply_oper8r(std::uint32_t a, char op, std::uint32_t b);

/// The function a chain computes, by plain evaluation of its gates (gate words
/// with any complement bits); no rewriting.
std::uint32_t eval_chain(const gatevec_fast& chain);

}  // namespace opt5
