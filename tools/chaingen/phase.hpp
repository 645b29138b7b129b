// A phase of the generator: a rule applied to n items, cut into chunks that
// the threads take in turn. A worker queues candidate words, each with a
// descriptor from which the rule rebuilds its chain; a candidate whose class
// is not finished is canonicalised, its chain rebuilt for the class's
// representative and checked by evaluation.
//
// Determinism: a chunk's results depend only on the chunk and on state
// frozen before it, and chunks are merged strictly in order, so the stored
// chains are the same on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "chain.hpp"
#include "moves.hpp"
#include "state.hpp"

namespace chaingen {

struct ChunkOut {
  std::vector<std::pair<std::uint32_t, Rec>> items;
  std::uint64_t cands = 0, canon = 0, built = 0, fails = 0;
};

class Worker {
 public:
  explicit Worker(const State& st) : st_(st) {}

  ChunkOut out;

  void reset() {
    out = ChunkOut{};
    local_.clear();
    seen_.clear();
    nb_ = 0;
  }

  /// Queues a candidate word with a rule descriptor.
  void push(std::uint32_t f, std::uint32_t d) {
    f ^= 0u - (f >> 31);
    st_.done.prefetch(f);
    bf_[nb_] = f;
    bd_[nb_] = d;
    ++nb_;
  }
  bool room(int need) const { return nb_ + need <= kSinkCapacity; }

  /// Takes the queued candidates; build(d) returns the working chain of the
  /// candidate queued with descriptor d.
  template <class Build>
  void flush(Build&& build) {
    out.cands += static_cast<std::uint64_t>(nb_);
    for (int i = 0; i < nb_; ++i) {
      std::uint32_t f = bf_[i];
      if (st_.done.test(f)) continue;
      ++out.canon;
      std::uint32_t rep = st_.canon.canon(f);
      int& nv = local_[rep];
      if (nv >= st_.keep) continue;
      Xform xf;
      st_.canon.canon(f, xf);
      GChain g = build(bd_[i]);
      ++out.built;
      Rec rec;
      if (!verified(g.transformed(xf), rep, rec)) {
        ++out.fails;
        continue;
      }
      if (!seen_.insert(chain_key(rep, rec))) continue;
      ++nv;
      out.items.emplace_back(rep, rec);
    }
    nb_ = 0;
  }

 private:
  /// Finishes t into rec; true when the record computes rep.
  static bool verified(const GChain& t, std::uint32_t rep, Rec& rec);

  const State& st_;
  std::unordered_map<std::uint32_t, int> local_;  // chains found per class in this chunk
  KeySet seen_;
  std::uint32_t bf_[kSinkCapacity], bd_[kSinkCapacity];
  int nb_ = 0;
};

/// Runs fn(worker, begin, end) over [0, n) in chunks of `chunk` items and
/// merges the chunk results in chunk order into the state.
PhaseStats run_phase(State& st, const char* name, std::size_t n, std::size_t chunk,
                     const std::function<void(Worker&, std::size_t, std::size_t)>& fn);

}  // namespace chaingen
