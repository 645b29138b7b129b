// The in-word position masks of a bit-packed table (entry x at bit x & 63 of
// word x >> 6): for an index bit t < 6, the positions inside a word whose
// index has bit t clear, or set. Flips along a variable, delta swaps and
// in-word compressions are all built on these six masks.
#pragma once

#include <cstdint>

namespace varnel {

/// Mask of the in-word positions whose index bit t (t < 6) is clear.
constexpr std::uint64_t bit_clear_positions(unsigned t) {
  constexpr std::uint64_t kMasks[6] = {0x5555555555555555ull, 0x3333333333333333ull,
                                       0x0F0F0F0F0F0F0F0Full, 0x00FF00FF00FF00FFull,
                                       0x0000FFFF0000FFFFull, 0x00000000FFFFFFFFull};
  return kMasks[t];
}

/// Mask of the in-word positions whose index bit t (t < 6) is set.
constexpr std::uint64_t bit_set_positions(unsigned t) { return ~bit_clear_positions(t); }

}  // namespace varnel
