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

// Source word index of every destination word index: old word-index bit r
// lands on bit word_dest[r]. Evaluated from lookup tables of 8 destination
// bits each; the map is OR-linear over disjoint bit sets.
class WordSource {
 public:
  WordSource(unsigned word_bits, const unsigned* word_dest) : chunks_((word_bits + 7) / 8) {
    std::uint64_t source_bit[64];
    for (unsigned r = 0; r < word_bits; ++r) source_bit[word_dest[r]] = std::uint64_t{1} << r;
    for (unsigned c = 0; c < chunks_; ++c) {
      const unsigned lo = 8 * c;
      const unsigned width = word_bits - lo < 8 ? word_bits - lo : 8;
      std::uint64_t* lut = lut_[c];
      lut[0] = 0;
      for (unsigned v = 1; v < (1u << width); ++v) {
        lut[v] = lut[v & (v - 1)] | source_bit[lo + static_cast<unsigned>(__builtin_ctz(v))];
      }
    }
  }
  std::uint64_t operator()(std::uint64_t w) const noexcept {
    std::uint64_t s = 0;
    for (unsigned c = 0; c < chunks_; ++c) s |= lut_[c][(w >> (8 * c)) & 255];
    return s;
  }
  // The table of the lowest 8 destination bits.
  const std::uint64_t* low() const noexcept { return lut_[0]; }

 private:
  unsigned chunks_;
  std::uint64_t lut_[8][256];
};

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
  const WordSource source(word_bits, word_dest);
  const std::uint64_t low_count = word_bits < 8 ? words : 256;
  for (std::uint64_t high = 0; high < words; high += low_count) {
    const std::uint64_t base = source(high);
    const std::uint64_t* low_lut = source.low();
    std::uint64_t* dst = out.data() + high;
    if (in_word.identity()) {
      for (std::uint64_t l = 0; l < low_count; ++l) dst[l] = src[base | low_lut[l]];
    } else {
      for (std::uint64_t l = 0; l < low_count; ++l) dst[l] = in_word(src[base | low_lut[l]]);
    }
  }
}

// Gather and exchange in one pass: the destination words that differ only in
// the exchanged word-index bits form a group of 2^count; each group is
// gathered from the source (bits permuted inside each word), then in-word
// index bit in_bit[t] is swapped with group bit t for every t, by delta swaps
// between word pairs, and the group is stored. Specialised on the group size
// so that the group lives in registers.
struct ExchangePlan {
  std::uint64_t offset[64];         // destination offset of group member s
  std::uint64_t source_offset[64];  // its source offset
  std::uint64_t group_mask;
  std::uint64_t keep[6];  // positions whose in-word bit in_bit[t] is clear
  unsigned shift[6];      // 2^in_bit[t]
};

template <unsigned Count, bool Identity>
void gather_exchange_n(std::span<const std::uint64_t> src, std::uint64_t words,
                       const WordSource& source, const InWordPermutation& in_word,
                       const ExchangePlan& plan, std::span<std::uint64_t> out) {
  constexpr unsigned group = 1u << Count;
  const std::uint64_t group_mask = plan.group_mask;
  for (std::uint64_t base = 0; base < words; base = ((base | group_mask) + 1) & ~group_mask) {
    const std::uint64_t from = source(base);
    std::uint64_t local[group];
    for (unsigned s = 0; s < group; ++s) {
      const std::uint64_t w = src[from | plan.source_offset[s]];
      local[s] = Identity ? w : in_word(w);
    }
    for (unsigned t = 0; t < Count; ++t) {
      const unsigned step = 1u << t;
      const std::uint64_t keep = plan.keep[t];
      const unsigned sh = plan.shift[t];
      for (unsigned s = 0; s < group; ++s) {
        if (s & step) continue;
        const std::uint64_t x = ((local[s] >> sh) ^ local[s + step]) & keep;
        local[s + step] ^= x;
        local[s] ^= x << sh;
      }
    }
    for (unsigned s = 0; s < group; ++s) out[base | plan.offset[s]] = local[s];
  }
}

template <bool Identity>
void gather_exchange_dispatch(unsigned count, std::span<const std::uint64_t> src,
                              std::uint64_t words, const WordSource& source,
                              const InWordPermutation& in_word, const ExchangePlan& plan,
                              std::span<std::uint64_t> out) {
  switch (count) {
    case 1: return gather_exchange_n<1, Identity>(src, words, source, in_word, plan, out);
    case 2: return gather_exchange_n<2, Identity>(src, words, source, in_word, plan, out);
    case 3: return gather_exchange_n<3, Identity>(src, words, source, in_word, plan, out);
    case 4: return gather_exchange_n<4, Identity>(src, words, source, in_word, plan, out);
    case 5: return gather_exchange_n<5, Identity>(src, words, source, in_word, plan, out);
    default: return gather_exchange_n<6, Identity>(src, words, source, in_word, plan, out);
  }
}

void gather_exchange(std::span<const std::uint64_t> src, unsigned word_bits,
                     const unsigned* word_dest, const InWordPermutation& in_word,
                     const unsigned* in_bit, const unsigned* word_bit, unsigned count,
                     std::span<std::uint64_t> out) {
  const std::uint64_t words = std::uint64_t{1} << word_bits;
  const WordSource source(word_bits, word_dest);
  ExchangePlan plan{};
  for (unsigned t = 0; t < count; ++t) plan.group_mask |= std::uint64_t{1} << word_bit[t];
  for (unsigned s = 0; s < (1u << count); ++s) {
    std::uint64_t o = 0;
    for (unsigned t = 0; t < count; ++t) {
      if ((s >> t) & 1u) o |= std::uint64_t{1} << word_bit[t];
    }
    plan.offset[s] = o;
    plan.source_offset[s] = source(o);
  }
  for (unsigned t = 0; t < count; ++t) {
    plan.keep[t] = ~bit_set_positions(in_bit[t]);
    plan.shift[t] = 1u << in_bit[t];
  }
  if (in_word.identity()) {
    gather_exchange_dispatch<true>(count, src, words, source, in_word, plan, out);
  } else {
    gather_exchange_dispatch<false>(count, src, words, source, in_word, plan, out);
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
  if (count == 0) {
    gather_words(src, n - 6, word_dest, in_word, out);
    return;
  }
  unsigned word_bit[6];
  for (unsigned t = 0; t < count; ++t) word_bit[t] = high_in[t] - 6;
  gather_exchange(src, n - 6, word_dest, in_word, low_in, word_bit, count, out);
}

}  // namespace varnel
