// NumPy arrays from a module built against the stable ABI, without NumPy's
// headers: NumPy's C API table is read from the `_ARRAY_API` capsule of
// "numpy.core.multiarray" (NumPy 1.x) or "numpy._core.multiarray" (2.x), on
// first use, and kept for the life of the process. Arrays are created through
// the table's PyArray_New and filled through the buffer protocol.
#pragma once

#include <cstdint>
#include <span>

#include "pyref.hpp"

namespace varnel::py::numpy {

/// A new, C-ordered, uninitialised NumPy array of dtype bool and shape
/// (rows, cols). Fails with the internal failure "Failed to access NumPy
/// array API capsule: ..." when NumPy's API cannot be obtained.
PyRef new_bool_matrix(std::uint64_t rows, std::uint64_t cols);

/// Writable access to the bytes of an array, released on destruction.
class WritableBytes {
 public:
  explicit WritableBytes(PyObject* array);
  ~WritableBytes();
  WritableBytes(const WritableBytes&) = delete;
  WritableBytes& operator=(const WritableBytes&) = delete;
  std::span<std::uint8_t> bytes() const noexcept { return bytes_; }

 private:
  Py_buffer view_{};
  std::span<std::uint8_t> bytes_;
};

}  // namespace varnel::py::numpy
