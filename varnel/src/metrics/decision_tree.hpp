// Deterministic decision-tree depth D(f): the fewest queries of input bits
// that determine f(x) for every x, in the worst case. Computed exactly by
// dynamic programming over the 3^n subcubes (each variable fixed to 0, fixed
// to 1, or free): a subcube on which f is constant needs no query, any other
// needs 1 + min over its free variables i of max(D on the half with i = 0,
// D on the half with i = 1).
#pragma once

#include <cstdint>

#include "fvalue.hpp"

namespace varnel {

/// The largest number of variables accepted (3^n bytes of working memory).
inline constexpr unsigned kMaxDecisionTreeVars = 18;

/// D(f); more than kMaxDecisionTreeVars variables is a ValueError.
unsigned decision_tree_depth(const FValue& f);

}  // namespace varnel
