// PyRef: the owner of one strong Python reference. Every reference the binding
// creates is held by one of these, so references are released on every path,
// exceptions included.
#pragma once

#include <utility>

#include "python.hpp"

namespace varnel::py {

/// Thrown when a Python exception is already set and the call must return NULL.
struct ErrorAlreadySet {};

class PyRef {
 public:
  PyRef() noexcept = default;
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(p_);
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(p_); }

  /// Takes over a new reference, which may be NULL.
  static PyRef steal(PyObject* p) noexcept { return PyRef(p); }
  /// Takes over a new reference; a NULL means a Python error is set.
  static PyRef checked(PyObject* p) {
    if (p == nullptr) throw ErrorAlreadySet{};
    return PyRef(p);
  }
  /// Adds a reference to a borrowed object.
  static PyRef borrow(PyObject* p) noexcept {
    Py_XINCREF(p);
    return PyRef(p);
  }

  PyObject* get() const noexcept { return p_; }
  /// Gives up ownership: the caller now owns the reference.
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit PyRef(PyObject* p) noexcept : p_(p) {}
  PyObject* p_ = nullptr;
};

/// Throws ErrorAlreadySet when a C API call reported failure (-1).
inline void check_status(int status) {
  if (status < 0) throw ErrorAlreadySet{};
}

}  // namespace varnel::py
