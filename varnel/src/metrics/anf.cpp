#include "metrics/anf.hpp"

#include <bit>
#include <vector>

#include "error.hpp"
#include "metrics/hypercube.hpp"

namespace varnel {

void moebius_transform(std::span<std::uint64_t> words, unsigned n) {
  if (words.size() != words_for(std::uint64_t{1} << n)) panic("word count does not match n");
  // Variables inside a word: every position with bit i set takes the XOR of
  // its partner with bit i clear.
  const unsigned inner = n < 6 ? n : 6;
  for (std::uint64_t& w : words) {
    for (unsigned i = 0; i < inner; ++i) w ^= (w & bit_clear_positions(i)) << (1u << i);
  }
  // Variables across words: whole words, stride 2^(i-6).
  for (unsigned i = 6; i < n; ++i) {
    const std::size_t stride = std::size_t{1} << (i - 6);
    for (std::size_t base = 0; base < words.size(); base += 2 * stride) {
      for (std::size_t k = base; k < base + stride; ++k) words[k + stride] ^= words[k];
    }
  }
}

FValue algebraic_normal_form(const FValue& f) {
  std::vector<std::uint64_t> words(f.words().begin(), f.words().end());
  moebius_transform(words, f.n_vars());
  return FValue(std::move(words), f.size());
}

unsigned anf_degree(const FValue& anf) {
  const std::span<const std::uint64_t> words = anf.words();
  unsigned best = 0;
  for (std::size_t k = 0; k < words.size(); ++k) {
    std::uint64_t w = words[k];
    if (w == 0) continue;
    const auto high = static_cast<unsigned>(std::popcount(k));
    if (high + 6 <= best) continue;
    for (; w != 0; w &= w - 1) {
      const unsigned d =
          high + static_cast<unsigned>(std::popcount(static_cast<unsigned>(std::countr_zero(w))));
      if (d > best) best = d;
    }
  }
  return best;
}

unsigned algebraic_degree(const FValue& f) { return anf_degree(algebraic_normal_form(f)); }

}  // namespace varnel
