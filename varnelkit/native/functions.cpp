// The functions of `varnelkit._native`, one declaration each: the single index
// from Python name to the C++ function that does the work.
#include "functions.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

#include "batch.hpp"
#include "circuits.hpp"
#include "method.hpp"

namespace varnelkit::native {
namespace {

/// The number of 64-bit words of a packed table of n variables.
std::uint64_t packed_words(std::uint64_t n) {
  if (n > 40) throw varnel::ValueError("too many variables");
  return n <= 6 ? 1 : std::uint64_t{1} << (n - 6);
}

/// A module function without parameters (the interpreter rejects arguments).
template <varnel::py::Literal Name, auto Fn>
PyMethodDef no_arguments() {
  static constexpr auto doc = [] {
    std::array<char, Name.length + 8> text{};
    for (std::size_t i = 0; i < Name.length; ++i) text[i] = Name.text[i];
    const char tail[] = "()\n--\n\n";
    for (std::size_t i = 0; i < 7; ++i) text[Name.length + i] = tail[i];
    return text;
  }();
  return PyMethodDef{Name.text,
                     [](PyObject*, PyObject*) -> PyObject* {
                       return varnel::py::guard([] { return varnel::py::to_py(Fn()).release(); });
                     },
                     METH_NOARGS, doc.data()};
}

}  // namespace

PyMethodDef* functions() {
  using varnel::py::method;
  using R = varnel::py::Receiver;
  static PyMethodDef table[] = {
      method<"packed_words", R::module, &packed_words, "n">(),
      no_arguments<"has_chain_database", &has_chain_database>(),
      method<"optimal_circuit", R::module, &optimal_circuit, "word">(),
      method<"npn_canonize", R::module, &npn_canonize, "word">(),
      method<"apply_transform", R::module, &apply_transform, "word", "permutation",
             "input_complement", "output_complement">(),
      method<"npn_canonize_many", R::module, &npn_canonize_many, "words", "representatives",
             "transforms">(),
      method<"npn_representatives", R::module, &npn_representatives, "words", "representatives">(),
      method<"minimal_gates_many", R::module, &minimal_gates_many, "words", "gates">(),
      method<"npn_class_indices", R::module, &npn_class_indices, "words", "classes">(),
      no_arguments<"npn5_class_count", &npn5_class_count>(),
      method<"npn5_classes_fill", R::module, &npn5_classes_fill, "representatives", "gates",
             "orbit_sizes">(),
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

}  // namespace varnelkit::native
