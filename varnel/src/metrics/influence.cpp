#include "metrics/influence.hpp"

#include <bit>

#include "metrics/spectral.hpp"

namespace varnel {

float influence(const FValue& f, std::uint64_t var) {
  if (var >= f.n_vars()) return -0.0f;
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

float total_influence(const FValue& f) {
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

}  // namespace varnel
