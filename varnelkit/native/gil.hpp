// Releasing the interpreter lock around native work that touches no Python
// object: the lock is taken back when the scope ends, on every path.
#pragma once

#include "python.hpp"

namespace varnelkit::native {

class ReleasedGil {
 public:
  ReleasedGil() noexcept : state_(PyEval_SaveThread()) {}
  ~ReleasedGil() { PyEval_RestoreThread(state_); }
  ReleasedGil(const ReleasedGil&) = delete;
  ReleasedGil& operator=(const ReleasedGil&) = delete;

 private:
  PyThreadState* state_;
};

}  // namespace varnelkit::native
