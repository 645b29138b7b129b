#include "metrics/spectral.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "error.hpp"
#include "simd.hpp"

namespace varnel {

namespace {

// ---------------------------------------------------------------------------
// The transform kernels. They work on unsigned integers, so the butterflies
// wrap instead of overflowing (the results are read back as two's complement),
// and on 32-byte vectors (GCC vector extensions), which the compiler lowers to
// AVX2 in the avx2 variants and to pairs of SSE operations otherwise.

template <class U>
struct Vec;
template <>
struct Vec<std::uint32_t> {
  typedef std::uint32_t type __attribute__((vector_size(32)));
};
template <>
struct Vec<std::uint64_t> {
  typedef std::uint64_t type __attribute__((vector_size(32)));
};

template <class U>
constexpr std::size_t kLanes = 32 / sizeof(U);

// Cache blocking: all stages whose stride stays inside a block of 32 KiB run
// on that block while it sits in L1, then the stages inside 512 KiB blocks
// (L2), then the remaining large strides over the whole array. Within each
// level, stages are applied three at a time (a radix-8 pass) with the eight
// rows held in registers, so each level reads and writes the data once per
// three stages. The stages act on different index bits and commute, so the
// result is the same in any order.
template <class U>
constexpr unsigned kL1Bits = sizeof(U) == 4 ? 13 : 12;
template <class U>
constexpr unsigned kL2Bits = sizeof(U) == 4 ? 17 : 16;

// Stages a .. a+G-1 (stride 2^a >= kLanes) over v[0 .. len).
template <class U, unsigned G>
[[gnu::always_inline]] inline void radix_pass(U* v, std::size_t len, unsigned a) {
  using V = typename Vec<U>::type;
  constexpr unsigned R = 1u << G;
  const std::size_t stride = std::size_t{1} << a;
  for (std::size_t base = 0; base < len; base += stride << G) {
    for (std::size_t c = 0; c < stride; c += kLanes<U>) {
      U* p = v + base + c;
      V x[R];
      for (unsigned r = 0; r < R; ++r) std::memcpy(&x[r], p + r * stride, sizeof(V));
      for (unsigned h = 1; h < R; h <<= 1) {
        for (unsigned r = 0; r < R; ++r) {
          if ((r & h) == 0) {
            const V s = x[r] + x[r | h];
            const V d = x[r] - x[r | h];
            x[r] = s;
            x[r | h] = d;
          }
        }
      }
      for (unsigned r = 0; r < R; ++r) std::memcpy(p + r * stride, &x[r], sizeof(V));
    }
  }
}

// Stages lo .. hi-1 over v[0 .. len).
template <class U>
[[gnu::always_inline]] inline void stages(U* v, std::size_t len, unsigned lo, unsigned hi) {
  unsigned a = lo;
  for (; a + 3 <= hi; a += 3) radix_pass<U, 3>(v, len, a);
  if (hi - a == 2) radix_pass<U, 2>(v, len, a);
  if (hi - a == 1) radix_pass<U, 1>(v, len, a);
}

// The whole transform of 2^m >= 8 entries. init(block, first, count) writes or
// transforms the entries first .. first+count-1 of the block along stages 0..2.
template <class U, class Init>
[[gnu::always_inline]] inline void blocked_transform(U* v, unsigned m, const Init& init) {
  const unsigned b1 = std::min(m, kL1Bits<U>);
  const unsigned b2 = std::min(m, kL2Bits<U>);
  const std::size_t len = std::size_t{1} << m;
  const std::size_t n1 = std::size_t{1} << b1;
  const std::size_t n2 = std::size_t{1} << b2;
  for (std::size_t o2 = 0; o2 < len; o2 += n2) {
    for (std::size_t o1 = o2; o1 < o2 + n2; o1 += n1) {
      init(v + o1, o1, n1);
      stages(v + o1, n1, 3, b1);
    }
    stages(v + o2, n2, b1, b2);
  }
  stages(v, len, b2, m);
}

// The transform of the sign vector of 8 entries, for every byte of a table:
// row b holds the eight coefficients of the entries whose truth values are the
// bits of b (bit t = entry t, true = +1).
template <class U>
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
        row[b][s] = static_cast<U>(sum);
      }
    }
  }
};

template <class U>
constexpr SignTable<U> kSignTable{};

