// The frontier of a Boolean function: the edges of the hypercube of inputs
// along which the function changes value, each joining an input where it is
// false to a neighbour (differing in one bit) where it is true.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fvalue.hpp"
#include "metrics/hypercube.hpp"

namespace varnel {

/// The frontier graph as one bit per hypercube edge: for each variable i, a
/// bitset over the inputs x with bit i clear (indexed by x with bit i
/// removed), set when f(x) != f(x XOR 2^i). n * 2^(n-1) bits in all.
class FrontierGraph {
 public:
  explicit FrontierGraph(const FValue& f);

  unsigned n_vars() const noexcept { return n_; }
  /// The number of frontier edges.
  std::uint64_t edge_count() const noexcept { return edges_; }
  /// Whether the hypercube edge between x and x XOR 2^i (i < n) is a frontier edge.
  bool has_edge(std::uint64_t x, unsigned i) const noexcept {
    const std::uint64_t q = hypercube::drop_bit(x & ~(std::uint64_t{1} << i), i);
    return (along(i)[q >> 6] >> (q & 63)) & 1u;
  }
  /// One more than the largest endpoint of any edge; 0 without edges.
  std::uint64_t node_count() const noexcept;
  /// The edge bits of variable i.
  std::span<const std::uint64_t> along(unsigned i) const noexcept {
    return {bits_.data() + i * per_var_, per_var_};
  }

  /// Calls fn(x, y) for every edge, x the false and y the true endpoint, in
  /// ascending order of x and then of the flipped variable.
  template <class Fn>
  void for_each_edge(const FValue& f, Fn&& fn) const {
    for (std::uint64_t x = 0; x < f.size(); ++x) {
      if (f[x]) continue;
      for (unsigned i = 0; i < n_; ++i) {
        if (has_edge(x, i)) fn(x, x ^ (std::uint64_t{1} << i));
      }
    }
  }

 private:
  unsigned n_;
  std::size_t per_var_;
  std::vector<std::uint64_t> bits_;
  std::uint64_t edges_ = 0;
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
