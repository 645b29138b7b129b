#include "numpy_array.hpp"

#include <string>

#include "error.hpp"

namespace varnel::py::numpy {

namespace {

// Positions in NumPy's C API table. They are part of NumPy's ABI and are the
// same in 1.x and 2.x.
constexpr int kGetNDArrayCVersion = 0;
constexpr int kArrayType = 2;
constexpr int kArrayNew = 93;
constexpr int kTypeBool = 0;  // NPY_BOOL

using npy_intp = Py_ssize_t;
using GetVersionFn = unsigned (*)();
using ArrayNewFn = PyObject* (*)(PyTypeObject*, int, const npy_intp*, int, const npy_intp*, void*,
                                 int, int, PyObject*);

// The API table, and the capsule that owns it; set once under the
// interpreter lock and never released.
void** g_api = nullptr;
PyObject* g_capsule = nullptr;

// The pending Python error's text, cleared.
std::string take_error_text() {
  PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
  PyErr_Fetch(&type, &value, &trace);
  PyRef t = PyRef::steal(type), v = PyRef::steal(value), tb = PyRef::steal(trace);
  if (!v) return t ? "unknown error" : "no error";
  PyRef text = PyRef::steal(PyObject_Str(v.get()));
  const char* s = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
  PyErr_Clear();
  return s != nullptr ? s : "unprintable error";
}

[[noreturn]] void fail(const std::string& why) {
  panic("Failed to access NumPy array API capsule: " + why);
}

PyRef import_or_fail(const char* name) {
  PyRef module = PyRef::steal(PyImport_ImportModule(name));
  if (!module) fail(std::string("cannot import ") + name + ": " + take_error_text());
  return module;
}

// The major version of the installed NumPy, from numpy.__version__.
long numpy_major() {
  PyRef numpy = import_or_fail("numpy");
  PyRef version = PyRef::steal(PyObject_GetAttrString(numpy.get(), "__version__"));
  const char* text = version ? PyUnicode_AsUTF8AndSize(version.get(), nullptr) : nullptr;
  if (text == nullptr) fail("cannot read numpy.__version__: " + take_error_text());
  long major = 0;
  const char* p = text;
  for (; *p >= '0' && *p <= '9'; ++p) major = major * 10 + (*p - '0');
  if (p == text) fail(std::string("unrecognised numpy.__version__ '") + text + "'");
  return major;
}

void** api() {
  if (g_api != nullptr) return g_api;
  const char* name = numpy_major() >= 2 ? "numpy._core.multiarray" : "numpy.core.multiarray";
  PyRef module = import_or_fail(name);
  PyRef capsule = PyRef::steal(PyObject_GetAttrString(module.get(), "_ARRAY_API"));
  if (!capsule) fail(std::string(name) + "._ARRAY_API: " + take_error_text());
  void* table = PyCapsule_GetPointer(capsule.get(), nullptr);
  if (table == nullptr)
    fail(std::string(name) + "._ARRAY_API is not a capsule: " + take_error_text());
  void** entries = static_cast<void**>(table);
  // The table layout this code relies on is that of ABI versions 1 and 2.
  const unsigned abi = reinterpret_cast<GetVersionFn>(entries[kGetNDArrayCVersion])();
  if ((abi >> 24) != 1 && (abi >> 24) != 2) {
    fail("unsupported NumPy ABI version " + std::to_string(abi));
  }
  g_capsule = capsule.release();
  g_api = entries;
  return g_api;
}

}  // namespace

PyRef new_bool_matrix(std::uint64_t rows, std::uint64_t cols) {
  void** table = api();
  const npy_intp dims[2] = {static_cast<npy_intp>(rows), static_cast<npy_intp>(cols)};
  auto* array_type = static_cast<PyTypeObject*>(table[kArrayType]);
  auto array_new = reinterpret_cast<ArrayNewFn>(table[kArrayNew]);
  return PyRef::checked(array_new(array_type, 2, dims, kTypeBool, nullptr, nullptr, 0, 0, nullptr));
}

WritableBytes::WritableBytes(PyObject* array) {
  check_status(PyObject_GetBuffer(array, &view_, PyBUF_WRITABLE));
  bytes_ = std::span<std::uint8_t>(static_cast<std::uint8_t*>(view_.buf),
                                   static_cast<std::size_t>(view_.len));
}

WritableBytes::~WritableBytes() { PyBuffer_Release(&view_); }

}  // namespace varnel::py::numpy
