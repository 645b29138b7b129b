// The Walsh spectrum handed out whole: the integer spectrum of a table as
// 64-bit integers, and the Fourier weight of each level (sum of W[s]^2 over
// the s with popcount(s) = k). Both use the sign convention of the spectral
// measures: true is +1, false is -1, so W here is the negative of the
// spectrum under the usual (-1)^f convention.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fvalue.hpp"

namespace varnel {

/// W[s] for every s, in natural order, into `out` (exactly 2^n entries).
void walsh_spectrum(const FValue& f, std::span<std::int64_t> out);

/// Entry k (k = 0 .. n) is the sum of W[s]^2 over the s of popcount k. The
/// entries add up to 4^n (Parseval); n must be at most 31.
std::vector<std::uint64_t> fourier_level_weights(const FValue& f);

}  // namespace varnel
