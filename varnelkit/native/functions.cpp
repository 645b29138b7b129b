// The functions of `varnelkit._native`, one declaration each: the single index
// from Python name to the C++ function that does the work.
#include "functions.hpp"

#include <cstdint>

#include "batch.hpp"
#include "circuits.hpp"
#include "boolean_measures.hpp"
#include "method.hpp"

namespace varnelkit::native {
namespace {

/// The number of 64-bit words of a packed table of n variables.
std::uint64_t packed_words(std::uint64_t n) {
  if (n > 40) throw varnel::ValueError("too many variables");
  return n <= 6 ? 1 : std::uint64_t{1} << (n - 6);
}

}  // namespace

PyMethodDef* functions() {
  using varnel::py::method;
  using R = varnel::py::Receiver;
  static PyMethodDef table[] = {
      method<"packed_words", R::module, &packed_words, "n">(),
      method<"has_chain_database", R::module, &has_chain_database>(),
      method<"optimal_circuit", R::module, &optimal_circuit, "word">(),
      method<"npn_canonize", R::module, &npn_canonize, "word">(),
      method<"apply_transform", R::module, &apply_transform, "word", "permutation",
             "input_complement", "output_complement">(),
      method<"npn_canonize_many", R::module, &npn_canonize_many, "words", "representatives",
             "transforms">(),
      method<"npn_representatives", R::module, &npn_representatives, "words", "representatives">(),
      method<"minimal_gates_many", R::module, &minimal_gates_many, "words", "gates">(),
      method<"npn_class_indices", R::module, &npn_class_indices, "words", "classes">(),
      method<"npn5_class_count", R::module, &npn5_class_count>(),
      method<"npn5_classes_fill", R::module, &npn5_classes_fill, "representatives", "gates",
             "orbit_sizes">(),
      method<"walsh_spectrum", R::module, &walsh_spectrum, "table", "n", "out">(),
      method<"fourier_level_weights", R::module, &fourier_level_weights, "table", "n">(),
      method<"autocorrelation", R::module, &autocorrelation, "table", "n", "out">(),
      method<"anf", R::module, &anf, "table", "n", "out">(),
      method<"algebraic_degree", R::module, &algebraic_degree, "table", "n">(),
      method<"algebraic_immunity", R::module, &algebraic_immunity, "table", "n">(),
      method<"decision_tree_depth", R::module, &decision_tree_depth, "table", "n">(),
      method<"block_sensitivity", R::module, &block_sensitivity, "table", "n">(),
      method<"is_symmetric", R::module, &is_symmetric, "table", "n">(),
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

}  // namespace varnelkit::native
