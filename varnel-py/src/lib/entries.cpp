#include "entries.hpp"

#include <string>

#include "bit_unpack.hpp"
#include "encoding.hpp"
#include "error.hpp"
#include "metrics/frontier.hpp"
#include "numpy_array.hpp"
#include "optimal5.hpp"
#include "restriction.hpp"

namespace varnel::py::entries {

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
  PyRef bytes = PyRef::checked(
      PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(varnel::encoded_size(f))));
  char* out = PyBytes_AsString(bytes.get());
  if (out == nullptr) throw ErrorAlreadySet{};
  varnel::encode_into(f, reinterpret_cast<std::uint8_t*>(out));
  return bytes;
}

PyRef table(const FValue& f, std::vector<std::uint64_t> vars) {
  // Shape failures come first, before NumPy is needed or any work is done.
  const BitMatrix matrix = restriction_table(f, vars);
  PyRef array = numpy::new_bool_matrix(matrix.rows(), matrix.cols());
  const numpy::WritableBytes out(array.get());
  const std::uint64_t count = matrix.rows() * matrix.cols();
  if (out.bytes().size() != count) panic("NumPy array of unexpected size");
  unpack_bits(matrix.words(), count, out.bytes().data());
  return array;
}

std::uint64_t frontier_size(VarnelData& data) {
  return varnel::frontier_size(data.frontier, data.table);
}

std::uint64_t max_frontier_size(VarnelData& data) { return varnel::max_frontier_size(data.table); }

std::optional<FValue> npn_representant(const FValue& f) {
  const std::optional<std::uint32_t> r = varnel::npn_representant(f);
  if (!r) return std::nullopt;
  return varnel::unpack_library_word(*r);
}

}  // namespace varnel::py::entries
