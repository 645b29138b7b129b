#include "metrics/frontier.hpp"

#include <algorithm>
#include <bit>

namespace varnel {

using hypercube::compress_low_half;
using hypercube::flip_in_word;

FrontierGraph::FrontierGraph(const FValue& f)
    : n_(f.n_vars()), per_var_(n_ >= 7 ? (std::size_t{1} << (n_ - 1)) / 64 : 1) {
  bits_.assign(n_ * per_var_, 0);
  const auto w = f.words();
  for (unsigned i = 0; i < n_; ++i) {
    std::uint64_t* out = bits_.data() + i * per_var_;
    if (i < 6) {
      // The changing inputs of each word with bit i clear: 32 per word, two
      // words to an output word (a table of up to 64 entries fills one word).
      for (std::size_t q = 0; q < per_var_; ++q) {
        const std::size_t k = n_ >= 7 ? 2 * q : 0;
        std::uint64_t packed = compress_low_half(w[k] ^ flip_in_word(w[k], i), i);
        if (n_ >= 7) {
          packed |= compress_low_half(w[k + 1] ^ flip_in_word(w[k + 1], i), i) << 32;
        }
        out[q] = packed;
      }
    } else {
      // Words k with bit i-6 clear, in order, against their partners.
      const std::size_t m = std::size_t{1} << (i - 6);
      std::size_t q = 0;
      for (std::size_t base = 0; base < w.size(); base += 2 * m) {
        for (std::size_t u = 0; u < m; ++u) out[q++] = w[base + u] ^ w[base + m + u];
      }
    }
  }
  for (const std::uint64_t word : bits_) edges_ += static_cast<std::uint64_t>(std::popcount(word));
}

std::uint64_t FrontierGraph::node_count() const noexcept {
  std::uint64_t count = 0;
  for (unsigned i = 0; i < n_; ++i) {
    const auto bits = along(i);
    for (std::size_t q = bits.size(); q-- > 0;) {
      if (bits[q] == 0) continue;
      const std::uint64_t index = q * 64 + 63 - static_cast<unsigned>(std::countl_zero(bits[q]));
      const std::uint64_t upper = hypercube::insert_bit(index, i) | (std::uint64_t{1} << i);
      count = std::max(count, upper + 1);
      break;
    }
  }
  return count;
}

FrontierGraph frontier_graph(const FValue& f) { return FrontierGraph(f); }

std::uint64_t b_0(const FValue& f) { return f.size() - f.count_ones(); }

std::uint64_t b_1(const FValue& f) { return f.count_ones(); }

std::uint64_t frontier_size(std::optional<FrontierGraph>& cache, const FValue& f) {
  if (!cache) cache.emplace(f);
  return cache->edge_count();
}

std::uint64_t max_frontier_size(const FValue& f) {
  return std::min(b_0(f), b_1(f)) * f.n_vars();
}

}  // namespace varnel
