// Equanimity importance: the share of the hypercube's edges along which the
// function changes value, counted word-parallel on the packed table.
#include <bit>

#include "metrics/entanglement.hpp"

namespace varnel {

namespace {

// For i < 6, the bits x of a word with bit i of x clear: the lower end of each
// edge along variable i inside the word.
constexpr std::uint64_t kLowerEnds[6] = {
    0x5555555555555555ULL, 0x3333333333333333ULL, 0x0F0F0F0F0F0F0F0FULL,
    0x00FF00FF00FF00FFULL, 0x0000FFFF0000FFFFULL, 0x00000000FFFFFFFFULL,
};

}  // namespace

std::uint64_t changing_edges(const FValue& f) noexcept {
  const unsigned n = f.n_vars();
  const auto words = f.words();
  std::uint64_t count = 0;
  for (unsigned i = 0; i < n && i < 6; ++i) {
    const unsigned shift = 1u << i;
    for (std::uint64_t w : words) {
      count += static_cast<std::uint64_t>(std::popcount((w ^ (w >> shift)) & kLowerEnds[i]));
    }
  }
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

float equanimity_importance(const FValue& f) noexcept {
  const unsigned n = f.n_vars();
  // n * 2^(n-1) edges; zero variables give 0 / 0.
  const std::uint64_t edges = n == 0 ? 0 : std::uint64_t{n} << (n - 1);
  return static_cast<float>(changing_edges(f)) / static_cast<float>(edges);
}

}  // namespace varnel
