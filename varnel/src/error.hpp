// Failures of the truth-table core and the measures.
//
// Three kinds reach Python as ordinary exceptions (IndexError, ValueError);
// everything else is an internal failure (`Panic`) that the binding turns into
// PanicException after writing a short report to standard error.
// std::bad_alloc and std::length_error from the allocator become MemoryError.
#pragma once

#include <source_location>
#include <stdexcept>
#include <string>

namespace varnel {

/// An unrecoverable failure of an operation, carrying its message and the
/// source location where it was raised.
class Panic : public std::exception {
 public:
  explicit Panic(std::string message,
                 std::source_location where = std::source_location::current())
      : message_(std::move(message)), where_(where) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::source_location& where() const noexcept { return where_; }

 private:
  std::string message_;
  std::source_location where_;
};

/// Raised as IndexError at the Python boundary.
class IndexError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// Raised as ValueError at the Python boundary.
class ValueError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// Throws an internal failure with `message`.
[[noreturn]] inline void panic(std::string message,
                               std::source_location where = std::source_location::current()) {
  throw Panic(std::move(message), where);
}

}  // namespace varnel