// Stages 0..2 of the sign vector, read straight from the packed table.
struct FromTable {
  const std::uint64_t* words;
  template <class U>
  [[gnu::always_inline]] void operator()(U* out, std::size_t first, std::size_t count) const {
    for (std::size_t e = 0; e < count; e += 8) {
      const std::size_t x = first + e;
      const unsigned byte = static_cast<unsigned>(words[x >> 6] >> (x & 63)) & 0xFFu;
      std::memcpy(out + e, kSignTable<U>.row[byte], 8 * sizeof(U));
    }
  }
};

// Stages 0..2 of arbitrary data, in place.
struct InPlace {
  template <class U>
  [[gnu::always_inline]] void operator()(U* v, std::size_t, std::size_t count) const {
    for (std::size_t g = 0; g < count; g += 8) {
      U* p = v + g;
      for (unsigned h = 1; h < 8; h <<= 1) {
        for (unsigned r = 0; r < 8; ++r) {
          if ((r & h) == 0) {
            const U a = p[r], b = p[r | h];
            p[r] = a + b;
            p[r | h] = a - b;
          }
        }
      }
    }
  }
};

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

void sign_transform32_base(std::uint32_t* v, unsigned m, const std::uint64_t* w) {
  blocked_transform(v, m, FromTable{w});
}
__attribute__((target("avx2"))) void sign_transform32_avx2(std::uint32_t* v, unsigned m,
                                                            const std::uint64_t* w) {
  blocked_transform(v, m, FromTable{w});
}
void sign_transform64_base(std::uint64_t* v, unsigned m, const std::uint64_t* w) {
  blocked_transform(v, m, FromTable{w});
}
__attribute__((target("avx2"))) void sign_transform64_avx2(std::uint64_t* v, unsigned m,
                                                            const std::uint64_t* w) {
  blocked_transform(v, m, FromTable{w});
}
void transform64_base(std::uint64_t* v, unsigned m) { blocked_transform(v, m, InPlace{}); }
__attribute__((target("avx2"))) void transform64_avx2(std::uint64_t* v, unsigned m) {
  blocked_transform(v, m, InPlace{});
}

// The spectrum of a table into v (2^n entries of U).
template <class U>
void sign_spectrum(const FValue& f, U* v) {
  const unsigned n = f.n_vars();
  const std::uint64_t* words = f.words().data();
  if (n < 3) {
    for (std::uint64_t x = 0; x < f.size(); ++x) v[x] = f[x] ? U{1} : static_cast<U>(-1);
    small_transform(v, f.size());
    return;
  }
  if constexpr (sizeof(U) == 4) {
    (simd::avx2() ? sign_transform32_avx2 : sign_transform32_base)(v, n, words);
  } else {
    (simd::avx2() ? sign_transform64_avx2 : sign_transform64_base)(v, n, words);
  }
}

// Saturating conversion of a float to an unsigned 32-bit integer: NaN and
// negative values give 0, values above the largest float below 2^32 give the
// maximum, anything else is truncated toward zero.
std::uint32_t saturate_u32(float x) {
  if (!(x > 0.0f)) return 0;
  if (x > 4294967040.0f) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(x);
}

// Bits t < 64 with popcount(t) == k, for k = 0 .. 6.
constexpr std::uint64_t popcount_class(unsigned k) {
  std::uint64_t m = 0;
  for (unsigned t = 0; t < 64; ++t) {
    if (static_cast<unsigned>(std::popcount(t)) == k) m |= std::uint64_t{1} << t;
  }
  return m;
}

// The largest popcount(t) over the bits t set in mask (mask != 0).
unsigned max_popcount_in(std::uint64_t mask) {
  static constexpr std::uint64_t kClass[7] = {popcount_class(0), popcount_class(1),
                                              popcount_class(2), popcount_class(3),
                                              popcount_class(4), popcount_class(5),
                                              popcount_class(6)};
  for (unsigned k = 6; k > 0; --k) {
    if (mask & kClass[k]) return k;
  }
  return 0;
}

}  // namespace

std::optional<std::string_view> fwht_slice(std::span<std::int64_t> v) {
  const std::size_t len = v.size();
  if (len == 0) return std::nullopt;
  if (!std::has_single_bit(len)) return std::string_view("Input length must be a power of 2");
  auto* u = reinterpret_cast<std::uint64_t*>(v.data());
  if (len < 8) {
    small_transform(u, len);
  } else {
    const auto m = static_cast<unsigned>(std::countr_zero(len));
    (simd::avx2() ? transform64_avx2 : transform64_base)(u, m);
  }
  return std::nullopt;
}

