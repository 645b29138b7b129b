// The autocorrelation spectrum r(a) = sum over x of (-1)^(f(x) XOR f(x XOR a)),
// for every shift a, by the Wiener–Khinchin relation: r is the Walsh transform
// of W^2, divided by 2^n. |r(a)| <= 2^n, r(0) = 2^n, and r does not depend on
// the sign convention of W.
#pragma once

#include <cstdint>
#include <span>

#include "fvalue.hpp"

namespace varnel {

/// r(a) for every a, in natural order, into `out` (exactly 2^n entries). The
/// intermediate sums stay below 4^n, so n may be at most 31.
void autocorrelation(const FValue& f, std::span<std::int64_t> out);

}  // namespace varnel
