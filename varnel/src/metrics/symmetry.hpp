// Symmetric functions: f(x) depends only on the number of ones of x, so f is
// fixed by its values at 0, 1, 3, 7, ... (one input of each weight).
#pragma once

#include "fvalue.hpp"

namespace varnel {

/// True when every input has the value of the input 2^popcount(x) - 1.
bool is_symmetric(const FValue& f);

}  // namespace varnel
