// Neighbours on the hypercube, word by word on the bit-packed truth table.
//
// Flipping variable i maps input x to x XOR 2^i. On the packed table (entry x
// in bit x & 63 of word x >> 6) a flip of variable i < 6 exchanges bits inside
// each word, and a flip of variable i >= 6 exchanges whole words k and
// k XOR 2^(i-6). XOR of a word with its flipped partner marks the inputs whose
// value changes along variable i.
#pragma once

#include <cstdint>

#include "fvalue.hpp"
#include "word_masks.hpp"

namespace varnel::hypercube {

/// Word w with every entry x replaced by entry x XOR 2^i (i < 6).
[[gnu::always_inline]] inline std::uint64_t flip_in_word(std::uint64_t w, unsigned i) {
  const unsigned s = 1u << i;
  const std::uint64_t m = bit_clear_positions(i);
  return ((w >> s) & m) | ((w & m) << s);
}

/// The 32 bits of w at positions whose bit i is clear (i < 6), packed in order
/// into the low half of the result.
inline std::uint64_t compress_low_half(std::uint64_t w, unsigned i) {
  // Merges neighbouring kept runs pairwise: runs of 2^i bits, then 2^(i+1), ...
  w &= bit_clear_positions(i);
  for (unsigned s = i; s < 5; ++s) w = (w | (w >> (1u << s))) & bit_clear_positions(s + 1);
  return w;
}

/// Index of input x (whose bit i is clear) among the inputs with bit i clear.
constexpr std::uint64_t drop_bit(std::uint64_t x, unsigned i) {
  const std::uint64_t low = (std::uint64_t{1} << i) - 1;
  return (x & low) | ((x >> (i + 1)) << i);
}

/// The inverse of drop_bit: inserts a clear bit i into index q.
constexpr std::uint64_t insert_bit(std::uint64_t q, unsigned i) {
  const std::uint64_t low = (std::uint64_t{1} << i) - 1;
  return (q & low) | ((q >> i) << (i + 1));
}

/// Number of hypercube edges {x, x XOR 2^i} (i < n) across which f changes
/// value: each such edge once. Runs on the pool, reading the table twice; from
/// 2^19 entries on each thread gathers rows of 1/2048 byte per table entry.
std::uint64_t changing_edges(const FValue& f);

}  // namespace varnel::hypercube
