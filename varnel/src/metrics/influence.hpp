// Influence of a variable and total influence, read from the normalised
// Walsh–Hadamard coefficients c[s] = W[s] / 2^n (see spectral.hpp).
#pragma once

#include <cstdint>

#include "fvalue.hpp"

namespace varnel {

/// The sum of c[s]^2 over the indices s that contain variable `var`, squared
/// and accumulated in single precision from -0.0 in ascending order of s. A
/// variable at or beyond n (including var >= 64) selects nothing: -0.0.
float influence(const FValue& f, std::uint64_t var);

/// The sum over s = 1 .. 2^n - 1 in ascending order of float(popcount(s)) *
/// (c[s] * c[s]), accumulated in single precision from -0.0.
float total_influence(const FValue& f);

}  // namespace varnel
