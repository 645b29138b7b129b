// Taking Python arguments in: binding them to parameter names, then
// converting each one to its C++ type.
//
// Binding follows the method's parameter list: positionals in order, then
// keywords by name, every parameter required. Conversion failures that are
// TypeErrors are re-raised as "argument '<name>': <message>"; other errors
// (OverflowError from integer conversion) pass unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pyref.hpp"

namespace varnel::py {

/// The name of a callable as used in binding messages ("Varnel.eval()") and its
/// parameter names.
struct Signature {
  const char* full_name;
  std::span<const char* const> params;
};

/// Binds fast-call arguments (`nargs` positionals, then one value per name in
/// `kwnames`) into `out`, one borrowed object per parameter.
void bind_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** out);

/// Binds tuple-and-dictionary arguments (the constructor's convention) into `out`.
void bind_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

/// A sequence of Booleans, bit-packed: entry i at bit (i & 63) of word (i >> 6).
struct BoolSequence {
  std::vector<std::uint64_t> words;
  std::uint64_t length = 0;
};

/// A read-only view of a bytes object's contents; valid while the argument lives.
struct BytesView {
  std::span<const std::uint8_t> data;
  operator std::span<const std::uint8_t>() const noexcept { return data; }
};

/// A C-contiguous buffer of an argument (any object with the buffer protocol,
/// such as a NumPy array, bytes or a bytearray), held from conversion until
/// the value is destroyed. Move-only.
class BufferView {
 public:
  BufferView() noexcept = default;
  /// Requests the buffer of `obj`, writable when `writable`; throws
  /// ErrorAlreadySet (a TypeError or BufferError from the object).
  BufferView(PyObject* obj, bool writable);
  BufferView(BufferView&& other) noexcept;
  BufferView& operator=(BufferView&& other) noexcept;
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;
  ~BufferView();

  /// The buffer's bytes (empty when nothing is held).
  std::span<std::uint8_t> bytes() const noexcept;
  /// The size of one item in bytes (1 for untyped buffers).
  std::size_t itemsize() const noexcept;

 private:
  void release() noexcept;
  Py_buffer view_{};
  bool held_ = false;
};

/// A buffer argument that is only read.
struct ReadBuffer {
  BufferView view;
  std::span<const std::uint8_t> bytes() const noexcept { return view.bytes(); }
};

/// A buffer argument that is written to (TypeError when its exporter does not
/// allow writing).
struct WriteBuffer {
  BufferView view;
  std::span<std::uint8_t> bytes() const noexcept { return view.bytes(); }
};

/// Conversion of one argument object to a C++ value; throws ErrorAlreadySet.
template <class T>
struct FromPy;

template <>
struct FromPy<std::uint64_t> {
  static std::uint64_t convert(PyObject* obj);
};

template <>
struct FromPy<std::vector<std::uint64_t>> {
  static std::vector<std::uint64_t> convert(PyObject* obj);
};

template <>
struct FromPy<BoolSequence> {
  static BoolSequence convert(PyObject* obj);
};

template <>
struct FromPy<BytesView> {
  static BytesView convert(PyObject* obj);
};

template <>
struct FromPy<ReadBuffer> {
  static ReadBuffer convert(PyObject* obj);
};

template <>
struct FromPy<WriteBuffer> {
  static WriteBuffer convert(PyObject* obj);
};

/// Re-raises the pending Python error as "argument '<name>': ..." when its type
/// is exactly TypeError, keeping its cause; then throws ErrorAlreadySet.
[[noreturn]] void rethrow_for_argument(const char* name);

/// Converts the argument of parameter `name`.
template <class T>
T convert_argument(PyObject* obj, const char* name) {
  try {
    return FromPy<T>::convert(obj);
  } catch (const ErrorAlreadySet&) {
    rethrow_for_argument(name);
  }
}

/// The qualified name of obj's type, for messages.
std::string type_qualname(PyObject* obj);

}  // namespace varnel::py
