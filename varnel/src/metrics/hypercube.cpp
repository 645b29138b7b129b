#include "metrics/hypercube.hpp"

#include <algorithm>
#include <bit>
#include <vector>

namespace varnel::hypercube {

std::uint64_t changing_edges(const FValue& f) {
  const unsigned n = f.n_vars();
  const auto w = f.words();
  std::uint64_t count = 0;
  // Blocks of up to 2^12 words (32 KiB) stay in the cache while the variables
  // inside them are counted: 0..5 inside each word (at the lower end of each
  // edge), then the ones that pair words of the same block.
  const unsigned inner = std::min(n, 6u);
  const unsigned word_bits = n > 6 ? n - 6 : 0;
  const unsigned block_bits = std::min(word_bits, 12u);
  const std::size_t block = std::size_t{1} << block_bits;
  for (std::size_t b0 = 0; b0 < w.size(); b0 += block) {
    const std::uint64_t* p = w.data() + b0;
    for (std::size_t k = 0; k < block; ++k) {
      for (unsigned i = 0; i < inner; ++i) {
        const std::uint64_t x = p[k];
        count += static_cast<std::uint64_t>(
            std::popcount((x ^ (x >> (1u << i))) & bit_clear_positions(i)));
      }
    }
    for (unsigned j = 0; j < block_bits; ++j) {
      const std::size_t m = std::size_t{1} << j;
      for (std::size_t base = 0; base < block; base += 2 * m) {
        for (std::size_t u = 0; u < m; ++u) {
          count += static_cast<std::uint64_t>(std::popcount(p[base + u] ^ p[base + m + u]));
        }
      }
    }
  }
  // The variables above a block pair whole blocks: the same few columns of
  // words of every block are gathered into rows and paired there, so the
  // table is read once more whatever the number of variables.
  const unsigned high = word_bits - block_bits;
  if (high > 0) {
    constexpr std::size_t kColumns = 16;
    const std::size_t rows = std::size_t{1} << high;
    std::vector<std::uint64_t> gathered(kColumns * rows);
    for (std::size_t c = 0; c < block; c += kColumns) {
      for (std::size_t r = 0; r < rows; ++r) {
        const std::uint64_t* src = w.data() + (r << block_bits) + c;
        std::copy(src, src + kColumns, gathered.data() + r * kColumns);
      }
      for (unsigned t = 0; t < high; ++t) {
        const std::size_t m = std::size_t{1} << t;
        for (std::size_t base = 0; base < rows; base += 2 * m) {
          for (std::size_t u = 0; u < m; ++u) {
            const std::uint64_t* a = gathered.data() + (base + u) * kColumns;
            const std::uint64_t* b = a + m * kColumns;
            for (std::size_t q = 0; q < kColumns; ++q) {
              count += static_cast<std::uint64_t>(std::popcount(a[q] ^ b[q]));
            }
          }
        }
      }
    }
  }
  return count;
}

}  // namespace varnel::hypercube
