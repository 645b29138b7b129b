#include "errors.hpp"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>

#include "interrupt.hpp"

namespace varnel::py {

namespace {

constexpr const char* kPanicDoc =
    "The exception raised when the native code called from Python fails.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.";

// Created at the first internal failure and kept for the life of the process.
// The interpreter lock serialises every access.
PyObject* g_panic_type = nullptr;

void report(const char* message, const varnel::SourceLocation* where) noexcept {
  char name[64] = "<unnamed>";
  pthread_getname_np(pthread_self(), name, sizeof name);
  if (where != nullptr) {
    std::fprintf(stderr, "thread '%s' panicked at %s:%u:%u:\n%s\n", name, where->file_name(),
                 static_cast<unsigned>(where->line()), static_cast<unsigned>(where->column()),
                 message);
  } else {
    std::fprintf(stderr, "thread '%s' panicked:\n%s\n", name, message);
  }
  std::fflush(stderr);
}

[[noreturn]] void uncaught() noexcept {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace

void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw ErrorAlreadySet{};
}

PyObject* panic_exception_type() {
  if (g_panic_type == nullptr) {
    g_panic_type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicDoc,
                                             PyExc_BaseException, nullptr);
  }
  return g_panic_type;
}

void set_panic(const char* message, const varnel::SourceLocation* where) noexcept {
  report(message, where);
  PyObject* type = panic_exception_type();
  if (type == nullptr) uncaught();
  PyRef text = PyRef::steal(PyUnicode_FromString(message));
  if (!text) uncaught();
  PyRef args = PyRef::steal(PyTuple_Pack(1, text.get()));
  if (!args) uncaught();
  PyErr_SetObject(type, args.get());
}

void translate_current_exception() noexcept {
  try {
    throw;
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) set_panic("error indicator lost", nullptr);
  } catch (const varnel::interrupt::Interrupted&) {
    // The interrupt check stopped the operation; the signal handler's error
    // (KeyboardInterrupt for Ctrl-C) is already set.
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
  } catch (const varnel::Panic& e) {
    set_panic(e.what(), &e.where());
  } catch (const varnel::IndexError& e) {
    PyErr_SetString(PyExc_IndexError, e.what());
  } catch (const varnel::ValueError& e) {
    PyErr_SetString(PyExc_ValueError, e.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    // A container asked for more elements than it can ever hold: memory, too.
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    set_panic(e.what(), nullptr);
  } catch (...) {
    set_panic("unknown internal failure", nullptr);
  }
}

}  // namespace varnel::py
