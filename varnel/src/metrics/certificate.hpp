// Certificate complexity. A certificate for input x is a set of variables whose
// values, taken from x, force the function's value; C(f, x) is the size of the
// smallest one and C(f) the largest C(f, x) over all inputs.
//
// Equivalently, the variables outside a certificate span a monochromatic
// subcube through x, so C(f, x) = n - (largest dimension of a monochromatic
// subcube containing x), and C(f) = n - d* where d* is the largest d such that
// every input lies in a monochromatic subcube of dimension d. certificate_complexity
// finds d* by a bit-parallel search over the sets of free variables (see the
// .cpp file); point_certificate_complexity and minimum_certificate_size work
// on one input by the hitting-set formulation.
#pragma once

#include <cstdint>
#include <span>

#include "fvalue.hpp"

namespace varnel {

/// C(f): the largest smallest-certificate size over all inputs (0 for
/// constants and for n = 0). Runs on the worker pool from four variables on.
std::uint32_t certificate_complexity(const FValue& f);

/// C(f) on an explicit number of threads (1 = on the calling thread).
std::uint32_t certificate_complexity_on(const FValue& f, unsigned threads);

/// C(f, x), from the list of x XOR y over the inputs y with f(y) != f(x).
/// An x at or beyond the table length is an internal failure.
std::uint32_t point_certificate_complexity(const FValue& f, std::uint64_t x);

/// The size of the smallest set of variables (bit j = variable j < n) that
/// meets every mask of `sets` (0 for an empty list): a greedy pass bounds it,
/// and an exhaustive search by increasing size below the bound finds it. A
/// zero mask can never be met and is an internal failure.
std::uint32_t minimum_certificate_size(std::span<const std::uint64_t> sets, unsigned n);

}  // namespace varnel
