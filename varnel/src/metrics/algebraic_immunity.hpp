// Algebraic immunity: the smallest degree of a non-zero g with f·g = 0 or
// (1 + f)·g = 0. Such a g vanishes on the support of f (or of 1 + f), so it
// exists in degree d exactly when the evaluation vectors, on that support, of
// the monomials of degree at most d are linearly dependent over GF(2). The
// vectors are inserted into an echelon basis in order of degree; the degree of
// the first one that reduces to zero is the answer.
#pragma once

#include <cstdint>

#include "fvalue.hpp"

namespace varnel {

/// The largest number of variables accepted by the annihilator search (the
/// basis takes |support|^2 / 8 bytes).
inline constexpr unsigned kMaxAnnihilatorVars = 16;

/// The smallest degree of a non-zero g with g(x) = 0 wherever f(x) is `value`,
/// searched up to `limit`; limit + 1 when there is none of degree <= limit.
/// More than kMaxAnnihilatorVars variables is a ValueError.
unsigned annihilator_degree(const FValue& f, bool value, unsigned limit);

/// AI(f) = min(annihilator_degree(f, true), annihilator_degree(f, false)); at
/// most ceil(n / 2), and 0 for the constants.
unsigned algebraic_immunity(const FValue& f);

}  // namespace varnel
