#include "metrics/walsh.hpp"

#include <bit>

#include "error.hpp"
#include "metrics/spectral.hpp"

namespace varnel {

void walsh_spectrum(const FValue& f, std::span<std::int64_t> out) {
  if (out.size() != f.size()) panic("spectrum buffer does not match the table");
  const WalshSpectrum w(f);
  w.visit([&](auto spectrum) {
    for (std::size_t s = 0; s < spectrum.size(); ++s) out[s] = spectrum[s];
  });
}

std::vector<std::uint64_t> fourier_level_weights(const FValue& f) {
  const unsigned n = f.n_vars();
  if (n > 31) throw ValueError("Fourier weights are computed for at most 31 variables");
  std::vector<std::uint64_t> level(n + 1, 0);
  const WalshSpectrum w(f);
  w.visit([&](auto spectrum) {
    for (std::size_t s = 0; s < spectrum.size(); ++s) {
      const auto v = static_cast<std::int64_t>(spectrum[s]);
      if (v != 0) level[std::popcount(s)] += static_cast<std::uint64_t>(v * v);
    }
  });
  return level;
}

}  // namespace varnel
