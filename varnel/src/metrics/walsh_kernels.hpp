// The butterflies of the Walsh–Hadamard transform on 32-byte vectors, shared by
// the spectrum kernels (included by spectral.cpp only).
//
// The kernels work on unsigned integers, so the butterflies wrap instead of
// overflowing (the results are read back as two's complement), and on 32-byte
// vectors (GCC vector extensions), which the compiler lowers to AVX2 in
// functions compiled for it and to pairs of SSE operations otherwise. Every
// function here is always inlined into the function that instantiates it, so
// it takes that function's instruction set.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace varnel::walsh {

// 32-byte vectors that may sit at any address and alias the integers.
template <class U>
struct Vec;
template <>
struct Vec<std::uint16_t> {
  typedef std::uint16_t type __attribute__((vector_size(32), aligned(1), may_alias));
};
template <>
struct Vec<std::uint32_t> {
  typedef std::uint32_t type __attribute__((vector_size(32), aligned(1), may_alias));
};
template <>
struct Vec<std::uint64_t> {
  typedef std::uint64_t type __attribute__((vector_size(32), aligned(1), may_alias));
};

template <class U>
constexpr std::size_t kLanes = 32 / sizeof(U);

// Stages a .. a+G-1 (stride 2^a >= kLanes) over v[0 .. len): the 2^G rows of
// each group are held in registers while the G stages run on them, so the data
// is read and written once per G stages.
template <class U, unsigned G>
[[gnu::always_inline]] inline void radix_pass(U* v, std::size_t len, unsigned a) {
  using V = typename Vec<U>::type;
  constexpr unsigned R = 1u << G;
  const std::size_t stride = std::size_t{1} << a;
  for (std::size_t base = 0; base < len; base += stride << G) {
    for (std::size_t c = 0; c < stride; c += kLanes<U>) {
      U* p = v + base + c;
      V x[R];
#pragma GCC unroll 8
      for (unsigned r = 0; r < R; ++r) x[r] = *reinterpret_cast<const V*>(p + r * stride);
#pragma GCC unroll 3
      for (unsigned h = 1; h < R; h <<= 1) {
#pragma GCC unroll 8
        for (unsigned r = 0; r < R; ++r) {
          if ((r & h) == 0) {
            const V s = x[r] + x[r | h];
            const V d = x[r] - x[r | h];
            x[r] = s;
            x[r | h] = d;
          }
        }
      }
#pragma GCC unroll 8
      for (unsigned r = 0; r < R; ++r) *reinterpret_cast<V*>(p + r * stride) = x[r];
    }
  }
}

// Stages lo .. hi-1 over v[0 .. len), three at a time.
template <class U>
[[gnu::always_inline]] inline void stages(U* v, std::size_t len, unsigned lo, unsigned hi) {
  unsigned a = lo;
  for (; a + 3 <= hi; a += 3) radix_pass<U, 3>(v, len, a);
  if (hi - a == 2) radix_pass<U, 2>(v, len, a);
  if (hi - a == 1) radix_pass<U, 1>(v, len, a);
}

// The stages of the low index bits that fit a cache level are applied to one
// block of that size at a time while it stays in the cache: first the blocks
// of 32 KiB (L1), then of 512 KiB (L2), then the remaining strides over the
// whole array. The stages act on different index bits and commute, so the
// result is the same in any order.
template <class U>
constexpr unsigned kL1Bits = 15 - std::countr_zero(sizeof(U));
template <class U>
constexpr unsigned kL2Bits = 19 - std::countr_zero(sizeof(U));

// The whole transform of 2^m entries (2^m >= 8 and >= the lanes of a vector).
// init(block, first, count) writes or transforms the entries first ..
// first+count-1 of the block along the stages 0 .. init_bits-1.
template <class U, class Init>
[[gnu::always_inline]] inline void blocked_transform(U* v, unsigned m, unsigned init_bits,
                                                     const Init& init) {
  const unsigned b1 = std::min(m, kL1Bits<U>);
  const unsigned b2 = std::min(m, kL2Bits<U>);
  const std::size_t len = std::size_t{1} << m;
  const std::size_t n1 = std::size_t{1} << b1;
  const std::size_t n2 = std::size_t{1} << b2;
  for (std::size_t o2 = 0; o2 < len; o2 += n2) {
    for (std::size_t o1 = o2; o1 < o2 + n2; o1 += n1) {
      init(v + o1, o1, n1);
      stages(v + o1, n1, init_bits, b1);
    }
    stages(v + o2, n2, b1, b2);
  }
  stages(v, len, b2, m);
}

// Tables and slices shorter than 8 entries: the plain butterflies.
template <class U>
void small_transform(U* v, std::size_t len) {
  for (std::size_t h = 1; h < len; h <<= 1) {
    for (std::size_t i = 0; i < len; i += 2 * h) {
      for (std::size_t j = i; j < i + h; ++j) {
        const U a = v[j], b = v[j + h];
        v[j] = a + b;
        v[j + h] = a - b;
      }
    }
  }
}

// The transform of the sign vector of 8 entries, for every byte of a table,
// divided by `scale`: row b holds the eight coefficients of the entries whose
// truth values are the bits of b (bit t = entry t, true = +1). Every such
// coefficient is even, so a scale of 2 is exact.
template <class U, int scale>
struct SignTable {
  U row[256][8];
  constexpr SignTable() : row{} {
    for (unsigned b = 0; b < 256; ++b) {
      for (unsigned s = 0; s < 8; ++s) {
        int sum = 0;
        for (unsigned t = 0; t < 8; ++t) {
          const int sign = ((b >> t) & 1u) ? 1 : -1;
          sum += (std::popcount(t & s) & 1) ? -sign : sign;
        }
        row[b][s] = static_cast<U>(sum / scale);
      }
    }
  }
};

template <class U, int scale>
inline constexpr SignTable<U, scale> kSignTable{};

}  // namespace varnel::walsh
