// Spectral analysis: the Walsh–Hadamard spectrum of a Boolean function and the
// measures read from it (spectral entropy, non-linearity, Fourier degree).
//
// Sign convention: true maps to +1 and false to -1, so W[s] is the sum over all
// inputs x of sign(x) * (-1)^popcount(x & s), and the normalised coefficient is
// c[s] = W[s] / 2^n in single precision. Entropy, non-linearity, degree and the
// influences do not depend on the sign convention; the coefficients do.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "fvalue.hpp"
#include "metrics/scratch.hpp"

namespace varnel {

/// In-place unnormalised fast Walsh–Hadamard transform in natural order, in
/// 64-bit two's-complement arithmetic. An empty slice is left as it is; a length
/// that is not a power of two gives the error text "Input length must be a
/// power of 2" and leaves the slice unchanged.
std::optional<std::string_view> fwht_slice(std::span<std::int64_t> v);

/// The integer Walsh spectrum of a table. Kept in 32-bit integers up to 30
/// variables (|W[s]| <= 2^n, and every partial sum of the transform is bounded
/// the same way) and in 64-bit integers beyond.
class WalshSpectrum {
 public:
  /// The integer width: automatic (32 bits up to 30 variables), or 64 bits
  /// always (the path of the largest tables, for tests).
  enum class Width { automatic, wide };

  explicit WalshSpectrum(const FValue& f, Width width = Width::automatic);

  unsigned n_vars() const noexcept { return n_; }
  std::uint64_t size() const noexcept { return std::uint64_t{1} << n_; }
  std::int64_t operator[](std::uint64_t s) const noexcept {
    return narrow_ ? narrow_[s] : wide_[s];
  }

  /// Calls fn with the spectrum as a std::span of int32_t or of int64_t.
  template <class Fn>
  decltype(auto) visit(Fn&& fn) const {
    if (narrow_) return fn(std::span<const std::int32_t>(narrow_.get(), size()));
    return fn(std::span<const std::int64_t>(wide_.get(), size()));
  }

 private:
  unsigned n_;
  Scratch<std::int32_t> narrow_;
  Scratch<std::int64_t> wide_;
};

/// 2^n in single precision: the divisor of the normalised coefficients.
float coefficient_divisor(unsigned n);

/// c[s] = W[s] / 2^n for every s, in index order.
std::vector<float> fourier_coeficients(const FValue& f);

/// Up to this many variables the spectral entropy is the running single-
/// precision sum in index order; beyond, its terms are summed in double
/// precision and rounded once.
inline constexpr unsigned kExactEntropyVars = 12;

// Each measure below also comes as name_on(f, threads), which takes the
// number of threads to use from 18 variables on (0: every thread of the pool);
// the results do not depend on it.

/// -sum over the non-zero coefficients of c^2 * ln(c^2), each term logf(q) * q
/// with q = c * c in single precision. Up to kExactEntropyVars variables the
/// terms are accumulated in single precision from -0.0 in index order; beyond,
/// they are accumulated in double precision, grouped by |W| in ascending
/// order, and the sum is rounded once to single precision.
float spectral_entropy(const FValue& f);
float spectral_entropy_on(const FValue& f, unsigned threads);

/// Distance to the nearest affine function, 2^(n-1) - max|W|/2, in integers
/// (0 for n = 0). Up to 24 variables this is also the single-precision value
/// float(max|W|) * -0.5 + float(2^(n-1)), every step of which is exact there.
std::uint64_t no_linearity(const FValue& f);
std::uint64_t no_linearity_on(const FValue& f, unsigned threads);

/// The Fourier degree: the largest popcount(s) with W[s] != 0 (0 for constants).
std::uint64_t degree(const FValue& f);
std::uint64_t degree_on(const FValue& f, unsigned threads);

}  // namespace varnel
