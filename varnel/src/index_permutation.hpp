// Permutations of the index bits of a bit-packed table.
//
// A table of 2^n entries packed 64 to a word (entry x at bit x & 63 of word
// x >> 6) is rearranged so that entry x lands at entry y, where bit dest[i] of
// y is bit i of x. Restriction matrices (free variables to the low index bits,
// fixed variables to the high ones) and bit-matrix transposes are both such
// permutations.
//
// The work is one pass over the table: destination words are gathered from
// the source (the word-index bits permuted, and the bits inside each word
// permuted by at most five delta swaps), and the index bits that must cross
// between the two groups (in-word 0..5, word index 6..n-1) are exchanged by
// delta swaps between the gathered words, in groups of up to 64 words.
#pragma once

#include <cstdint>
#include <span>

#include "word_masks.hpp"

namespace varnel {

/// Writes the table `src` of 2^n entries with its index bits permuted into
/// `out` (same number of words, distinct from `src`): bit dest[i] of the new
/// index is bit i of the old one. `dest` holds a permutation of 0..n-1.
void permute_index_bits(std::span<const std::uint64_t> src, unsigned n,
                        std::span<const unsigned> dest, std::span<std::uint64_t> out);

/// Writes `src` (2^n entries) with index bits a and b exchanged into `out`
/// (same number of words, distinct from `src`): one pass, as block copies
/// when both bits index words, delta swaps between word pairs when one does,
/// and a delta swap inside every word when neither does.
void swap_index_bits(std::span<const std::uint64_t> src, unsigned n, unsigned a, unsigned b,
                     std::span<std::uint64_t> out);

/// The index-bit swap of positions a < b < 6 inside one word, as a delta swap.
struct DeltaSwap {
  std::uint64_t mask;  // lower entry of each pair: bit a set, bit b clear
  unsigned shift;      // 2^b - 2^a
};

DeltaSwap in_word_swap(unsigned a, unsigned b) noexcept;

inline std::uint64_t apply(std::uint64_t w, DeltaSwap d) noexcept {
  const std::uint64_t t = ((w >> d.shift) ^ w) & d.mask;
  return w ^ t ^ (t << d.shift);
}

/// A permutation of the index bits 0..count-1 inside one word (count <= 6),
/// applied as at most count - 1 delta swaps.
class InWordPermutation {
 public:
  /// dest[i] is the new position of index bit i, for i < count.
  InWordPermutation(const unsigned* dest, unsigned count);
  std::uint64_t operator()(std::uint64_t w) const noexcept {
    for (unsigned s = 0; s < size_; ++s) w = apply(w, swaps_[s]);
    return w;
  }
  bool identity() const noexcept { return size_ == 0; }
  /// Applies the permutation to every word (vectorised where the processor allows).
  void apply_all(std::span<std::uint64_t> words) const;

 private:
  DeltaSwap swaps_[6]{};
  unsigned size_ = 0;
};

}  // namespace varnel
