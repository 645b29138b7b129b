#include "index_permutation.hpp"

#include <immintrin.h>

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "error.hpp"
#include "simd.hpp"

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

void apply_all_portable(const DeltaSwap* swaps, unsigned size, std::uint64_t* w, std::uint64_t n) {
  for (std::uint64_t i = 0; i < n; ++i) {
    std::uint64_t x = w[i];
    for (unsigned s = 0; s < size; ++s) x = apply(x, swaps[s]);
    w[i] = x;
  }
}

__attribute__((target("avx2"))) void apply_all_avx2(const DeltaSwap* swaps, unsigned size,
                                                    std::uint64_t* w, std::uint64_t n) {
  __m256i mask[6];
  __m128i shift[6];
  for (unsigned s = 0; s < size; ++s) {
    mask[s] = _mm256_set1_epi64x(static_cast<long long>(swaps[s].mask));
    shift[s] = _mm_cvtsi32_si128(static_cast<int>(swaps[s].shift));
  }
  std::uint64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i));
    for (unsigned s = 0; s < size; ++s) {
      const __m256i t =
          _mm256_and_si256(_mm256_xor_si256(_mm256_srl_epi64(x, shift[s]), x), mask[s]);
      x = _mm256_xor_si256(_mm256_xor_si256(x, t), _mm256_sll_epi64(t, shift[s]));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(w + i), x);
  }
  apply_all_portable(swaps, size, w + i, n - i);
}

__attribute__((target("avx512f"))) void apply_all_avx512(const DeltaSwap* swaps, unsigned size,
                                                         std::uint64_t* w, std::uint64_t n) {
  __m512i mask[6];
  __m128i shift[6];
  for (unsigned s = 0; s < size; ++s) {
    mask[s] = _mm512_set1_epi64(static_cast<long long>(swaps[s].mask));
    shift[s] = _mm_cvtsi32_si128(static_cast<int>(swaps[s].shift));
  }
  std::uint64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m512i x = _mm512_loadu_si512(w + i);
    for (unsigned s = 0; s < size; ++s) {
      const __m512i t =
          _mm512_and_si512(_mm512_xor_si512(_mm512_maskz_srl_epi64(0xFF, x, shift[s]), x), mask[s]);
      x = _mm512_xor_si512(_mm512_xor_si512(x, t), _mm512_maskz_sll_epi64(0xFF, t, shift[s]));
    }
    _mm512_storeu_si512(w + i, x);
  }
  apply_all_portable(swaps, size, w + i, n - i);
}

}  // namespace

