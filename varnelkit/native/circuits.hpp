// Five-input functions one at a time: optimal circuits, NPN canonical forms
// and transforms. Words are table words (entry x at bit x).
#pragma once

#include <cstdint>
#include <vector>

#include "pyref.hpp"

namespace varnelkit::native {

/// Whether the chain database is built into the module.
bool has_chain_database();
/// (gates, output, complement): gates a tuple of (op, a, b); output the
/// output node, None for a constant.
varnel::py::PyRef optimal_circuit(std::uint64_t word);
/// (representative, permutation tuple, input-complement mask, output complement).
varnel::py::PyRef npn_canonize(std::uint64_t word);
/// The function the transform leads to from `word`.
std::uint32_t apply_transform(std::uint64_t word, std::vector<std::uint64_t> permutation,
                              std::uint64_t input_complement, std::uint64_t output_complement);

/// The word of a Python argument: ValueError above 32 bits.
std::uint32_t five_input_word(std::uint64_t word);

}  // namespace varnelkit::native
