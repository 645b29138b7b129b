// Measures over the balanced bipartitions of the variables, and the share of
// hypercube edges along which a function changes value.
#pragma once

#include <cstdint>
#include <vector>

#include "fvalue.hpp"

namespace varnel {

/// One balanced bipartition (set1, set2) with the sum of the restriction
/// entropies of its two sides, in bits.
struct EntropySet {
  std::vector<std::uint64_t> set1;
  std::vector<std::uint64_t> set2;
  float entropy;
};

/// One balanced bipartition (set1, set2) with the sum of the numbers of
/// distinct forms left by fixing each side.
struct EntanglementSet {
  std::vector<std::uint64_t> set1;
  std::vector<std::uint64_t> set2;
  std::uint64_t entanglement;
};

/// Number of hypercube edges {x, x XOR 2^i} (i < n) across which f changes value.
std::uint64_t changing_edges(const FValue& f) noexcept;

/// changing_edges(f) / (n * 2^(n-1)) as one single-precision division; NaN for n = 0.
float equanimity_importance(const FValue& f) noexcept;

}  // namespace varnel
