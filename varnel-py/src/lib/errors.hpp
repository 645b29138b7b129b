// Turning failures into Python exceptions.
//
// Every entry point runs its body inside `guard`: a C++ exception never crosses
// into the interpreter. Internal failures (varnel::Panic and any unexpected C++
// exception) are reported on standard error and raised as PanicException, the
// module's BaseException subclass created on first use.
#pragma once

#include <exception>
#include <new>
#include <source_location>
#include <stdexcept>
#include <string>

#include "error.hpp"
#include "pyref.hpp"

namespace varnel::py {

/// Sets a Python exception of `type` with `message` and throws ErrorAlreadySet.
[[noreturn]] void raise(PyObject* type, const std::string& message);

/// The class PanicException (qualified name "pyo3_runtime.PanicException"),
/// created once per process on first use; a borrowed reference, or NULL with
/// a Python error set when creating it failed.
PyObject* panic_exception_type();

/// Reports an internal failure on standard error and sets PanicException with
/// `message`. `where` may be null when the location is not known.
void set_panic(const char* message, const varnel::SourceLocation* where) noexcept;

/// Sets the Python error that matches the C++ exception being handled.
void translate_current_exception() noexcept;

/// Runs `body`, which returns a new reference, and turns any failure into a
/// Python exception and a NULL result.
template <class Body>
PyObject* guard(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    translate_current_exception();
    return nullptr;
  }
}

}  // namespace varnel::py
