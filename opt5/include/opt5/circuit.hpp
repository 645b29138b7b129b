// Optimal circuits for given five-input functions, as plain gate lists.
//
// The stored chain of a function's class is rewritten for the function itself
// (lookup_transform), and its gates are restated in the caller's terms:
// nodes 0..4 are the inputs x0..x4 (variable j is node j), node 5 + i is
// gate i, and each gate carries its operation as a 4-bit truth table whose
// entry a + 2b (bit a + 2b) is the gate's value when its inputs are a and b.
// Input and output complements are part of those tables, so a circuit of at
// least one gate has no inverter left: its output is its last gate. Only the
// zero-gate circuits (constants and single variables) carry an output
// complement.
#pragma once

#include <cstdint>

#include "opt5/chain.hpp"
#include "opt5/database.hpp"

namespace opt5 {

/// One gate: operation table and its two input nodes.
struct circuit_gate {
  std::uint8_t op;  // bit a + 2b: value on inputs a, b
  std::uint8_t a;
  std::uint8_t b;
};

/// A circuit over the inputs x0..x4.
struct circuit {
  circuit_gate gates[kMaxGates];
  std::uint8_t length;
  /// Output node; kConstant for the constant circuits (zero gates).
  std::uint8_t output;
  /// Output complemented (zero-gate circuits only).
  bool complement;

  static constexpr std::uint8_t kConstant = 0xFF;
};

/// The value of a two-input operation table on input words a and b.
constexpr std::uint32_t eval_table_op(unsigned op, std::uint32_t a, std::uint32_t b) {
  return ((op & 1u) ? ~a & ~b : 0u) | ((op & 2u) ? a & ~b : 0u) | ((op & 4u) ? ~a & b : 0u) |
         ((op & 8u) ? a & b : 0u);
}

/// The function a circuit computes, as a table word (entry x at bit x).
std::uint32_t evaluate(const circuit& c);

/// An optimal circuit for the function with table word `word` (entry x at
/// bit x, the `from_number` order), from the database `db`. Its length is the
/// function's minimal gate count.
circuit optimal_circuit(const wrapper& db, std::uint32_t word);

}  // namespace opt5
