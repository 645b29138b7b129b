// Equanimity importance: the share of the hypercube's edges along which the
// function changes value.
#include "metrics/entanglement.hpp"
#include "metrics/hypercube.hpp"

namespace varnel {

float equanimity_importance(const FValue& f) noexcept {
  const unsigned n = f.n_vars();
  // n * 2^(n-1) edges; zero variables give 0 / 0.
  const std::uint64_t edges = n == 0 ? 0 : std::uint64_t{n} << (n - 1);
  return static_cast<float>(hypercube::changing_edges(f)) / static_cast<float>(edges);
}

}  // namespace varnel
