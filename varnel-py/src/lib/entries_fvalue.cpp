// Entries of the truth table and its byte encoding.
#include <string>

#include "encoding.hpp"
#include "entries.hpp"
#include "error.hpp"

namespace varnel::py::entries {

FValue from_number(std::uint64_t number, std::uint64_t num_vars) {
  return varnel::from_number(number, num_vars);
}

bool eval(const FValue& f, std::uint64_t i) {
  if (i >= f.size()) throw IndexError("Index out of range: " + std::to_string(i));
  return f[i];
}

PyRef repr(const FValue& f) {
  const auto size = static_cast<Py_ssize_t>(f.size());
  PyRef list = PyRef::checked(PyList_New(size));
  const auto words = f.words();
  for (Py_ssize_t i = 0; i < size; ++i) {
    const bool bit = (words[static_cast<std::size_t>(i) >> 6] >> (i & 63)) & 1u;
    PyList_SetItem(list.get(), i, Py_NewRef(bit ? Py_True : Py_False));
  }
  return list;
}

std::uint64_t size(const FValue& f) { return f.size(); }

std::uint64_t n_vars(const FValue& f) { return f.n_vars(); }

PyRef encode(const FValue& f) {
  // Written straight into a new bytes object: no intermediate copy.
  PyRef bytes = PyRef::checked(
      PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(varnel::encoded_size(f))));
  char* out = PyBytes_AsString(bytes.get());
  if (out == nullptr) throw ErrorAlreadySet{};
  varnel::encode_into(f, reinterpret_cast<std::uint8_t*>(out));
  return bytes;
}

FValue decode(BytesView raw) { return varnel::decode(raw.data); }

}  // namespace varnel::py::entries
