#include "args.hpp"

#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "errors.hpp"

namespace varnel::py {

namespace {

std::string utf8(PyObject* str) {
  Py_ssize_t len = 0;
  const char* s = PyUnicode_AsUTF8AndSize(str, &len);
  if (s == nullptr) throw ErrorAlreadySet{};
  return std::string(s, static_cast<std::size_t>(len));
}

std::string quoted_list(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() == 2) {
        out += " and ";
      } else {
        out += i + 1 == names.size() ? ", and " : ", ";
      }
    }
    out += "'" + names[i] + "'";
  }
  return out;
}

[[noreturn]] void type_error(const std::string& message) { raise(PyExc_TypeError, message); }

void place_keyword(const Signature& sig, PyObject* name, PyObject* value, PyObject** out) {
  if (!PyUnicode_Check(name)) type_error(std::string(sig.full_name) + " keywords must be strings");
  for (std::size_t p = 0; p < sig.params.size(); ++p) {
    if (PyUnicode_CompareWithASCIIString(name, sig.params[p]) == 0) {
      if (out[p] != nullptr) {
        type_error(std::string(sig.full_name) + " got multiple values for argument '" +
                   sig.params[p] + "'");
      }
      out[p] = value;
      return;
    }
  }
  // Formatted from the str object itself: a name that UTF-8 cannot encode (a
  // lone surrogate) still gives this TypeError.
  PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", sig.full_name, name);
  throw ErrorAlreadySet{};
}

void place_positionals(const Signature& sig, Py_ssize_t nargs, PyObject** out, auto&& positional) {
  const auto nparams = static_cast<Py_ssize_t>(sig.params.size());
  if (nargs > nparams) {
    type_error(std::string(sig.full_name) + " takes " + std::to_string(nparams) +
               " positional arguments but " + std::to_string(nargs) +
               (nargs == 1 ? " was" : " were") + " given");
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = positional(i);
}

void check_missing(const Signature& sig, PyObject** out) {
  std::vector<std::string> missing;
  for (std::size_t p = 0; p < sig.params.size(); ++p) {
    if (out[p] == nullptr) missing.emplace_back(sig.params[p]);
  }
  if (missing.empty()) return;
  type_error(std::string(sig.full_name) + " missing " + std::to_string(missing.size()) +
             " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": " +
             quoted_list(missing));
}

[[noreturn]] void cannot_convert(PyObject* obj, const char* target) {
  type_error("'" + type_qualname(obj) + "' object cannot be converted to '" + target + "'");
}

void check_sequence(PyObject* obj) {
  if (PyUnicode_Check(obj)) type_error("Can't extract `str` to `Vec`");
  if (!PySequence_Check(obj)) cannot_convert(obj, "Sequence");
}

// Calls `item(obj_i)` for each item of a sequence, by index for exact lists and
// tuples and by iteration otherwise.
// A list may change while its items are converted (an item's __index__ can
// mutate it), so each item is held while it is converted and the length is
// read again at every step.
template <class Item>
void for_each_item(PyObject* seq, Item&& item) {
  if (PyList_CheckExact(seq)) {
    for (Py_ssize_t i = 0; i < PyList_Size(seq); ++i) {
      PyRef held = PyRef::borrow(PyList_GetItem(seq, i));
      item(held.get());
    }
    return;
  }
  if (PyTuple_CheckExact(seq)) {
    const Py_ssize_t n = PyTuple_Size(seq);
    for (Py_ssize_t i = 0; i < n; ++i) item(PyTuple_GetItem(seq, i));
    return;
  }
  PyRef iter = PyRef::checked(PyObject_GetIter(seq));
  while (true) {
    PyRef next = PyRef::steal(PyIter_Next(iter.get()));
    if (!next) {
      if (PyErr_Occurred()) throw ErrorAlreadySet{};
      return;
    }
    item(next.get());
  }
}

// The number of items to reserve room for up front. The length of an exact
// list or tuple is known; any other sequence's length is only a hint (its
// __len__ may fail or lie), so that reservation is capped and the vector grows
// as items arrive. A failing length counts as 0.
std::size_t size_hint(PyObject* seq) {
  constexpr Py_ssize_t kMaxReserved = Py_ssize_t{1} << 16;
  if (PyList_CheckExact(seq) || PyTuple_CheckExact(seq)) {
    return static_cast<std::size_t>(PySequence_Size(seq));
  }
  const Py_ssize_t n = PySequence_Size(seq);
  if (n < 0) {
    PyErr_Clear();
    return 0;
  }
  return static_cast<std::size_t>(n < kMaxReserved ? n : kMaxReserved);
}

// A NumPy Boolean scalar: its type lives in module "numpy" and is named
// "bool_" (NumPy 1.x) or "bool" (NumPy 2.x).
bool is_numpy_bool(PyObject* obj) {
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
  PyRef module = PyRef::steal(PyObject_GetAttrString(type, "__module__"));
  if (!module) {
    PyErr_Clear();
    return false;
  }
  if (!PyUnicode_Check(module.get()) ||
      PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) {
    return false;
  }
  PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(obj)));
  if (!name) {
    PyErr_Clear();
    return false;
  }
  return PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
         PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0;
}

