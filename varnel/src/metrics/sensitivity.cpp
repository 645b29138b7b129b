#include "metrics/sensitivity.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "metrics/hypercube.hpp"
#include "simd.hpp"

namespace varnel {

namespace {

using hypercube::flip_in_word;

// The words of a block, one change mask per variable: word k of the XOR of the
// table with the table flipped along variable i, for k = k0 .. k0 + count - 1.
[[gnu::always_inline]] inline void change_masks(const std::uint64_t* w, std::size_t k0,
                                                std::size_t count, unsigned i, std::uint64_t* out) {
  if (i < 6) {
    for (std::size_t t = 0; t < count; ++t) out[t] = w[k0 + t] ^ flip_in_word(w[k0 + t], i);
    return;
  }
  const std::size_t m = std::size_t{1} << (i - 6);
  if (m >= count) {
    const std::uint64_t* partner = w + (k0 ^ m);
    for (std::size_t t = 0; t < count; ++t) out[t] = w[k0 + t] ^ partner[t];
    return;
  }
  for (std::size_t t0 = 0; t0 < count; t0 += 2 * m) {
    for (std::size_t u = 0; u < m; ++u) {
      const std::uint64_t d = w[k0 + t0 + u] ^ w[k0 + t0 + m + u];
      out[t0 + u] = d;
      out[t0 + m + u] = d;
    }
  }
}

constexpr std::size_t kBlock = 64;  // words per block of bit-sliced counters

// The largest sensitivity over the inputs of words k0 .. k0 + count - 1: one
// P-bit counter per input, kept bit-sliced (plane p holds bit p of the 64
// counters of a word), incremented by the change mask of each variable with a
// ripple-carry adder across the planes.
template <unsigned P>
[[gnu::always_inline]] inline unsigned block_max(const std::uint64_t* w, std::size_t k0,
                                                 std::size_t count, unsigned n) {
  std::uint64_t plane[P][kBlock] = {};
  std::uint64_t d[kBlock];
  for (unsigned i = 0; i < n; ++i) {
    change_masks(w, k0, count, i, d);
    for (std::size_t t = 0; t < count; ++t) {
      std::uint64_t carry = d[t];
      for (unsigned p = 0; p < P; ++p) {
        const std::uint64_t next = plane[p][t] & carry;
        plane[p][t] ^= carry;
        carry = next;
      }
    }
  }
  // The largest counter of each word, from the top plane down.
  unsigned best = 0;
  for (std::size_t t = 0; t < count; ++t) {
    std::uint64_t lanes = ~std::uint64_t{0};
    unsigned value = 0;
    for (unsigned p = P; p-- > 0;) {
      const std::uint64_t with = lanes & plane[p][t];
      if (with != 0) {
        value |= 1u << p;
        lanes = with;
      }
    }
    best = std::max(best, value);
  }
  return best;
}

template <unsigned P>
[[gnu::always_inline]] inline unsigned max_over_table(const std::uint64_t* w, std::size_t words,
                                                      unsigned n) {
  unsigned best = 0;
  for (std::size_t k0 = 0; k0 < words; k0 += kBlock) {
    best = std::max(best, block_max<P>(w, k0, std::min(kBlock, words - k0), n));
    if (best == n) break;
  }
  return best;
}

template <unsigned P>
unsigned max_base(const std::uint64_t* w, std::size_t words, unsigned n) {
  return max_over_table<P>(w, words, n);
}
template <unsigned P>
__attribute__((target("avx2"))) unsigned max_avx2(const std::uint64_t* w, std::size_t words,
                                                  unsigned n) {
  return max_over_table<P>(w, words, n);
}

template <unsigned P>
unsigned max_dispatch(const std::uint64_t* w, std::size_t words, unsigned n) {
  return simd::avx2() ? max_avx2<P>(w, words, n) : max_base<P>(w, words, n);
}

}  // namespace

std::uint32_t max_sensitivity(const FValue& f) {
  const unsigned n = f.n_vars();
  if (n == 0) return 0;
  const std::uint64_t* w = f.words().data();
  const std::size_t words = f.words().size();
  // Counters wide enough to hold n.
  switch (std::bit_width(n)) {
    case 1:
      return max_dispatch<1>(w, words, n);
    case 2:
      return max_dispatch<2>(w, words, n);
    case 3:
      return max_dispatch<3>(w, words, n);
    case 4:
      return max_dispatch<4>(w, words, n);
    case 5:
      return max_dispatch<5>(w, words, n);
    default:
      return max_dispatch<6>(w, words, n);
  }
}

std::uint64_t sensitivity_sum(const FValue& f) {
  // Every changing edge adds one to the sensitivity of both its ends.
  return 2 * hypercube::changing_edges(f);
}

float mean_sensitivity(const FValue& f) {
  const float sum = static_cast<float>(sensitivity_sum(f));
  return sum / static_cast<float>(f.size());
}

}  // namespace varnel
