// Gate chains over five inputs: a general working form (any two-input gate,
// complements folded into the gate's truth table) and the 15-byte record form
// of the chain database (normal gates AND, OR, XOR, AND-NOT over nodes 1..16).
#pragma once

#include <array>
#include <cstdint>

#include "canon.hpp"

namespace chaingen {

/// Node values: node 0 is constant false, nodes 1..5 are variables 4..0.
inline constexpr std::uint32_t kNode[6] = {0,          0x0000FFFF, 0x00FF00FF,
                                           0x0F0F0F0F, 0x33333333, 0x55555555};
/// Node of variable i.
inline constexpr int var_node(int i) { return 5 - i; }

/// Two-input truth table: bit (2a + b) is the output for operand values a, b.
inline std::uint32_t eval_tt(unsigned tt, std::uint32_t a, std::uint32_t b) {
  std::uint32_t r = 0;
  if (tt & 1) r |= ~a & ~b;
  if (tt & 2) r |= ~a & b;
  if (tt & 4) r |= a & ~b;
  if (tt & 8) r |= a & b;
  return r;
}
inline unsigned tt_neg_a(unsigned tt) { return ((tt >> 2) & 3) | ((tt & 3) << 2); }
inline unsigned tt_neg_b(unsigned tt) { return ((tt >> 1) & 5) | ((tt & 5) << 1); }
inline unsigned tt_swap(unsigned tt) { return (tt & 9) | ((tt & 2) << 1) | ((tt & 4) >> 1); }
/// The ten two-input functions that depend on both operands.
inline constexpr std::uint8_t kBoth[10] = {1, 2, 4, 6, 7, 8, 9, 11, 13, 14};
/// The five of them with output 0 for operands 0, 0 (they keep words normal).
inline constexpr std::uint8_t kNormal[5] = {8, 14, 6, 4, 2};

inline constexpr int kMaxNodes = 64;

struct GGate {
  std::uint8_t a, b, tt;
};

/// A chain in working form: gate i is node 6 + i; gates may name any node
/// (the finishing step orders them); the function is node `out`, complemented
/// when `outc` is set.
struct GChain {
  int n = 0;
  std::uint8_t out = 0, outc = 0;
  GGate g[kMaxNodes - 6];

  int add(int a, int b, unsigned tt) {
    g[n] = GGate{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                 static_cast<std::uint8_t>(tt)};
    return 6 + n++;
  }
  /// Node values in gate order (only valid when gates name earlier nodes).
  void eval(std::uint32_t* v) const;
  /// Appends `o` (its inputs shared with ours); returns the node of o's output
  /// value, which is complemented iff *compl is set.
  int append(const GChain& o, int* compl_out);
  /// The chain of x -> xf.out XOR this(xf.map[x]).
  GChain transformed(const Xform& xf) const;
};

/// A database record: 12 fields of 10 bits, little-endian (byte 15 unused).
using Rec = std::array<std::uint8_t, 16>;

/// Orders, deduplicates and normalises a working chain into a record whose
/// last gate computes the chain's function up to complement. Returns false
/// when the result has no gate or more than 12. *value gets the (normal)
/// function, *len the number of gates.
bool finish(const GChain& c, Rec& rec, std::uint32_t* value, int* len);

/// Field k of a record.
inline unsigned rec_field(const Rec& r, int k) {
  unsigned bit = 10u * k, byte = bit >> 3, sh = bit & 7;
  unsigned x = r[byte] | (r[byte + 1] << 8) | (byte + 2 < 16 ? r[byte + 2] << 16 : 0);
  return (x >> sh) & 0x3FF;
}
void rec_set_field(Rec& r, int k, unsigned v);
int rec_len(const Rec& r);
/// Evaluates a record by the database's rules; returns false on a malformed
/// chain (zero field inside, node out of range or forward reference).
bool rec_eval(const Rec& r, std::uint32_t* value, int* len);
/// The working form of a record.
GChain rec_chain(const Rec& r);

}  // namespace chaingen
