#include "metrics/influence.hpp"

#include <bit>

#include "metrics/hypercube.hpp"
#include "simd.hpp"
#include "metrics/sensitivity.hpp"
#include "metrics/spectral.hpp"

namespace varnel {

namespace {

using hypercube::flip_in_word;

// The changes along variable i of words [0, count): for i < 6 inside each
// word; from 6 on between word pairs k and k + 2^(i-6), each pair counted for
// both of its endpoints.
[[gnu::always_inline]] inline std::uint64_t count_changes(const std::uint64_t* w, std::size_t count,
                                                          unsigned i) {
  std::uint64_t total = 0;
  if (i < 6) {
    for (std::size_t k = 0; k < count; ++k) {
      total += static_cast<std::uint64_t>(std::popcount(w[k] ^ flip_in_word(w[k], i)));
    }
    return total;
  }
  const std::size_t m = std::size_t{1} << (i - 6);
  for (std::size_t base = 0; base < count; base += 2 * m) {
    for (std::size_t u = 0; u < m; ++u) {
      total += static_cast<std::uint64_t>(std::popcount(w[base + u] ^ w[base + m + u]));
    }
  }
  return 2 * total;
}

std::uint64_t count_base(const std::uint64_t* w, std::size_t count, unsigned i) {
  return count_changes(w, count, i);
}
__attribute__((target("avx2"))) std::uint64_t count_avx2(const std::uint64_t* w, std::size_t count,
                                                         unsigned i) {
  return count_changes(w, count, i);
}

float influence_from_spectrum(const FValue& f, std::uint64_t var) {
  const WalshSpectrum w(f);
  const float div = coefficient_divisor(w.n_vars());
  const std::uint64_t size = w.size();
  const std::uint64_t half = std::uint64_t{1} << var;
  float acc = -0.0f;
  w.visit([&](auto spectrum) {
    // The indices with bit `var` set, in ascending order: runs of `half`.
    for (std::uint64_t base = half; base < size; base += 2 * half) {
      for (std::uint64_t s = base; s < base + half; ++s) {
        const float c = static_cast<float>(spectrum[s]) / div;
        acc = acc + c * c;
      }
    }
  });
  return acc;
}

float total_influence_from_spectrum(const FValue& f) {
  const WalshSpectrum w(f);
  const float div = coefficient_divisor(w.n_vars());
  float acc = -0.0f;
  w.visit([&](auto spectrum) {
    for (std::uint64_t s = 1; s < spectrum.size(); ++s) {
      const float c = static_cast<float>(spectrum[s]) / div;
      const float weight = static_cast<float>(std::popcount(s));
      acc = acc + weight * (c * c);
    }
  });
  return acc;
}

}  // namespace

std::uint64_t changes_along(const FValue& f, unsigned var) {
  if (var >= f.n_vars()) return 0;
  const std::uint64_t* w = f.words().data();
  const std::size_t count = f.words().size();
  return simd::avx2() ? count_avx2(w, count, var) : count_base(w, count, var);
}

float fraction_of_inputs(std::uint64_t count, unsigned n) {
  // Converting the count rounds once; scaling by a power of two is exact.
  return static_cast<float>(count) / static_cast<float>(std::uint64_t{1} << n);
}

float influence(const FValue& f, std::uint64_t var) {
  const unsigned n = f.n_vars();
  if (var >= n) return -0.0f;
  if (n <= kInfluenceFromSpectrumUpTo) return influence_from_spectrum(f, var);
  return fraction_of_inputs(changes_along(f, static_cast<unsigned>(var)), n);
}

float total_influence(const FValue& f) {
  const unsigned n = f.n_vars();
  if (n <= kInfluenceFromSpectrumUpTo) return total_influence_from_spectrum(f);
  return fraction_of_inputs(sensitivity_sum(f), n);
}

}  // namespace varnel
