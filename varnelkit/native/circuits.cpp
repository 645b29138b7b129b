#include "circuits.hpp"

#include <string>

#include "error.hpp"
#include "opt5/circuit.hpp"
#include "opt5/database.hpp"
#include "opt5/table_words.hpp"

namespace varnelkit::native {

using varnel::py::PyRef;

namespace {

PyRef small_int(long v) { return PyRef::checked(PyLong_FromLong(v)); }

/// A new tuple taking over the references of `items`.
template <std::size_t N>
PyRef tuple_of(PyRef (&&items)[N]) {
  PyRef t = PyRef::checked(PyTuple_New(N));
  for (std::size_t i = 0; i < N; ++i)
    PyTuple_SetItem(t.get(), static_cast<Py_ssize_t>(i), items[i].release());
  return t;
}

}  // namespace

std::uint32_t five_input_word(std::uint64_t word) {
  if (word > 0xFFFFFFFFu)
    throw varnel::ValueError("a five-input function is a 32-bit word, not " + std::to_string(word));
  return static_cast<std::uint32_t>(word);
}

bool has_chain_database() { return !opt5::embedded_chains().empty(); }

PyRef optimal_circuit(std::uint64_t word) {
  const std::uint32_t w = five_input_word(word);
  const opt5::circuit c = opt5::optimal_circuit(opt5::embedded_database(), w);
  PyRef gates = PyRef::checked(PyTuple_New(c.length));
  for (unsigned i = 0; i < c.length; ++i) {
    const opt5::circuit_gate& g = c.gates[i];
    PyRef gate = tuple_of({small_int(g.op), small_int(g.a), small_int(g.b)});
    PyTuple_SetItem(gates.get(), i, gate.release());
  }
  PyRef output =
      c.output == opt5::circuit::kConstant ? PyRef::borrow(Py_None) : small_int(c.output);
  return tuple_of(
      {std::move(gates), std::move(output), PyRef::checked(PyBool_FromLong(c.complement))});
}

PyRef npn_canonize(std::uint64_t word) {
  const std::uint32_t w = five_input_word(word);
  opt5::npn_transform t;
  const std::uint32_t r = opt5::canonize_word(w, t, *opt5::embedded_database().table);
  PyRef perm = tuple_of({small_int(t.permutation[0]), small_int(t.permutation[1]),
                         small_int(t.permutation[2]), small_int(t.permutation[3]),
                         small_int(t.permutation[4])});
  return tuple_of({PyRef::checked(PyLong_FromUnsignedLong(r)), std::move(perm),
                   small_int(t.input_complement),
                   PyRef::checked(PyBool_FromLong(t.output_complement))});
}

std::uint32_t apply_transform(std::uint64_t word, std::vector<std::uint64_t> permutation,
                              std::uint64_t input_complement, std::uint64_t output_complement) {
  const std::uint32_t w = five_input_word(word);
  opt5::npn_transform t{};
  unsigned seen = 0;
  if (permutation.size() == 5)
    for (unsigned i = 0; i < 5; ++i) {
      if (permutation[i] < 5) seen |= 1u << permutation[i];
      t.permutation[i] = static_cast<std::uint8_t>(permutation[i] < 5 ? permutation[i] : 0);
    }
  if (seen != 31u) throw varnel::ValueError("the permutation must hold each of 0, 1, 2, 3, 4 once");
  if (input_complement > 31u)
    throw varnel::ValueError("the input-complement mask is a 5-bit number, not " +
                             std::to_string(input_complement));
  if (output_complement > 1u)
    throw varnel::ValueError("the output complement is 0 or 1, not " +
                             std::to_string(output_complement));
  t.input_complement = static_cast<std::uint8_t>(input_complement);
  t.output_complement = static_cast<std::uint8_t>(output_complement);
  return opt5::apply_transform(w, t);
}

}  // namespace varnelkit::native
