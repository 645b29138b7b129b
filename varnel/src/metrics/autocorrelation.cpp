#include "metrics/autocorrelation.hpp"

#include <string>

#include "error.hpp"
#include "metrics/spectral.hpp"
#include "pool.hpp"

namespace varnel {

namespace {

// From this many variables on, the second transform is split over two
// threads: one butterfly stage along the top variable, then the two halves,
// each an independent transform of the remaining variables.
constexpr unsigned kSplitVars = 16;
constexpr std::uint64_t kGrain = std::uint64_t{1} << 15;

void transform(std::span<std::int64_t> v) {
  if (auto error = fwht_slice(v)) panic(std::string(*error));
}

}  // namespace

void autocorrelation(const FValue& f, std::span<std::int64_t> out) {
  const unsigned n = f.n_vars();
  if (n > 31) throw ValueError("the autocorrelation is computed for at most 31 variables");
  if (out.size() != f.size()) panic("autocorrelation buffer does not match the table");
  const WalshSpectrum w(f);
  // Every partial sum of the transform of W^2 is bounded by sum W^2 = 4^n.
  if (n < kSplitVars) {
    w.visit([&](auto spectrum) {
      for (std::size_t s = 0; s < spectrum.size(); ++s) {
        const auto v = static_cast<std::int64_t>(spectrum[s]);
        out[s] = v * v;
      }
    });
    transform(out);
    for (std::int64_t& v : out) v >>= n;  // exact: 2^n divides every value
    return;
  }
  const std::uint64_t half = f.size() / 2;
  w.visit([&](auto spectrum) {
    pool::parallel_for(half, kGrain, [&](std::uint64_t begin, std::uint64_t end) {
      for (std::uint64_t s = begin; s < end; ++s) {
        const auto a = static_cast<std::int64_t>(spectrum[s]);
        const auto b = static_cast<std::int64_t>(spectrum[s + half]);
        out[s] = a * a + b * b;
        out[s + half] = a * a - b * b;
      }
    });
  });
  pool::parallel_for(2, 1, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t k = begin; k < end; ++k) transform(out.subspan(k * half, half));
  });
  pool::parallel_for(f.size(), kGrain, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t s = begin; s < end; ++s) out[s] >>= n;
  });
}

}  // namespace varnel