void InWordPermutation::apply_all(std::span<std::uint64_t> words) const {
  switch (simd::level()) {
    case simd::Level::avx512:
      return apply_all_avx512(swaps_, size_, words.data(), words.size());
    case simd::Level::avx2:
      return apply_all_avx2(swaps_, size_, words.data(), words.size());
    default:
      return apply_all_portable(swaps_, size_, words.data(), words.size());
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
void gather_words(std::span<const std::uint64_t> src, unsigned word_bits, const unsigned* word_dest,
                  std::span<std::uint64_t> out) {
  const std::uint64_t words = std::uint64_t{1} << word_bits;
  bool identity = true;
  for (unsigned r = 0; r < word_bits; ++r) identity = identity && word_dest[r] == r;
  if (identity) {
    std::memcpy(out.data(), src.data(), words * sizeof(std::uint64_t));
    return;
  }
  const WordSource source(word_bits, word_dest);
  const std::uint64_t low_count = word_bits < 8 ? words : 256;
  for (std::uint64_t high = 0; high < words; high += low_count) {
    const std::uint64_t base = source(high);
    const std::uint64_t* low_lut = source.low();
    std::uint64_t* dst = out.data() + high;
    for (std::uint64_t l = 0; l < low_count; ++l) dst[l] = src[base | low_lut[l]];
  }
}

// Gather and exchange in one pass: the destination words that differ only in
// the exchanged word-index bits form a group of 2^count; each group is
// gathered from the source, then in-word
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

template <unsigned Count>
void gather_exchange_n(std::span<const std::uint64_t> src, std::uint64_t words,
                       const WordSource& source, const ExchangePlan& plan,
                       std::span<std::uint64_t> out) {
  constexpr unsigned group = 1u << Count;
  const std::uint64_t group_mask = plan.group_mask;
  for (std::uint64_t base = 0; base < words; base = ((base | group_mask) + 1) & ~group_mask) {
    const std::uint64_t from = source(base);
    std::uint64_t local[group];
    for (unsigned s = 0; s < group; ++s) local[s] = src[from | plan.source_offset[s]];
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

// The same with groups side by side in vector lanes: lane i handles the
// group whose destination words are base + i, so every delta swap is the
// same in all lanes. Needs the lowest log2(lanes) destination word bits
// outside the group; the lanes' source words are fetched with a gather.
template <unsigned Count>
__attribute__((target("avx512f"))) void gather_exchange_avx512(const std::uint64_t* src,
                                                               std::uint64_t words,
                                                               const WordSource& source,
                                                               const ExchangePlan& plan,
                                                               std::uint64_t* out) {
  constexpr unsigned group = 1u << Count;
  const std::uint64_t skip = plan.group_mask | 7;
  __m512i lane_source =
      _mm512_setr_epi64(static_cast<long long>(source(0)), static_cast<long long>(source(1)),
                        static_cast<long long>(source(2)), static_cast<long long>(source(3)),
                        static_cast<long long>(source(4)), static_cast<long long>(source(5)),
                        static_cast<long long>(source(6)), static_cast<long long>(source(7)));
  __m512i keep[6];
  __m128i shift[6];
  for (unsigned t = 0; t < Count; ++t) {
    keep[t] = _mm512_set1_epi64(static_cast<long long>(plan.keep[t]));
    shift[t] = _mm_cvtsi32_si128(static_cast<int>(plan.shift[t]));
  }
  for (std::uint64_t base = 0; base < words; base = ((base | skip) + 1) & ~skip) {
    const std::uint64_t from = source(base);
    __m512i local[group];
    for (unsigned s = 0; s < group; ++s) {
      const __m512i index = _mm512_or_si512(
          _mm512_set1_epi64(static_cast<long long>(from | plan.source_offset[s])), lane_source);
      local[s] = _mm512_mask_i64gather_epi64(_mm512_setzero_si512(), 0xFF, index,
                                             reinterpret_cast<const long long*>(src), 8);
    }
    for (unsigned t = 0; t < Count; ++t) {
      const unsigned step = 1u << t;
      for (unsigned s = 0; s < group; ++s) {
        if (s & step) continue;
        const __m512i x = _mm512_and_si512(
            _mm512_xor_si512(_mm512_maskz_srl_epi64(0xFF, local[s], shift[t]), local[s + step]),
            keep[t]);
        local[s + step] = _mm512_xor_si512(local[s + step], x);
        local[s] = _mm512_xor_si512(local[s], _mm512_maskz_sll_epi64(0xFF, x, shift[t]));
      }
    }
    for (unsigned s = 0; s < group; ++s)
      _mm512_storeu_si512(out + (base | plan.offset[s]), local[s]);
  }
}

template <unsigned Count>
__attribute__((target("avx2"))) void gather_exchange_avx2(const std::uint64_t* src,
                                                          std::uint64_t words,
                                                          const WordSource& source,
                                                          const ExchangePlan& plan,
                                                          std::uint64_t* out) {
  constexpr unsigned group = 1u << Count;
  const std::uint64_t skip = plan.group_mask | 3;
  const __m256i lane_source =
      _mm256_setr_epi64x(static_cast<long long>(source(0)), static_cast<long long>(source(1)),
                         static_cast<long long>(source(2)), static_cast<long long>(source(3)));
  __m256i keep[6];
  __m128i shift[6];
  for (unsigned t = 0; t < Count; ++t) {
    keep[t] = _mm256_set1_epi64x(static_cast<long long>(plan.keep[t]));
    shift[t] = _mm_cvtsi32_si128(static_cast<int>(plan.shift[t]));
  }
  for (std::uint64_t base = 0; base < words; base = ((base | skip) + 1) & ~skip) {
    const std::uint64_t from = source(base);
    __m256i local[group];
    for (unsigned s = 0; s < group; ++s) {
      const __m256i index = _mm256_or_si256(
          _mm256_set1_epi64x(static_cast<long long>(from | plan.source_offset[s])), lane_source);
      local[s] = _mm256_i64gather_epi64(reinterpret_cast<const long long*>(src), index, 8);
    }
    for (unsigned t = 0; t < Count; ++t) {
      const unsigned step = 1u << t;
      for (unsigned s = 0; s < group; ++s) {
        if (s & step) continue;
        const __m256i x = _mm256_and_si256(
            _mm256_xor_si256(_mm256_srl_epi64(local[s], shift[t]), local[s + step]), keep[t]);
        local[s + step] = _mm256_xor_si256(local[s + step], x);
        local[s] = _mm256_xor_si256(local[s], _mm256_sll_epi64(x, shift[t]));
      }
    }
    for (unsigned s = 0; s < group; ++s) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (base | plan.offset[s])), local[s]);
    }
  }
}

template <unsigned Count>
void gather_exchange_count(std::span<const std::uint64_t> src, std::uint64_t words,
                           const WordSource& source, const ExchangePlan& plan,
                           std::span<std::uint64_t> out) {
  // Vector lanes pay off from three exchanges up, when the lanes' words
  // (the lowest destination word bits) lie outside the group.
  if constexpr (Count >= 3) {
    const simd::Level level = simd::level();
    if (level == simd::Level::avx512 && (plan.group_mask & 7) == 0 && words >= (8u << Count)) {
      return gather_exchange_avx512<Count>(src.data(), words, source, plan, out.data());
    }
    if (level != simd::Level::baseline && (plan.group_mask & 3) == 0 && words >= (4u << Count)) {
      return gather_exchange_avx2<Count>(src.data(), words, source, plan, out.data());
    }
  }
  gather_exchange_n<Count>(src, words, source, plan, out);
}

void gather_exchange(std::span<const std::uint64_t> src, unsigned word_bits,
                     const unsigned* word_dest, const unsigned* in_bit, const unsigned* word_bit,
                     unsigned count, std::span<std::uint64_t> out) {
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
  switch (count) {
    case 1:
      return gather_exchange_count<1>(src, words, source, plan, out);
    case 2:
      return gather_exchange_count<2>(src, words, source, plan, out);
    case 3:
      return gather_exchange_count<3>(src, words, source, plan, out);
    case 4:
      return gather_exchange_count<4>(src, words, source, plan, out);
    case 5:
      return gather_exchange_count<5>(src, words, source, plan, out);
    default:
      return gather_exchange_count<6>(src, words, source, plan, out);
  }
}

}  // namespace