bool to_bool(PyObject* obj) {
  if (obj == Py_True) return true;
  if (obj == Py_False) return false;
  if (!is_numpy_bool(obj)) cannot_convert(obj, "PyBool");
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
  PyRef method = PyRef::steal(PyObject_GetAttrString(type, "__bool__"));
  if (!method) {
    PyErr_Clear();
    PyRef name = PyRef::checked(PyType_GetName(Py_TYPE(obj)));
    type_error("object of type '" + utf8(name.get()) + "' does not define a '__bool__' conversion");
  }
  PyRef result = PyRef::checked(PyObject_CallFunctionObjArgs(method.get(), obj, nullptr));
  if (result.get() == Py_True) return true;
  if (result.get() == Py_False) return false;
  cannot_convert(result.get(), "PyBool");
}

// A contiguous one-dimensional buffer of C booleans (format "?"), such as a
// NumPy Boolean array: its items are Boolean scalars, read here in one pass.
bool try_bool_buffer(PyObject* obj, BoolSequence& out) {
  if (!PyObject_CheckBuffer(obj)) return false;
  Py_buffer view;
  if (PyObject_GetBuffer(obj, &view, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS | PyBUF_ND) < 0) {
    PyErr_Clear();
    return false;
  }
  struct Release {
    Py_buffer* v;
    ~Release() { PyBuffer_Release(v); }
  } release{&view};
  if (view.ndim != 1 || view.itemsize != 1 || view.format == nullptr ||
      std::strcmp(view.format, "?") != 0) {
    return false;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(view.buf);
  const auto length = static_cast<std::uint64_t>(view.len);
  out.length = length;
  out.words.assign((length + 63) / 64, 0);
  for (std::uint64_t i = 0; i < length; ++i) {
    out.words[i >> 6] |= std::uint64_t{bytes[i] != 0} << (i & 63);
  }
  return true;
}

}  // namespace

std::string type_qualname(PyObject* obj) {
  PyRef name = PyRef::steal(PyType_GetQualName(Py_TYPE(obj)));
  if (!name) {
    PyErr_Clear();
    return "?";
  }
  return utf8(name.get());
}

void bind_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** out) {
  for (std::size_t p = 0; p < sig.params.size(); ++p) out[p] = nullptr;
  place_positionals(sig, nargs, out, [&](Py_ssize_t i) { return args[i]; });
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      place_keyword(sig, PyTuple_GetItem(kwnames, k), args[nargs + k], out);
    }
  }
  check_missing(sig, out);
}

void bind_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
  for (std::size_t p = 0; p < sig.params.size(); ++p) out[p] = nullptr;
  place_positionals(sig, PyTuple_Size(args), out,
                    [&](Py_ssize_t i) { return PyTuple_GetItem(args, i); });
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) place_keyword(sig, key, value, out);
  }
  check_missing(sig, out);
}

