// Handing results back: one specialisation of ToPy per result type, each
// producing a new reference. Measures that return their own record types add
// a specialisation beside their binding.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "fvalue.hpp"
#include "pyref.hpp"
#include "varnel_object.hpp"

namespace varnel::py {

template <class T>
struct ToPy;

template <>
struct ToPy<PyRef> {
  static PyRef convert(PyRef&& r) { return std::move(r); }
};

template <>
struct ToPy<bool> {
  static PyRef convert(bool v) { return PyRef::checked(PyBool_FromLong(v)); }
};

template <>
struct ToPy<std::uint64_t> {
  static PyRef convert(std::uint64_t v) { return PyRef::checked(PyLong_FromUnsignedLongLong(v)); }
};

template <>
struct ToPy<std::uint32_t> {
  static PyRef convert(std::uint32_t v) { return PyRef::checked(PyLong_FromUnsignedLongLong(v)); }
};

template <>
struct ToPy<std::optional<std::uint32_t>> {
  static PyRef convert(std::optional<std::uint32_t> v) {
    if (!v) return PyRef::borrow(Py_None);
    return ToPy<std::uint32_t>::convert(*v);
  }
};

template <>
struct ToPy<float> {
  static PyRef convert(float v) { return PyRef::checked(PyFloat_FromDouble(v)); }
};

template <>
struct ToPy<std::vector<float>> {
  static PyRef convert(const std::vector<float>& v) {
    PyRef list = PyRef::checked(PyList_New(static_cast<Py_ssize_t>(v.size())));
    for (std::size_t i = 0; i < v.size(); ++i) {
      PyObject* item = PyFloat_FromDouble(v[i]);
      if (item == nullptr) throw ErrorAlreadySet{};
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list;
  }
};

template <>
struct ToPy<std::pair<std::uint64_t, float>> {
  static PyRef convert(const std::pair<std::uint64_t, float>& v) {
    PyRef first = ToPy<std::uint64_t>::convert(v.first);
    PyRef second = ToPy<float>::convert(v.second);
    return PyRef::checked(PyTuple_Pack(2, first.get(), second.get()));
  }
};

template <>
struct ToPy<FValue> {
  static PyRef convert(FValue&& v) { return new_varnel(std::move(v)); }
};

template <>
struct ToPy<std::optional<FValue>> {
  static PyRef convert(std::optional<FValue>&& v) {
    if (!v) return PyRef::borrow(Py_None);
    return new_varnel(std::move(*v));
  }
};

/// Converts any result with a ToPy specialisation.
template <class T>
PyRef to_py(T&& value) {
  return ToPy<std::remove_cvref_t<T>>::convert(std::forward<T>(value));
}

}  // namespace varnel::py
