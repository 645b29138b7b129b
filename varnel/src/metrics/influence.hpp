// Influence of a variable and total influence.
//
// Both are exact quantities: influence(var) is the fraction of inputs x whose
// value changes when variable var is flipped, and total_influence is the mean
// sensitivity (the sum of the influences). The results are single precision.
//
// Up to 12 variables they are read from the normalised Walsh–Hadamard
// coefficients c[s] = W[s] / 2^n (see spectral.hpp) and summed in single
// precision from -0.0 in ascending order of s; that running sum is accurate at
// these sizes (up to 11 variables every term and partial sum is exact). From 13
// variables on such a sum loses its small terms, so the results are counted
// in integers on the packed table and rounded once to single precision.
#pragma once

#include <cstdint>

#include "fvalue.hpp"

namespace varnel {

/// The largest number of variables for which the influences are summed from
/// the coefficients; larger tables are counted.
inline constexpr unsigned kInfluenceFromSpectrumUpTo = 12;

/// The number of inputs x with f(x) != f(x XOR 2^var), for var < n.
std::uint64_t changes_along(const FValue& f, unsigned var);

/// count / 2^n rounded once to single precision.
float fraction_of_inputs(std::uint64_t count, unsigned n);

/// The influence of variable `var`. Up to 12 variables: the sum of c[s]^2 over
/// the indices s that contain var, squared and accumulated in single precision
/// from -0.0 in ascending order of s. From 13 variables: changes_along / 2^n.
/// A variable at or beyond n (including var >= 64) selects nothing: -0.0.
float influence(const FValue& f, std::uint64_t var);

/// The total influence. Up to 12 variables: the sum over s = 1 .. 2^n - 1 in
/// ascending order of float(popcount(s)) * (c[s] * c[s]), accumulated in
/// single precision from -0.0. From 13 variables: the sum of the sensitivities
/// over all inputs / 2^n, equal to mean_sensitivity.
float total_influence(const FValue& f);

}  // namespace varnel
