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

#if defined(__cpp_lib_source_location)
using SourceLocation = std::source_location;
#else
/// Where std::source_location is missing (clang before 15 with GCC's library,
/// which the fuzzing build uses): the same interface from the builtins.
struct SourceLocation {
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          unsigned line = __builtin_LINE(),
                                          unsigned column = __builtin_COLUMN()) noexcept {
    SourceLocation where;
    where.file_ = file;
    where.line_ = line;
    where.column_ = column;
    return where;
  }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr unsigned line() const noexcept { return line_; }
  constexpr unsigned column() const noexcept { return column_; }

 private:
  const char* file_ = "";
  unsigned line_ = 0;
  unsigned column_ = 0;
};
#endif

/// An unrecoverable failure of an operation, carrying its message and the
/// source location where it was raised.
class Panic : public std::exception {
 public:
  explicit Panic(std::string message, SourceLocation where = SourceLocation::current())
      : message_(std::move(message)), where_(where) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const SourceLocation& where() const noexcept { return where_; }

 private:
  std::string message_;
  SourceLocation where_;
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
                               SourceLocation where = SourceLocation::current()) {
  throw Panic(std::move(message), where);
}

}  // namespace varnel
