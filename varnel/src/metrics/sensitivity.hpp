// Sensitivity: s(x) is the number of variables j < n whose flip changes the
// value, f(x XOR 2^j) != f(x). Counted word-parallel on the packed table.
#pragma once

#include <cstdint>

#include "fvalue.hpp"

namespace varnel {

/// The largest s(x) over all inputs (0 for n = 0).
std::uint32_t max_sensitivity(const FValue& f);

/// The sum of s(x) over all inputs, i.e. twice the number of frontier edges.
std::uint64_t sensitivity_sum(const FValue& f);

/// float(sum of s(x)) / float(2^n), one single-precision division. The sum is
/// exact in 64 bits (it fits 32 bits up to 27 variables).
float mean_sensitivity(const FValue& f);

}  // namespace varnel
