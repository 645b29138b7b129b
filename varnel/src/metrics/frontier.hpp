// The frontier of a Boolean function: the edges of the hypercube of inputs
// along which the function changes value, each joining an input where it is
// false to a neighbour (differing in one bit) where it is true.
#pragma once

#include <cstdint>
#include <optional>

#include "fvalue.hpp"

namespace varnel {

/// The frontier graph of a table. Its edges are those hypercube edges (x,
/// x XOR 2^i) along which the table changes value, so the table itself holds
/// them: the graph keeps its edge count and reads every edge from the table
/// it was built from, which the caller keeps (a Varnel object owns both, and
/// its table never changes). It needs no memory per entry.
class FrontierGraph {
 public:
  explicit FrontierGraph(const FValue& f);

  unsigned n_vars() const noexcept { return n_; }
  /// The number of frontier edges.
  std::uint64_t edge_count() const noexcept { return edges_; }
  /// Whether the hypercube edge between x and x XOR 2^i (i < n) is a frontier edge.
  static bool has_edge(const FValue& f, std::uint64_t x, unsigned i) noexcept {
    return f[x] != f[x ^ (std::uint64_t{1} << i)];
  }
  /// One more than the largest endpoint of any edge; 0 without edges.
  static std::uint64_t node_count(const FValue& f) noexcept;

  /// Calls fn(x, y) for every edge, x the false and y the true endpoint, in
  /// ascending order of x and then of the flipped variable.
  template <class Fn>
  void for_each_edge(const FValue& f, Fn&& fn) const {
    for (std::uint64_t x = 0; x < f.size(); ++x) {
      if (f[x]) continue;
      for (unsigned i = 0; i < n_; ++i) {
        if (has_edge(f, x, i)) fn(x, x ^ (std::uint64_t{1} << i));
      }
    }
  }

 private:
  unsigned n_;
  std::uint64_t edges_;
};

/// Builds the frontier graph of a table.
FrontierGraph frontier_graph(const FValue& f);

/// The number of false entries.
std::uint64_t b_0(const FValue& f);
/// The number of true entries.
std::uint64_t b_1(const FValue& f);

/// The number of frontier edges, from the cache, which is filled on first use.
std::uint64_t frontier_size(std::optional<FrontierGraph>& cache, const FValue& f);

/// n * min(b_0, b_1): an upper bound of the frontier size, exact in 64 bits.
std::uint64_t max_frontier_size(const FValue& f);

}  // namespace varnel
