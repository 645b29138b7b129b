// Internals of the canonicaliser: elementary moves as branch-free word
// operations, and transforms packed into one word.
#pragma once

#include <cstdint>

#include "opt5/npn.hpp"

namespace opt5 {

/// Exchanges bit i and bit i + s of w for every bit i set in m.
constexpr std::uint32_t delta_swap(std::uint32_t w, unsigned s, std::uint32_t m) {
  const std::uint32_t t = (w ^ (w >> s)) & m;
  return w ^ t ^ (t << s);
}

/// A transform packed four bits per entry: bits 4k..4k+2 hold |t[k]|, bit
/// 4k+3 the sign of t[k] (k = 1..5); bit 0 holds t[0].
using packed_transform = std::uint32_t;
inline constexpr packed_transform kIdentityPacked = 0x543210;

/// An elementary move as a delta swap plus an exclusive-or, both on the word
/// and on the packed transform.
struct MoveOps {
  std::uint32_t mask, flip, tmask, tflip;
  std::uint8_t shift, tshift;
};

inline constexpr MoveOps kMoves[16] = {
    {0, 0, 0, 0, 0, 0},                        // 0: none
    {0x00F000F0u, 0, 0x00000F00u, 0, 4, 4},    // 1: variables 2, 3; t[2], t[3]
    {0x0C0C0C0Cu, 0, 0x0000F000u, 0, 2, 4},    // 2: variables 1, 2; t[3], t[4]
    {0x22222222u, 0, 0x000F0000u, 0, 1, 4},    // 3: variables 0, 1; t[4], t[5]
    {0x00CC00CCu, 0, 0x00000F00u, 0, 6, 8},    // 4: variables 1, 3; t[2], t[4]
    {0x0A0A0A0Au, 0, 0x0000F000u, 0, 3, 8},    // 5: variables 0, 2; t[3], t[5]
    {0x00AA00AAu, 0, 0x00000F00u, 0, 7, 12},   // 6: variables 0, 3; t[2], t[5]
    {0x00FF00FFu, ~0u, 0, 0x00000801u, 8, 0},  // 7: as 8, output complemented
    {0x00FF00FFu, 0, 0, 0x00000800u, 8, 0},    // 8: variable 3; -t[2]
    {0x0F0F0F0Fu, ~0u, 0, 0x00008001u, 4, 0},  // 9: as 10, output complemented
    {0x0F0F0F0Fu, 0, 0, 0x00008000u, 4, 0},    // 10: variable 2; -t[3]
    {0x33333333u, ~0u, 0, 0x00080001u, 2, 0},  // 11: as 12, output complemented
    {0x33333333u, 0, 0, 0x00080000u, 2, 0},    // 12: variable 1; -t[4]
    {0x55555555u, ~0u, 0, 0x00800001u, 1, 0},  // 13: as 14, output complemented
    {0x55555555u, 0, 0, 0x00800000u, 1, 0},    // 14: variable 0; -t[5]
    {0, 0, 0, 0, 0, 0},                        // 15: none
};

/// Move m (0..15) applied to a word.
inline std::uint32_t move_word(std::uint32_t w, unsigned m) {
  const MoveOps& op = kMoves[m & 15u];
  return delta_swap(w, op.shift, op.mask) ^ op.flip;
}

/// Move m (0..15) applied to a word without its output complement: the
/// whole move for the even ones, which the paths and walks use.
inline std::uint32_t move_word_inputs(std::uint32_t w, unsigned m) {
  const MoveOps& op = kMoves[m & 15u];
  return delta_swap(w, op.shift, op.mask);
}

/// Move m (0..15) applied to a packed transform.
inline packed_transform move_packed(packed_transform t, unsigned m) {
  const MoveOps& op = kMoves[m & 15u];
  return delta_swap(t, op.tshift, op.tmask) ^ op.tflip;
}

/// The transform of a packed one.
transform unpack_transform(packed_transform p);

}  // namespace opt5