void swap_index_bits(std::span<const std::uint64_t> src, unsigned n, unsigned a, unsigned b,
                     std::span<std::uint64_t> out) {
  if (a >= n || b >= n || n > 63) panic("index bit swap beyond the table");
  if (a > b) std::swap(a, b);
  const std::uint64_t words = n <= 6 ? 1 : std::uint64_t{1} << (n - 6);
  const std::uint64_t* from = src.data();
  std::uint64_t* to = out.data();
  if (a == b) {
    std::memcpy(to, from, words * sizeof(std::uint64_t));
  } else if (b < 6) {
    const DeltaSwap d = in_word_swap(a, b);
    for (std::uint64_t i = 0; i < words; ++i) to[i] = apply(from[i], d);
  } else if (a < 6) {
    // Word pairs (w, w + step) that differ in word-index bit b: the entries
    // of the lower word with in-word bit a set trade places with those of
    // the upper word with it clear.
    const std::uint64_t step = std::uint64_t{1} << (b - 6);
    const std::uint64_t keep = ~bit_set_positions(a);
    const unsigned shift = 1u << a;
    for (std::uint64_t base = 0; base < words; base += 2 * step) {
      for (std::uint64_t i = base; i < base + step; ++i) {
        const std::uint64_t low = from[i], high = from[i + step];
        const std::uint64_t x = ((low >> shift) ^ high) & keep;
        to[i] = low ^ (x << shift);
        to[i + step] = high ^ x;
      }
    }
  } else {
    // Words whose word-index bits a and b differ trade places: in each
    // block of 2^(b-5) words, the runs of 2^(a-6) words at offsets lo and hi.
    const std::uint64_t lo = std::uint64_t{1} << (a - 6), hi = std::uint64_t{1} << (b - 6);
    for (std::uint64_t top = 0; top < words; top += 2 * hi) {
      const std::uint64_t* low_half = from + top;
      const std::uint64_t* high_half = from + top + hi;
      std::uint64_t* out_low = to + top;
      std::uint64_t* out_high = to + top + hi;
      if (lo == 1) {
        // Pairs of words: (l0, l1) and (h0, h1) become (l0, h0) and (l1, h1).
        for (std::uint64_t x = 0; x < hi; x += 2) {
          const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low_half + x));
          const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high_half + x));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out_low + x), _mm_unpacklo_epi64(l, h));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out_high + x), _mm_unpackhi_epi64(l, h));
        }
        continue;
      }
      for (std::uint64_t x = 0; x < hi; x += 2 * lo) {
        for (std::uint64_t j = x; j < x + lo; j += 2) {
          const __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low_half + j));
          const __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low_half + j + lo));
          const __m128i h0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high_half + j));
          const __m128i h1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high_half + j + lo));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out_low + j), l0);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out_low + j + lo), h0);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out_high + j), l1);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out_high + j + lo), h1);
        }
      }
    }
  }
}

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
  // Bits that cross from inside words to the word index: at high position
  // h_t the in-word bit a_t = target[h_t] must arrive. Bits that cross the
  // other way: the word-index bits j_t with dest[j_t] < 6.
  // 1. Gather words: word-index bit j goes to dest[j] - 6, except that j_t
  //    goes to h_t (the place a_t must take).
  // 2. Exchange in-word bit a_t with word-index bit h_t: a_t lands at h_t,
  //    and j_t at in-word position a_t.
  // 3. Permute inside every word: the bit now at x (x, or j_t at a_t) goes
  //    to its destination.
  unsigned high_in[6], in_bit[6], count = 0;
  for (unsigned p = 6; p < n; ++p) {
    if (target[p] < 6) {
      high_in[count] = p;
      in_bit[count++] = target[p];
    }
  }
  unsigned word_dest[64];
  unsigned content[6] = {0, 1, 2, 3, 4, 5};
  for (unsigned j = 6, t = 0; j < n; ++j) {
    if (dest[j] >= 6) {
      word_dest[j - 6] = dest[j] - 6;
    } else {
      word_dest[j - 6] = high_in[t] - 6;
      content[in_bit[t++]] = j;
    }
  }
  unsigned final_dest[6];
  for (unsigned x = 0; x < 6; ++x) final_dest[x] = dest[content[x]];
  if (count == 0) {
    gather_words(src, n - 6, word_dest, out);
  } else {
    unsigned word_bit[6];
    for (unsigned t = 0; t < count; ++t) word_bit[t] = high_in[t] - 6;
    gather_exchange(src, n - 6, word_dest, in_bit, word_bit, count, out);
  }
  const InWordPermutation in_word(final_dest, 6);
  if (!in_word.identity()) in_word.apply_all(out);
}

}  // namespace varnel
