#include "index_permutation.hpp"

#include <array>
#include <cstring>
#include <vector>

#include "error.hpp"

namespace varnel {

DeltaSwap in_word_swap(unsigned a, unsigned b) noexcept {
  return {bit_set_positions(a) & ~bit_set_positions(b), (1u << b) - (1u << a)};
}

InWordPermutation::InWordPermutation(const unsigned* dest, unsigned count) {
  unsigned at[6], holds[6];  // at[i]: where bit i is now; holds[p]: which bit is at p
  for (unsigned p = 0; p < count; ++p) at[p] = holds[p] = p;
  for (unsigned p = 0; p < count; ++p) {
    unsigned want = 0;  // the bit that belongs at p
    while (dest[want] != p) ++want;
    const unsigned q = at[want];
    if (q == p) continue;
    swaps_[size_++] = in_word_swap(p < q ? p : q, p < q ? q : p);
    const unsigned other = holds[p];
    holds[p] = want;
    holds[q] = other;
    at[want] = p;
    at[other] = q;
  }
}

namespace {

// Gather pass: out[w'] = in_word(src[source(w')]), where source() undoes the
// permutation of the word-index bits. source() is evaluated from lookup tables
// of 8 destination bits each.
void gather_words(std::span<const std::uint64_t> src, unsigned word_bits,
                  const unsigned* word_dest, const InWordPermutation& in_word,
                  std::span<std::uint64_t> out) {
  const std::uint64_t words = std::uint64_t{1} << word_bits;
  bool identity = true;
  for (unsigned r = 0; r < word_bits; ++r) identity = identity && word_dest[r] == r;
  if (identity) {
    if (in_word.identity()) {
      std::memcpy(out.data(), src.data(), words * sizeof(std::uint64_t));
    } else {
      for (std::uint64_t w = 0; w < words; ++w) out[w] = in_word(src[w]);
    }
    return;
  }
  // source_bit[q]: the old word-index bit that lands on bit q.
  unsigned source_bit[64];
  for (unsigned r = 0; r < word_bits; ++r) source_bit[word_dest[r]] = r;
  const unsigned chunks = (word_bits + 7) / 8;
  std::vector<std::uint64_t> lut(std::size_t{chunks} * 256, 0);
  for (unsigned c = 0; c < chunks; ++c) {
    const unsigned lo = 8 * c;
    const unsigned width = word_bits - lo < 8 ? word_bits - lo : 8;
    for (unsigned v = 0; v < (1u << width); ++v) {
      std::uint64_t s = 0;
      for (unsigned q = 0; q < width; ++q) {
        if ((v >> q) & 1u) s |= std::uint64_t{1} << source_bit[lo + q];
      }
      lut[std::size_t{c} * 256 + v] = s;
    }
  }
  const std::uint64_t low_count = word_bits < 8 ? words : 256;
  for (std::uint64_t high = 0; high < words; high += low_count) {
    std::uint64_t base = 0;
    for (unsigned c = 1; c < chunks; ++c) base |= lut[std::size_t{c} * 256 + ((high >> (8 * c)) & 255)];
    const std::uint64_t* low_lut = lut.data();
    std::uint64_t* dst = out.data() + high;
    if (in_word.identity()) {
      for (std::uint64_t l = 0; l < low_count; ++l) dst[l] = src[base | low_lut[l]];
    } else {
      for (std::uint64_t l = 0; l < low_count; ++l) dst[l] = in_word(src[base | low_lut[l]]);
    }
  }
}

// Exchange pass: swaps in-word index bit in_bit[t] with word-index bit
// word_bit[t] for t < count, in place. The words that differ only in the
// exchanged word-index bits form a group of 2^count, handled in registers.
void exchange_bits(std::span<std::uint64_t> table, unsigned word_bits, const unsigned* in_bit,
                   const unsigned* word_bit, unsigned count) {
  const std::uint64_t words = std::uint64_t{1} << word_bits;
  const unsigned group = 1u << count;
  std::uint64_t offset[64];
  std::uint64_t group_mask = 0;
  for (unsigned t = 0; t < count; ++t) group_mask |= std::uint64_t{1} << word_bit[t];
  for (unsigned s = 0; s < group; ++s) {
    std::uint64_t o = 0;
    for (unsigned t = 0; t < count; ++t) {
      if ((s >> t) & 1u) o |= std::uint64_t{1} << word_bit[t];
    }
    offset[s] = o;
  }
  std::uint64_t low_half[6];
  unsigned shift[6];
  for (unsigned t = 0; t < count; ++t) {
    low_half[t] = ~bit_set_positions(in_bit[t]);
    shift[t] = 1u << in_bit[t];
  }
  std::uint64_t local[64];
  for (std::uint64_t base = 0; base < words; base = ((base | group_mask) + 1) & ~group_mask) {
    for (unsigned s = 0; s < group; ++s) local[s] = table[base | offset[s]];
    for (unsigned t = 0; t < count; ++t) {
      const unsigned step = 1u << t;
      for (unsigned s = 0; s < group; ++s) {
        if (s & step) continue;
        std::uint64_t& lo = local[s];
        std::uint64_t& hi = local[s | step];
        const std::uint64_t x = ((lo >> shift[t]) ^ hi) & low_half[t];
        hi ^= x;
        lo ^= x << shift[t];
      }
    }
    for (unsigned s = 0; s < group; ++s) table[base | offset[s]] = local[s];
  }
}

}  // namespace

void permute_index_bits(std::span<const std::uint64_t> src, unsigned n,
                        std::span<const unsigned> dest, std::span<std::uint64_t> out) {
  if (dest.size() != n || n > 63) panic("index permutation of the wrong length");
  if (n <= 6) {
    out[0] = InWordPermutation(dest.data(), n)(src[0]);
    return;
  }
  // target[p]: the old index bit that must end at position p.
  unsigned target[64];
  for (unsigned i = 0; i < n; ++i) target[dest[i]] = i;
  // Positions that must receive a bit from the other group are paired in
  // ascending order; the gather pass leaves each pair's bits swapped, and the
  // exchange pass swaps them back into place.
  unsigned low_in[6], high_in[6], count = 0, count_high = 0;
  for (unsigned p = 0; p < 6; ++p) {
    if (target[p] >= 6) low_in[count++] = p;
  }
  for (unsigned p = 6; p < n; ++p) {
    if (target[p] < 6) high_in[count_high++] = p;
  }
  unsigned middle[64];  // the old bit at position p after the gather pass
  for (unsigned p = 0; p < n; ++p) middle[p] = target[p];
  for (unsigned t = 0; t < count; ++t) {
    middle[low_in[t]] = target[high_in[t]];
    middle[high_in[t]] = target[low_in[t]];
  }
  unsigned first_dest[64];
  for (unsigned p = 0; p < n; ++p) first_dest[middle[p]] = p;
  const InWordPermutation in_word(first_dest, 6);
  unsigned word_dest[64];
  for (unsigned r = 0; r + 6 < n; ++r) word_dest[r] = first_dest[r + 6] - 6;
  gather_words(src, n - 6, word_dest, in_word, out);
  if (count > 0) {
    unsigned word_bit[6];
    for (unsigned t = 0; t < count; ++t) word_bit[t] = high_in[t] - 6;
    exchange_bits(out, n - 6, low_in, word_bit, count);
  }
}

}  // namespace varnel
