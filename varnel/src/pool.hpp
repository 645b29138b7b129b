// The process-wide worker pool on which the heavy measures run their loops.
//
// Created on first use with one worker per processor available to the process
// (its affinity mask), or the count given by RAYON_NUM_THREADS, else
// RAYON_RS_NUM_CPUS (a positive decimal number). Workers sleep on a condition
// variable while idle and never touch Python objects. The pool survives fork:
// a child process forked after the parent used it builds a fresh pool on its
// first parallel loop. A parallel loop started from inside a worker runs
// inline on that worker.
//
// Failures thrown by a body are caught on the worker and rethrown on the
// calling thread once every participant has finished.
//
// When the system refuses to start a worker (thread or process limits, no
// address space for its stack), the pool keeps the workers that started and
// runs with fewer threads, down to the calling thread alone.
//
// Stopping early (interrupt.hpp): parallel_for passes a checkpoint before
// every chunk on every participant, and the calling thread runs the interrupt
// check every few milliseconds while it waits for the workers, so a loop on
// the pool stops within one chunk's time of a request.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace varnel::pool {

/// Number of threads a parallel loop uses (the calling thread included).
unsigned num_threads();

/// Runs body(p) for p = 0 .. participants - 1, one call per thread, the caller
/// taking p = 0; returns when all calls have returned. participants is capped
/// at num_threads(). While the pool runs another thread's loop, the calls run
/// one after another on the calling thread instead.
void run(unsigned participants, const std::function<void(unsigned)>& body);

/// Calls body(begin, end) over consecutive chunks of [0, n) of `grain` indices
/// (the last may be shorter), spread dynamically over the pool's threads.
void parallel_for(std::uint64_t n, std::uint64_t grain,
                  const std::function<void(std::uint64_t, std::uint64_t)>& body);

/// Maps each chunk [begin, end) of [0, n) (chunks of `grain` indices, fixed by
/// n and grain alone) to a value and joins the values in a fixed binary tree
/// over chunk order (left half joined with right half), so the result does not
/// depend on the number of threads or on timing. n = 0 gives `identity`.
template <class T, class Map, class Join>
T parallel_reduce(std::uint64_t n, std::uint64_t grain, T identity, Map&& map, Join&& join) {
  if (n == 0) return identity;
  if (grain == 0) grain = 1;
  const std::uint64_t chunks = (n + grain - 1) / grain;
  std::vector<T> partial(chunks, identity);
  parallel_for(chunks, 1, [&](std::uint64_t c0, std::uint64_t c1) {
    for (std::uint64_t c = c0; c < c1; ++c) {
      const std::uint64_t begin = c * grain;
      const std::uint64_t end = begin + grain < n ? begin + grain : n;
      partial[c] = map(begin, end);
    }
  });
  std::function<T(std::uint64_t, std::uint64_t)> tree = [&](std::uint64_t lo,
                                                            std::uint64_t hi) -> T {
    if (hi - lo == 1) return partial[lo];
    const std::uint64_t mid = lo + (hi - lo) / 2;
    return join(tree(lo, mid), tree(mid, hi));
  };
  return tree(0, chunks);
}

namespace testing {

/// Replaces the process's pool (stopping and joining the old workers) by a
/// new one of `threads` threads in which only the first `startable_workers`
/// worker starts succeed; the later ones fail as a refused thread does.
void rebuild(unsigned threads, unsigned startable_workers);

}  // namespace testing

}  // namespace varnel::pool
