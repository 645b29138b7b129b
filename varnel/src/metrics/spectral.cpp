#include "metrics/spectral.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#include <immintrin.h>

#include "error.hpp"
#include "interrupt.hpp"
#include "metrics/walsh_kernels.hpp"
#include "pool.hpp"
#include "simd.hpp"

namespace varnel {

namespace {

using walsh::blocked_transform;
using walsh::kSignTable;
using walsh::small_transform;

// The one place where the kernels choose their instruction set: the AVX2
// variant when the processor has it (and the baseline is not forced).
template <class Fn>
Fn pick(Fn base, Fn avx2) {
  return simd::avx2() ? avx2 : base;
}

// ---------------------------------------------------------------------------
// The whole spectrum in one array (tables up to the first-pass block size, the
// tables beyond 30 variables, and the spectrum that the influences read).

// Stages 0..2 of the sign vector, read straight from the packed table.
struct FromTable {
  const std::uint64_t* words;
  template <class U>
  [[gnu::always_inline]] void operator()(U* out, std::size_t first, std::size_t count) const {
    for (std::size_t e = 0; e < count; e += 8) {
      const std::size_t x = first + e;
      const unsigned byte = static_cast<unsigned>(words[x >> 6] >> (x & 63)) & 0xFFu;
      std::memcpy(out + e, kSignTable<U, 1>.row[byte], 8 * sizeof(U));
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

void sign_transform32_base(std::uint32_t* v, unsigned m, const std::uint64_t* w) {
  blocked_transform(v, m, 3, FromTable{w});
}
__attribute__((target("avx2"))) void sign_transform32_avx2(std::uint32_t* v, unsigned m,
                                                           const std::uint64_t* w) {
  blocked_transform(v, m, 3, FromTable{w});
}
void sign_transform64_base(std::uint64_t* v, unsigned m, const std::uint64_t* w) {
  blocked_transform(v, m, 3, FromTable{w});
}
__attribute__((target("avx2"))) void sign_transform64_avx2(std::uint64_t* v, unsigned m,
                                                           const std::uint64_t* w) {
  blocked_transform(v, m, 3, FromTable{w});
}
void transform64_base(std::uint64_t* v, unsigned m) { blocked_transform(v, m, 3, InPlace{}); }
__attribute__((target("avx2"))) void transform64_avx2(std::uint64_t* v, unsigned m) {
  blocked_transform(v, m, 3, InPlace{});
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
    pick(sign_transform32_base, sign_transform32_avx2)(v, n, words);
  } else {
    pick(sign_transform64_base, sign_transform64_avx2)(v, n, words);
  }
}

// ---------------------------------------------------------------------------
// The spectrum in two passes over a narrow intermediate, for 16 to 30
// variables, with the measure read off in the second pass.
//
// Pass 1 transforms each block of 2^15 consecutive entries along variables
// 0..14 in a buffer that stays in the cache, halves the result (every
// coefficient of a sign vector of two or more entries is even, and
// |W| / 2 <= 2^14 after 15 stages) and stores it in 16 bits, column chunk by
// column chunk: the 32 entries of a block with the same index bits 5..14 form
// one cache line, and the intermediate holds, for each chunk, the lines of all
// blocks in block order. The lines are written with non-temporal stores.
// Pass 2 reads one chunk at a time (2^outer consecutive lines), widens it to
// 32 bits in a buffer that stays in the cache, applies the stages of the
// remaining variables there and hands the finished coefficients W / 2 straight
// to the measure. Memory traffic: one write and one read of 2 bytes per entry.

constexpr unsigned kInnerBits = 15;
constexpr unsigned kMaxTwoPass = 30;  // W / 2 fits 32 bits, counts fit 32 bits
constexpr unsigned kChunkBits = 5;    // 32 entries of 16 bits: one cache line

// Stages 0..3 of 16 entries from two bytes of the table, halved.
struct FromTableHalved {
  const std::uint8_t* bytes;  // the bytes of the block's entries
  [[gnu::always_inline]] void operator()(std::uint16_t* out, std::size_t first,
                                         std::size_t count) const {
    typedef std::uint16_t Half __attribute__((vector_size(16), aligned(1), may_alias));
    for (std::size_t e = 0; e < count; e += 16) {
      const std::size_t byte = (first + e) / 8;
      const Half lo = *reinterpret_cast<const Half*>(kSignTable<std::uint16_t, 2>.row[bytes[byte]]);
      const Half hi =
          *reinterpret_cast<const Half*>(kSignTable<std::uint16_t, 2>.row[bytes[byte + 1]]);
      *reinterpret_cast<Half*>(out + e) = lo + hi;
      *reinterpret_cast<Half*>(out + e + 8) = lo - hi;
    }
  }
};

// Block b of pass 1: transformed in `block` (2^15 entries), then its line of
// every chunk stored into the intermediate.
[[gnu::always_inline]] inline void first_pass(std::uint16_t* inter, unsigned outer, std::uint64_t b,
                                              const std::uint8_t* bytes, std::uint16_t* block) {
  blocked_transform(block, kInnerBits, 4, FromTableHalved{bytes + (b << kInnerBits) / 8});
  constexpr std::size_t kLine = std::size_t{1} << kChunkBits;
  const std::size_t chunk_stride = kLine << outer;
  std::uint16_t* dst = inter + b * kLine;
  for (std::size_t j = 0; j < (std::size_t{1} << (kInnerBits - kChunkBits)); ++j) {
    const auto* src = reinterpret_cast<const __m128i*>(block + j * kLine);
    auto* out = reinterpret_cast<__m128i*>(dst + j * chunk_stride);
    for (unsigned q = 0; q < 4; ++q) _mm_stream_si128(out + q, _mm_load_si128(src + q));
  }
  _mm_sfence();  // the lines are visible to the other threads once the pass has joined
}

void first_pass_base(std::uint16_t* inter, unsigned outer, std::uint64_t b,
                     const std::uint8_t* bytes, std::uint16_t* block) {
  first_pass(inter, outer, b, bytes, block);
}
__attribute__((target("avx2"))) void first_pass_avx2(std::uint16_t* inter, unsigned outer,
                                                     std::uint64_t b, const std::uint8_t* bytes,
                                                     std::uint16_t* block) {
  first_pass(inter, outer, b, bytes, block);
}

// Chunk j of pass 2: the columns 32j .. 32j + 31 of all 2^outer blocks,
// finished in `local` (2^(outer + 5) entries) and handed to r row by row. Row
// `row` holds W[s] / 2 for s = (row << 15) + 32j + c.
template <class R>
[[gnu::always_inline]] inline void second_pass(const std::uint16_t* inter, unsigned outer,
                                               std::uint64_t j, std::uint32_t* local, R& r) {
  constexpr std::size_t kLine = std::size_t{1} << kChunkBits;
  const std::size_t len = kLine << outer;
  const auto* src = reinterpret_cast<const std::int16_t*>(inter) + j * len;
  for (std::size_t e = 0; e < len; ++e) {
    local[e] = static_cast<std::uint32_t>(static_cast<std::int32_t>(src[e]));
  }
  walsh::stages(local, len, kChunkBits, kChunkBits + outer);
  const auto* done = reinterpret_cast<const std::int32_t*>(local);
  const std::uint64_t c0 = j << kChunkBits;
  for (std::size_t row = 0; row < (std::size_t{1} << outer); ++row) {
    r.absorb(done + row * kLine, kLine, (std::uint64_t{row} << kInnerBits) + c0);
  }
}

template <class R>
void second_pass_base(const std::uint16_t* inter, unsigned outer, std::uint64_t j,
                      std::uint32_t* local, R& r) {
  second_pass(inter, outer, j, local, r);
}
template <class R>
__attribute__((target("avx2"))) void second_pass_avx2(const std::uint16_t* inter, unsigned outer,
                                                      std::uint64_t j, std::uint32_t* local, R& r) {
  second_pass(inter, outer, j, local, r);
}

// Tables of at least this many variables spread the passes over the pool.
constexpr unsigned kPoolFrom = 18;

unsigned participants_for(unsigned n, unsigned threads) {
  if (n < kPoolFrom) return 1;
  return threads == 0 ? pool::num_threads() : threads;
}

// Runs body(p, item) for every item in [0, count) on `participants` threads,
// p numbering the thread; each thread takes the next item until none is left.
// Every item (a block of 2^15 entries at most) passes a checkpoint, so a long
// transform stops promptly when asked.
template <class Body>
void share(unsigned participants, std::uint64_t count, const Body& body) {
  if (participants <= 1) {
    for (std::uint64_t item = 0; item < count; ++item) {
      interrupt::checkpoint();
      body(0u, item);
    }
    return;
  }
  std::atomic<std::uint64_t> next{0};
  pool::run(participants, [&](unsigned p) {
    for (;;) {
      const std::uint64_t item = next.fetch_add(1, std::memory_order_relaxed);
      if (item >= count) return;
      interrupt::checkpoint();
      body(p, item);
    }
  });
}

// Hands every coefficient W[s] / 2 of a table of at least one variable to a
// reducer, in rows of at most 64 consecutive indices (s = base + c, base a
// multiple of the row length). Returns one reducer per thread or per slice;
// each saw at most 2^30 coefficients, and together they saw each once.
template <class R>
std::vector<R> reduce_spectrum(const FValue& f, unsigned threads) {
  const unsigned n = f.n_vars();
  std::vector<R> parts;
  if (n <= kInnerBits || n > kMaxTwoPass) {
    const WalshSpectrum w(f);
    w.visit([&](auto spectrum) {
      using T = typename decltype(spectrum)::value_type;
      const std::size_t k = std::min<std::size_t>(64, spectrum.size());
      constexpr std::size_t kSlice = std::size_t{1} << 30;
      for (std::size_t s0 = 0; s0 < spectrum.size(); s0 += kSlice) {
        R& r = parts.emplace_back();
        const std::size_t end = std::min(spectrum.size(), s0 + kSlice);
        for (std::size_t base = s0; base < end; base += k) {
          T half[64];
          for (std::size_t c = 0; c < k; ++c) half[c] = static_cast<T>(spectrum[base + c] / 2);
          r.absorb(half, k, base);
        }
      }
    });
    return parts;
  }
  const unsigned outer = n - kInnerBits;
  const unsigned participants = participants_for(n, threads);
  // The intermediate (2 bytes per entry) is kept for the next call, up to
  // 26 variables' worth of it (128 MiB).
  static KeptScratch<std::uint16_t> kept_inter(std::size_t{128} << 20);
  Scratch<std::uint16_t> inter = kept_inter.take(f.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(f.words().data());
  parts.resize(std::min(participants, pool::num_threads()));
  const auto p_count = static_cast<unsigned>(parts.size());
  std::vector<Scratch<std::uint16_t>> blocks(p_count);
  const auto first = pick(first_pass_base, first_pass_avx2);
  share(p_count, std::uint64_t{1} << outer, [&](unsigned p, std::uint64_t b) {
    if (!blocks[p]) blocks[p] = make_scratch<std::uint16_t>(std::size_t{1} << kInnerBits);
    first(inter.get(), outer, b, bytes, blocks[p].get());
  });
  const auto second = pick(second_pass_base<R>, second_pass_avx2<R>);
  std::vector<Scratch<std::uint32_t>> local(p_count);
  share(p_count, std::uint64_t{1} << (kInnerBits - kChunkBits), [&](unsigned p, std::uint64_t j) {
    if (!local[p]) local[p] = make_scratch<std::uint32_t>(std::size_t{1} << (outer + kChunkBits));
    second(inter.get(), outer, j, local[p].get(), parts[p]);
  });
  kept_inter.give(std::move(inter), f.size());
  return parts;
}

// ---------------------------------------------------------------------------
// The reducers: each sees rows v[0 .. k) of W[s] / 2 for s = base + c.

// The largest |W| / 2.
struct LargestHalf {
  std::int64_t best = 0;
  template <class T>
  [[gnu::always_inline]] void absorb(const T* v, std::size_t k, std::uint64_t) {
    T m = 0;
    for (std::size_t c = 0; c < k; ++c) {
      const T a = v[c] < 0 ? static_cast<T>(-v[c]) : v[c];
      m = a > m ? a : m;
    }
    best = std::max<std::int64_t>(best, m);
  }
};

// Bits t < 64 with popcount(t) == k, for k = 0 .. 6.
constexpr std::uint64_t popcount_class(unsigned k) {
  std::uint64_t m = 0;
  for (unsigned t = 0; t < 64; ++t) {
    if (static_cast<unsigned>(std::popcount(t)) == k) m |= std::uint64_t{1} << t;
  }
  return m;
}

// The largest popcount(t) over the bits t set in mask.
unsigned max_popcount_in(std::uint64_t mask) {
  static constexpr std::uint64_t kClass[7] = {
      popcount_class(0), popcount_class(1), popcount_class(2), popcount_class(3),
      popcount_class(4), popcount_class(5), popcount_class(6)};
  for (unsigned k = 6; k > 0; --k) {
    if (mask & kClass[k]) return k;
  }
  return 0;
}

// The largest popcount(s) with W[s] != 0. Rows whose indices cannot beat the
// best so far are skipped.
struct LargestWeight {
  unsigned best = 0;
  template <class T>
  [[gnu::always_inline]] void absorb(const T* v, std::size_t k, std::uint64_t base) {
    const unsigned w = static_cast<unsigned>(std::popcount(base));
    if (w + static_cast<unsigned>(std::countr_zero(k)) <= best) return;
    std::uint64_t nonzero = 0;
    for (std::size_t c = 0; c < k; ++c) nonzero |= std::uint64_t{v[c] != 0} << c;
    if (nonzero != 0) best = std::max(best, w + max_popcount_in(nonzero));
  }
};

// How often each |W| / 2 occurs: directly counted below kDirect, listed above.
struct MagnitudeCounts {
  static constexpr std::size_t kDirect = std::size_t{1} << 15;
  std::vector<std::uint32_t> counts = std::vector<std::uint32_t>(kDirect, 0);
  std::vector<std::uint64_t> large;
  template <class T>
  [[gnu::always_inline]] void absorb(const T* v, std::size_t k, std::uint64_t) {
    std::uint32_t* const direct = counts.data();
    for (std::size_t c = 0; c < k; ++c) {
      const auto a = static_cast<std::uint64_t>(v[c] < 0 ? -static_cast<std::int64_t>(v[c]) : v[c]);
      if (a < kDirect) [[likely]] {
        ++direct[a];
      } else {
        large.push_back(a);
      }
    }
  }
};

// The spectral entropy term of one coefficient of magnitude |W|: with c the
// single-precision coefficient and q = c * c, logf(q) * q (never positive).
float entropy_term(std::int64_t magnitude, float div) {
  const float c = static_cast<float>(magnitude) / div;
  const float q = c * c;
  return std::log(q) * q;
}

// The recipe's sum: single precision from -0.0, in index order. The term of a
// coefficient depends only on |W|, so the terms are computed once per value.
float entropy_in_order(const WalshSpectrum& w) {
  const float div = coefficient_divisor(w.n_vars());
  constexpr float kUnknown = 1.0f;  // terms are never positive
  std::vector<float> cache(w.size() / 2 + 2, kUnknown);
  float acc = -0.0f;
  w.visit([&](auto spectrum) {
    for (const auto v : spectrum) {
      if (v == 0) continue;
      const std::int64_t magnitude = v < 0 ? -std::int64_t{v} : std::int64_t{v};
      float& t = cache[static_cast<std::uint64_t>(magnitude) >> 1];
      if (t == kUnknown) t = entropy_term(magnitude, div);
      acc = acc - t;
    }
  });
  return acc;
}

// The same terms summed in double precision, value by value in ascending
// order of |W| (each value's term times its count), rounded once.
float entropy_from_counts(unsigned n, const std::vector<MagnitudeCounts>& parts) {
  const float div = coefficient_divisor(n);
  double acc = -0.0;
  for (std::size_t a = 1; a < MagnitudeCounts::kDirect; ++a) {
    std::uint64_t count = 0;
    for (const auto& p : parts) count += p.counts[a];
    if (count != 0) {
      acc = acc - static_cast<double>(count) *
                      static_cast<double>(entropy_term(static_cast<std::int64_t>(2 * a), div));
    }
  }
  std::vector<std::uint64_t> large;
  for (const auto& p : parts) large.insert(large.end(), p.large.begin(), p.large.end());
  std::sort(large.begin(), large.end());
  for (std::size_t i = 0; i < large.size();) {
    std::size_t j = i;
    while (j < large.size() && large[j] == large[i]) ++j;
    acc = acc - static_cast<double>(j - i) *
                    static_cast<double>(entropy_term(static_cast<std::int64_t>(2 * large[i]), div));
    i = j;
  }
  return static_cast<float>(acc);
}

// Whether W[2^n - 1] is non-zero, from the packed table (n >= 6): that
// coefficient is twice the number of true entries at indices of even weight
// minus those at indices of odd weight.
bool top_coefficient_nonzero(const FValue& f) {
  constexpr std::uint64_t kEven = [] {
    std::uint64_t m = 0;
    for (unsigned j = 0; j < 64; ++j) {
      if (std::popcount(j) % 2 == 0) m |= std::uint64_t{1} << j;
    }
    return m;
  }();
  std::int64_t balance = 0;
  const auto words = f.words();
  for (std::size_t k = 0; k < words.size(); ++k) {
    const std::uint64_t even = (std::popcount(k) & 1) ? ~kEven : kEven;
    balance += std::popcount(words[k] & even);
    balance -= std::popcount(words[k] & ~even);
  }
  return balance != 0;
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
    pick(transform64_base, transform64_avx2)(u, m);
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

float spectral_entropy(const FValue& f) { return spectral_entropy_on(f, 0); }

float spectral_entropy_on(const FValue& f, unsigned threads) {
  const unsigned n = f.n_vars();
  if (n == 0) return -0.0f - entropy_term(1, 1.0f);
  if (n <= kExactEntropyVars) return entropy_in_order(WalshSpectrum(f));
  return entropy_from_counts(n, reduce_spectrum<MagnitudeCounts>(f, threads));
}

std::uint64_t no_linearity(const FValue& f) { return no_linearity_on(f, 0); }

std::uint64_t no_linearity_on(const FValue& f, unsigned threads) {
  const unsigned n = f.n_vars();
  if (n == 0) return 0;
  std::int64_t half = 0;
  for (const auto& p : reduce_spectrum<LargestHalf>(f, threads)) half = std::max(half, p.best);
  return (std::uint64_t{1} << (n - 1)) - static_cast<std::uint64_t>(half);
}

std::uint64_t degree(const FValue& f) { return degree_on(f, 0); }

std::uint64_t degree_on(const FValue& f, unsigned threads) {
  const unsigned n = f.n_vars();
  if (n == 0) return 0;
  if (n >= 6 && top_coefficient_nonzero(f)) return n;
  unsigned best = 0;
  for (const auto& p : reduce_spectrum<LargestWeight>(f, threads)) best = std::max(best, p.best);
  return best;
}

}  // namespace varnel
