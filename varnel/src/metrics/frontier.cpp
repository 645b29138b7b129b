#include "metrics/frontier.hpp"

#include <algorithm>
#include <bit>

#include "metrics/hypercube.hpp"
#include "metrics/sensitivity.hpp"

namespace varnel {

// Every frontier edge joins two inputs whose sensitivities it both counts.
FrontierGraph::FrontierGraph(const FValue& f) : n_(f.n_vars()), edges_(sensitivity_sum(f) / 2) {}

std::uint64_t FrontierGraph::node_count(const FValue& f) noexcept {
  // The largest input on a frontier edge: the top set bit of the highest word
  // whose inputs change along some variable.
  const unsigned n = f.n_vars();
  const auto w = f.words();
  for (std::size_t k = w.size(); k-- > 0;) {
    std::uint64_t changing = 0;
    for (unsigned i = 0; i < std::min(n, 6u); ++i)
      changing |= w[k] ^ hypercube::flip_in_word(w[k], i);
    for (unsigned i = 6; i < n; ++i) changing |= w[k] ^ w[k ^ (std::size_t{1} << (i - 6))];
    if (changing != 0) return k * 64 + 64 - static_cast<unsigned>(std::countl_zero(changing));
  }
  return 0;
}

FrontierGraph frontier_graph(const FValue& f) { return FrontierGraph(f); }

std::uint64_t b_0(const FValue& f) { return f.size() - f.count_ones(); }

std::uint64_t b_1(const FValue& f) { return f.count_ones(); }

std::uint64_t frontier_size(std::optional<FrontierGraph>& cache, const FValue& f) {
  if (!cache) cache.emplace(f);
  return cache->edge_count();
}

std::uint64_t max_frontier_size(const FValue& f) { return std::min(b_0(f), b_1(f)) * f.n_vars(); }

}  // namespace varnel
