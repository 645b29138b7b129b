// Measures over the balanced bipartitions of the variables, and the share of
// hypercube edges along which a function changes value.
//
// Entropy and entanglement weigh every balanced bipartition (A, B) of the
// variables (SubsetIterator order): entropy by H(A) + H(B), the restriction
// entropies of fixing each side (one single-precision addition, H(A) first),
// entanglement by N(A) + N(B), the numbers of distinct forms. `entropy` and
// `entanglement` are the minima over all bipartitions (a value replaces the
// running minimum only when strictly smaller), the *_sets operations list the
// value of every bipartition.
//
// Functions of up to 9 variables are handled on the calling thread in
// enumeration order. From 10 variables on, the enumeration is cut into
// consecutive chunks that the worker pool's threads draw from a shared
// counter; each thread walks its chunks with a BipartitionWalker, and the
// chunk results are joined in chunk order, so the results do not depend on the
// number of threads or on timing, and the *_sets lists always come in
// enumeration order. Every operation fails with the internal failure
// "capacity overflow" for a function of no variables.
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

/// The smallest H(A) + H(B) over the balanced bipartitions.
float entropy(const FValue& f);

/// H(A) + H(B) of every balanced bipartition, in enumeration order.
std::vector<EntropySet> entropy_sets(const FValue& f);

/// The smallest N(A) + N(B) over the balanced bipartitions.
std::uint64_t entanglement(const FValue& f);

/// N(A) + N(B) of every balanced bipartition, in enumeration order.
std::vector<EntanglementSet> entanglement_sets(const FValue& f);

/// hypercube::changing_edges(f) / (n * 2^(n-1)) as one single-precision division; NaN for n = 0.
float equanimity_importance(const FValue& f) noexcept;

}  // namespace varnel