WalshSpectrum::WalshSpectrum(const FValue& f, Width width) : n_(f.n_vars()) {
  if (n_ <= 30 && width == Width::automatic) {
    narrow_ = make_scratch<std::int32_t>(f.size());
    sign_spectrum(f, reinterpret_cast<std::uint32_t*>(narrow_.get()));
  } else {
    wide_ = make_scratch<std::int64_t>(f.size());
    sign_spectrum(f, reinterpret_cast<std::uint64_t*>(wide_.get()));
  }
}

float coefficient_divisor(unsigned n) { return std::ldexp(1.0f, static_cast<int>(n)); }

std::vector<float> fourier_coeficients(const FValue& f) {
  const WalshSpectrum w(f);
  const float div = coefficient_divisor(w.n_vars());
  std::vector<float> c(w.size());
  w.visit([&](auto spectrum) {
    for (std::size_t s = 0; s < spectrum.size(); ++s) {
      c[s] = static_cast<float>(static_cast<std::int64_t>(spectrum[s])) / div;
    }
  });
  return c;
}

float spectral_entropy(const FValue& f) {
  const WalshSpectrum w(f);
  const unsigned n = w.n_vars();
  const float div = coefficient_divisor(n);
  // The term of a coefficient depends only on |W[s]|. logf dominates the cost,
  // so the terms are cached by |W| / 2 (W is even from one variable on). By
  // Parseval, sum W^2 = 4^n, so at most 4^n / T^2 coefficients have |W| >= T
  // and miss the cache; their terms are computed directly.
  auto term = [div](std::int64_t magnitude) {
    const float c = static_cast<float>(magnitude) / div;
    const float q = c * c;
    return std::log(q) * q;
  };
  if (n == 0) return -0.0f - term(1);
  constexpr float kUnknown = 1.0f;  // terms are never positive
  const std::uint64_t cached = std::min<std::uint64_t>(std::uint64_t{1} << (n - 1), 1u << 20) + 1;
  std::vector<float> cache(cached, kUnknown);
  float acc = -0.0f;
  w.visit([&](auto spectrum) {
    for (std::size_t s = 0; s < spectrum.size(); ++s) {
      const std::int64_t v = spectrum[s];
      if (v == 0) continue;
      const std::int64_t magnitude = v < 0 ? -v : v;
      const auto slot = static_cast<std::uint64_t>(magnitude) >> 1;
      float t;
      if (slot < cached) {
        t = cache[slot];
        if (t == kUnknown) t = cache[slot] = term(magnitude);
      } else {
        t = term(magnitude);
      }
      acc = acc - t;
    }
  });
  return acc;
}

std::uint64_t no_linearity(const FValue& f) {
  const WalshSpectrum w(f);
  const unsigned n = w.n_vars();
  if (n == 0) return 0;
  const std::int64_t m = w.visit([](auto spectrum) {
    using T = typename decltype(spectrum)::value_type;
    T best = 0;
    for (const T v : spectrum) best = std::max(best, v < 0 ? static_cast<T>(-v) : v);
    return static_cast<std::int64_t>(best);
  });
  if (n >= 32) {
    // 2^(n-1) no longer fits the 32-bit arithmetic: the exact distance.
    return (std::uint64_t{1} << (n - 1)) - static_cast<std::uint64_t>(m) / 2;
  }
  const float half_size = static_cast<float>(std::int32_t{1} << (n - 1));
  float x = static_cast<float>(m) * -0.5f;
  x = x + half_size;
  return saturate_u32(x);
}

std::uint64_t degree(const FValue& f) {
  const WalshSpectrum w(f);
  const unsigned n = w.n_vars();
  const std::uint64_t size = w.size();
  if (w[size - 1] != 0) return n;  // the common case: the top coefficient is set
  return w.visit([&](auto spectrum) -> std::uint64_t {
    unsigned best = 0;
    for (std::uint64_t s0 = 0; s0 < size; s0 += 64) {
      const std::uint64_t count = std::min<std::uint64_t>(64, size - s0);
      std::uint64_t nonzero = 0;
      for (std::uint64_t t = 0; t < count; ++t) {
        nonzero |= std::uint64_t{spectrum[s0 + t] != 0} << t;
      }
      if (nonzero == 0) continue;
      const unsigned d = static_cast<unsigned>(std::popcount(s0)) + max_popcount_in(nonzero);
      if (d > best) {
        best = d;
        if (best + 1 >= n) break;  // n itself was excluded above
      }
    }
    return best;
  });
}

}  // namespace varnel
