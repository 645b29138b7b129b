// The borrow flag of a Python object that owns native data: a count of shared
// borrows, or kExclusive while the object is lent out exclusively. Changed only
// by atomic operations; refusals raise RuntimeError.
#pragma once

#include <atomic>
#include <cstdint>

#include "errors.hpp"

namespace varnel::py {

using BorrowFlag = std::atomic<std::intptr_t>;
inline constexpr std::intptr_t kExclusive = -1;

/// Holds a shared borrow for its lifetime.
class SharedBorrow {
 public:
  explicit SharedBorrow(BorrowFlag& flag) : flag_(flag) {
    std::intptr_t current = flag_.load(std::memory_order_relaxed);
    do {
      if (current == kExclusive) raise(PyExc_RuntimeError, "Already mutably borrowed");
    } while (!flag_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                          std::memory_order_relaxed));
  }
  ~SharedBorrow() { flag_.fetch_sub(1, std::memory_order_release); }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

/// Holds an exclusive borrow for its lifetime.
class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag) {
    std::intptr_t expected = 0;
    if (!flag_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
      raise(PyExc_RuntimeError, "Already borrowed");
    }
  }
  ~ExclusiveBorrow() { flag_.store(0, std::memory_order_release); }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

}  // namespace varnel::py