std::uint64_t FromPy<std::uint64_t>::convert(PyObject* obj) {
  unsigned long long value = 0;
  if (PyLong_Check(obj)) {
    value = PyLong_AsUnsignedLongLong(obj);
  } else {
    PyRef index = PyRef::checked(PyNumber_Index(obj));
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw ErrorAlreadySet{};
  return value;
}

std::vector<std::uint64_t> FromPy<std::vector<std::uint64_t>>::convert(PyObject* obj) {
  check_sequence(obj);
  std::vector<std::uint64_t> out;
  out.reserve(size_hint(obj));
  for_each_item(obj, [&](PyObject* item) { out.push_back(FromPy<std::uint64_t>::convert(item)); });
  return out;
}

BoolSequence FromPy<BoolSequence>::convert(PyObject* obj) {
  check_sequence(obj);
  BoolSequence out;
  if (try_bool_buffer(obj, out)) return out;
  out.words.reserve((size_hint(obj) + 63) / 64);
  for_each_item(obj, [&](PyObject* item) {
    const bool bit = to_bool(item);
    if ((out.length & 63) == 0) out.words.push_back(0);
    out.words.back() |= std::uint64_t{bit} << (out.length & 63);
    ++out.length;
  });
  return out;
}

BytesView FromPy<BytesView>::convert(PyObject* obj) {
  if (!PyBytes_Check(obj)) cannot_convert(obj, "PyBytes");
  char* data = nullptr;
  Py_ssize_t len = 0;
  check_status(PyBytes_AsStringAndSize(obj, &data, &len));
  return BytesView{{reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(len)}};
}

BufferView::BufferView(PyObject* obj, bool writable) {
  if (!PyObject_CheckBuffer(obj)) cannot_convert(obj, "buffer");
  const int flags = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT | (writable ? PyBUF_WRITABLE : 0);
  check_status(PyObject_GetBuffer(obj, &view_, flags));
  held_ = true;
}

BufferView::BufferView(BufferView&& other) noexcept
    : view_(other.view_), held_(std::exchange(other.held_, false)) {}

BufferView& BufferView::operator=(BufferView&& other) noexcept {
  if (this != &other) {
    release();
    view_ = other.view_;
    held_ = std::exchange(other.held_, false);
  }
  return *this;
}

BufferView::~BufferView() { release(); }

void BufferView::release() noexcept {
  if (held_) PyBuffer_Release(&view_);
  held_ = false;
}

std::span<std::uint8_t> BufferView::bytes() const noexcept {
  if (!held_) return {};
  return {static_cast<std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
}

std::size_t BufferView::itemsize() const noexcept {
  return held_ ? static_cast<std::size_t>(view_.itemsize) : 1;
}

ReadBuffer FromPy<ReadBuffer>::convert(PyObject* obj) { return ReadBuffer{BufferView(obj, false)}; }

WriteBuffer FromPy<WriteBuffer>::convert(PyObject* obj) {
  return WriteBuffer{BufferView(obj, true)};
}

void rethrow_for_argument(const char* name) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyRef owned_type = PyRef::steal(type);
  PyRef owned_value = PyRef::steal(value);
  PyRef owned_tb = PyRef::steal(traceback);
  if (type != PyExc_TypeError) {
    PyErr_Restore(owned_type.release(), owned_value.release(), owned_tb.release());
    throw ErrorAlreadySet{};
  }
  // Normalisation takes over the three references and may replace them.
  owned_type.release();
  owned_value.release();
  owned_tb.release();
  PyErr_NormalizeException(&type, &value, &traceback);
  owned_type = PyRef::steal(type);
  owned_value = PyRef::steal(value);
  owned_tb = PyRef::steal(traceback);
  std::string message;
  if (value != nullptr) {
    PyRef text = PyRef::steal(PyObject_Str(value));
    if (text) {
      message = utf8(text.get());
    } else {
      PyErr_Clear();
    }
  }
  PyRef wrapped = PyRef::checked(PyObject_CallFunction(
      PyExc_TypeError, "s", ("argument '" + std::string(name) + "': " + message).c_str()));
  if (value != nullptr) {
    if (PyObject* cause = PyException_GetCause(value)) PyException_SetCause(wrapped.get(), cause);
  }
  PyErr_SetObject(PyExc_TypeError, wrapped.get());
  throw ErrorAlreadySet{};
}

}  // namespace varnel::py
