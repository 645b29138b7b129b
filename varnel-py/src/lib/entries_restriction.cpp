// Entries of the restriction table and restriction counting.
#include "bit_unpack.hpp"
#include "entries.hpp"
#include "error.hpp"
#include "numpy_array.hpp"
#include "restriction.hpp"

namespace varnel::py::entries {

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

std::uint64_t information(const FValue& f, std::vector<std::uint64_t> vars) {
  return count_forms_by_multiple_fixed(f, vars);
}

float fragmentation_coefficient(const FValue& f, std::vector<std::uint64_t> vars) {
  return set_entropy(f, vars);
}

}  // namespace varnel::py::entries
