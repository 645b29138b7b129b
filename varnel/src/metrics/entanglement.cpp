// Entropy and entanglement over the balanced bipartitions of the variables.
#include "metrics/entanglement.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <utility>

#include "auxiliar.hpp"
#include "metrics/bipartition_walk.hpp"
#include "interrupt.hpp"
#include "pool.hpp"
#include "restriction.hpp"

namespace varnel {

namespace {

// Functions of this many variables or more are handled on the worker pool.
constexpr unsigned kParallelFrom = 10;

VarMask mask_of(const VarList& vars) {
  VarMask m = 0;
  for (std::uint64_t v : vars) m |= VarMask{1} << v;
  return m;
}

// Calls visit(std::pair{set1, set2}, stats) for every bipartition, in
// enumeration order, on the calling thread. Fails with "capacity overflow"
// for a function of no variables.
template <class Visit>
void walk_in_order(const FValue& f, bool with_entropy, Visit&& visit) {
  SubsetIterator pairs(f.n_vars());
  while (auto pair = pairs.next()) {
    const BipartitionStats s = bipartition_stats(f, mask_of(pair->first), with_entropy);
    visit(std::move(*pair), s);
  }
}

// The enumeration cut into consecutive chunks for the pool: a fixed function
// of the number of bipartitions, so chunk results (joined in chunk order)
// never depend on the number of threads.
struct Chunks {
  std::uint64_t total;
  std::uint64_t grain;
  std::uint64_t count;

  explicit Chunks(std::uint64_t total_pairs) : total(total_pairs) {
    grain = std::clamp<std::uint64_t>(total / 64, 1, 256);
    count = (total + grain - 1) / grain;
  }
  std::uint64_t begin(std::uint64_t c) const { return c * grain; }
  std::uint64_t end(std::uint64_t c) const { return std::min(total, (c + 1) * grain); }
};

// Calls visit(rank, mask, stats) for every bipartition on the worker pool.
// The threads draw chunks from a shared counter and walk each chunk in order
// with a walker of their own, so consecutive bipartitions reuse the previous
// layout. visit runs concurrently for different ranks.
template <class Visit>
void walk_on_pool(const FValue& f, const Chunks& chunks, bool with_entropy, Visit&& visit) {
  const unsigned n = f.n_vars();
  std::atomic<std::uint64_t> next{0};
  const unsigned threads =
      static_cast<unsigned>(std::min<std::uint64_t>(pool::num_threads(), chunks.count));
  pool::run(threads, [&](unsigned) {
    BipartitionWalker walker(f);
    BalancedMasks masks(n);
    while (true) {
      interrupt::checkpoint();
      const std::uint64_t c = next.fetch_add(1, std::memory_order_relaxed);
      if (c >= chunks.count) return;
      const std::uint64_t begin = chunks.begin(c);
      const std::uint64_t end = chunks.end(c);
      for (std::uint64_t rank = begin; rank < end; ++rank) {
        const VarMask mask = rank == begin ? masks.seek(rank) : masks.next();
        walker.move_to(mask);
        visit(rank, mask, walker.stats(with_entropy));
      }
    }
  });
}

// The strict minimum of value(stats) over the bipartitions: the first value
// seeds it, a later one replaces it only when strictly smaller. On the pool
// each chunk keeps its own strict minimum, and the chunk minima are joined by
// the same rule in chunk order, which selects the same value as the single
// pass in enumeration order.
template <class T, class Value>
T strict_minimum(const FValue& f, bool with_entropy, Value&& value) {
  const unsigned n = f.n_vars();
  if (n < kParallelFrom) {
    bool seeded = false;
    T best{};
    walk_in_order(f, with_entropy, [&](std::pair<VarList, VarList>&&, const BipartitionStats& s) {
      const T v = value(s);
      if (!seeded || v < best) best = v;
      seeded = true;
    });
    return best;
  }
  const Chunks chunks(BalancedMasks(n).count());
  std::vector<T> partial(chunks.count);
  walk_on_pool(f, chunks, with_entropy,
               [&](std::uint64_t rank, VarMask, const BipartitionStats& s) {
                 const T v = value(s);
                 T& best = partial[rank / chunks.grain];
                 if (rank % chunks.grain == 0 || v < best) best = v;
               });
  T best = partial[0];
  for (std::size_t c = 1; c < partial.size(); ++c) {
    if (partial[c] < best) best = partial[c];
  }
  return best;
}

// One record per bipartition, in enumeration order on either path.
template <class Record, class Value>
std::vector<Record> records(const FValue& f, bool with_entropy, Value&& value) {
  const unsigned n = f.n_vars();
  std::vector<Record> out;
  if (n < kParallelFrom) {
    walk_in_order(f, with_entropy,
                  [&](std::pair<VarList, VarList>&& pair, const BipartitionStats& s) {
                    out.push_back(Record{std::move(pair.first), std::move(pair.second), value(s)});
                  });
    return out;
  }
  const Chunks chunks(BalancedMasks(n).count());
  out.resize(chunks.total);
  const VarMask all = all_vars(n);
  walk_on_pool(f, chunks, with_entropy,
               [&](std::uint64_t rank, VarMask mask, const BipartitionStats& s) {
                 out[rank] = Record{vars_of(mask), vars_of(all & ~mask), value(s)};
               });
  return out;
}

// v(A, B) = H(A) + H(B), one single-precision addition with H(A) first.
float entropy_value(const BipartitionStats& s) { return s.first.entropy + s.second.entropy; }

// w(A, B) = N(A) + N(B).
std::uint64_t entanglement_value(const BipartitionStats& s) {
  return s.first.forms + s.second.forms;
}

}  // namespace

float entropy(const FValue& f) { return strict_minimum<float>(f, true, entropy_value); }

std::vector<EntropySet> entropy_sets(const FValue& f) {
  return records<EntropySet>(f, true, entropy_value);
}

std::uint64_t entanglement(const FValue& f) {
  return strict_minimum<std::uint64_t>(f, false, entanglement_value);
}

std::vector<EntanglementSet> entanglement_sets(const FValue& f) {
  return records<EntanglementSet>(f, false, entanglement_value);
}

}  // namespace varnel
