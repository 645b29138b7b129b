#include "metrics/hypercube.hpp"

#include <bit>

namespace varnel::hypercube {

std::uint64_t changing_edges(const FValue& f) noexcept {
  const unsigned n = f.n_vars();
  const auto words = f.words();
  std::uint64_t count = 0;
  // Variables 0..5 inside each word: the lower end of each changing edge.
  for (unsigned i = 0; i < n && i < 6; ++i) {
    const unsigned shift = 1u << i;
    const std::uint64_t lower = bit_clear_positions(i);
    for (std::uint64_t w : words) {
      count += static_cast<std::uint64_t>(std::popcount((w ^ (w >> shift)) & lower));
    }
  }
  // Variables from 6 on pair whole words.
  for (unsigned i = 6; i < n; ++i) {
    const std::size_t stride = std::size_t{1} << (i - 6);
    for (std::size_t base = 0; base < words.size(); base += 2 * stride) {
      for (std::size_t j = base; j < base + stride; ++j) {
        count += static_cast<std::uint64_t>(std::popcount(words[j] ^ words[j + stride]));
      }
    }
  }
  return count;
}

}  // namespace varnel::hypercube
