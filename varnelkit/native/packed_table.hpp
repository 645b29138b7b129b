// Packed tables as they arrive from Python: a buffer of little-endian 64-bit
// words (entry i at bit i mod 64 of word i div 64) and the number of
// variables, checked and copied into the core's table value.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "args.hpp"
#include "fvalue.hpp"
#include "to_py.hpp"

namespace varnelkit::native {

/// The largest number of variables of a packed table.
inline constexpr std::uint64_t kMaxPackedVars = 40;

/// The table of n variables held by `buffer` (at least max(1, 2^n / 64)
/// words; extra words and padding bits are ignored). A short buffer or too
/// many variables is a ValueError.
varnel::FValue unpack_table(const varnel::py::ReadBuffer& buffer, std::uint64_t n);

/// The writable buffer `out` as 2^n 64-bit integers; any other size or item
/// size is a ValueError.
std::span<std::int64_t> int64_output(const varnel::py::WriteBuffer& out, std::uint64_t n);

/// The writable buffer `out` as the max(1, 2^n / 64) words of a packed table.
std::span<std::uint64_t> words_output(const varnel::py::WriteBuffer& out, std::uint64_t n);

/// A result with nothing to say: None.
struct NoResult {};

/// Unsigned counts, handed back as a list of int.
struct Counts {
  std::vector<std::uint64_t> values;
};

}  // namespace varnelkit::native

namespace varnel::py {

template <>
struct ToPy<varnelkit::native::NoResult> {
  static PyRef convert(varnelkit::native::NoResult) { return PyRef::borrow(Py_None); }
};

template <>
struct ToPy<varnelkit::native::Counts> {
  static PyRef convert(const varnelkit::native::Counts& c) {
    PyRef list = PyRef::checked(PyList_New(static_cast<Py_ssize_t>(c.values.size())));
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      PyObject* item = PyLong_FromUnsignedLongLong(c.values[i]);
      if (item == nullptr) throw ErrorAlreadySet{};
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list;
  }
};

}  // namespace varnel::py
