#include "metrics/autocorrelation.hpp"

#include <string>

#include "error.hpp"
#include "metrics/spectral.hpp"

namespace varnel {

void autocorrelation(const FValue& f, std::span<std::int64_t> out) {
  const unsigned n = f.n_vars();
  if (n > 31) throw ValueError("the autocorrelation is computed for at most 31 variables");
  if (out.size() != f.size()) panic("autocorrelation buffer does not match the table");
  const WalshSpectrum w(f);
  w.visit([&](auto spectrum) {
    for (std::size_t s = 0; s < spectrum.size(); ++s) {
      const auto v = static_cast<std::int64_t>(spectrum[s]);
      out[s] = v * v;
    }
  });
  // Every partial sum of the transform of W^2 is bounded by sum W^2 = 4^n.
  if (auto error = fwht_slice(out)) panic(std::string(*error));
  for (std::int64_t& v : out) v >>= n;  // exact: 2^n divides every value
}

}  // namespace varnel
