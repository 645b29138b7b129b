// Stopping a long operation early, when whoever called it asks to.
//
// The core knows nothing of Python. The binding installs one check function at
// start-up (it asks the interpreter whether a signal handler raised); the long
// loops call `checkpoint()` at regular points:
//
//   * on the calling thread (any thread that is not a pool worker) it runs the
//     installed check; when the check says stop, it raises the process-wide
//     stop flag and throws Interrupted;
//   * on a pool worker it only reads the stop flag and throws Interrupted once
//     it is raised, so the workers of a parallel loop leave at their next
//     checkpoint and the caller's fork-join wait returns promptly.
//
// The pool itself checks between the chunks of every parallel loop and polls
// the check while the calling thread waits for its workers, so loops on the
// pool need no checkpoints of their own unless one chunk is long. A serial loop
// that can run longer than a millisecond or so calls `checkpoint()` every few
// hundred microseconds of work, or counts its work with a `Pacer`.
//
// Interrupted travels as an ordinary C++ exception: destructors run, nothing
// half-built is published, and the binding's failure translator turns it into
// the Python error that the check left set (KeyboardInterrupt, or whatever the
// signal handler raised).
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>

namespace varnel::interrupt {

/// Thrown by checkpoint() when the operation must stop.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "interrupted"; }
};

/// The check run at the calling thread's checkpoints: true means stop. It is
/// called only on the thread that called into the core, never on a worker.
using Check = bool (*)();

/// Installs the check (null removes it). Meant to be called once, before any
/// operation runs.
void set_check(Check check) noexcept;

namespace detail {
extern std::atomic<Check> g_check;
extern std::atomic<bool> g_stop;
extern thread_local bool t_pool_worker;
[[noreturn]] void stop_now();
void run_check();
}  // namespace detail

/// A point where a long operation may stop; see the top of this file. Costs a
/// thread-local read and one or two relaxed atomic loads when nothing is asked.
inline void checkpoint() {
  if (detail::t_pool_worker) {
    if (detail::g_stop.load(std::memory_order_relaxed)) detail::stop_now();
    return;
  }
  if (detail::g_check.load(std::memory_order_relaxed) != nullptr) detail::run_check();
}

/// True once a stop has been requested for the current parallel loop.
inline bool stop_requested() noexcept { return detail::g_stop.load(std::memory_order_relaxed); }

/// For the pool: marks the current thread as a worker (its checkpoints only
/// read the stop flag).
void mark_pool_worker() noexcept;

/// For the pool: clears the stop flag when a new parallel loop starts.
void clear_stop() noexcept;

/// For the pool: runs the check on the calling thread without throwing;
/// returns true (and raises the stop flag) when it asks to stop.
bool poll_check() noexcept;

/// Calls checkpoint() once per `period` units of work reported to tick(), for
/// loops whose single steps are too short to check every time.
class Pacer {
 public:
  explicit Pacer(std::uint64_t period = std::uint64_t{1} << 16) noexcept
      : period_(period), left_(period) {}
  /// Reports `units` of work done since the last call.
  void tick(std::uint64_t units = 1) {
    if (units < left_) {
      left_ -= units;
      return;
    }
    left_ = period_;
    checkpoint();
  }

 private:
  std::uint64_t period_;
  std::uint64_t left_;
};

}  // namespace varnel::interrupt
