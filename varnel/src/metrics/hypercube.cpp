#include "metrics/hypercube.hpp"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <vector>

#include "pool.hpp"
#include "simd.hpp"

namespace varnel::hypercube {

namespace {

// The table is counted in two passes, each reading it once.
//
// Blocks of 2^12 words (32 KiB) stay in the first-level cache while the
// variables inside them are counted: 0..5 inside each word (at the lower end
// of each edge), then the ones that pair words of the same block.
//
// The variables above a block pair whole blocks: the same kColumns words of
// every block are gathered into rows and paired there. Tiles of 2^kTileBits
// rows are counted as they arrive, while they are still in the first-level
// cache; the variables above a tile then pair rows of the whole gather.
constexpr unsigned kBlockBits = 12;
constexpr std::size_t kColumns = 16;
constexpr unsigned kTileBits = 8;

// Pool chunks of at least 2^16 words (512 KiB) of the table.
constexpr unsigned kChunkBits = 16;

// Edges inside the block of 2^block_bits words at p.
std::uint64_t block_edges(const std::uint64_t* p, unsigned inner, unsigned block_bits) {
  const std::size_t block = std::size_t{1} << block_bits;
  std::uint64_t count = 0;
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
  return count;
}

// Edges between rows r and r + 2^t of the gathered rows [0, rows), for
// t in [t0, t1).
std::uint64_t row_edges(const std::uint64_t* g, std::size_t rows, unsigned t0, unsigned t1) {
  std::uint64_t count = 0;
  for (unsigned t = t0; t < t1; ++t) {
    const std::size_t m = std::size_t{1} << t;
    for (std::size_t base = 0; base < rows; base += 2 * m) {
      for (std::size_t u = 0; u < m; ++u) {
        const std::uint64_t* a = g + (base + u) * kColumns;
        const std::uint64_t* b = a + m * kColumns;
        for (std::size_t q = 0; q < kColumns; ++q) {
          count += static_cast<std::uint64_t>(std::popcount(a[q] ^ b[q]));
        }
      }
    }
  }
  return count;
}

// The same two counts with AVX-512 population counts, eight words at a time.
// The block version needs block_bits >= 3 (and runs best on a table that
// starts on a cache line, as FValue's do). It prefetches the block at `next`
// (none for nullptr) as it goes: the passes over a block hide its own stream
// from the hardware prefetcher. (The masked forms with every lane set stand
// for the plain ones, whose headers trip -Wuninitialized in GCC 12.)

#define VARNEL_POPCNT512 __attribute__((target("avx512f,avx512vpopcntdq")))

constexpr __mmask8 kAll = 0xFF;

VARNEL_POPCNT512 inline std::uint64_t lane_sum(__m512i x) {
  alignas(64) std::uint64_t lanes[8];
  _mm512_store_si512(lanes, x);
  std::uint64_t sum = 0;
  for (std::uint64_t v : lanes) sum += v;
  return sum;
}

VARNEL_POPCNT512 inline __m512i changes_in_word(__m512i x, unsigned shift, std::uint64_t mask) {
  // (x ^ (x >> shift)) & mask in one ternary operation.
  return _mm512_ternarylogic_epi64(x, _mm512_maskz_srli_epi64(kAll, x, shift),
                                   _mm512_set1_epi64(static_cast<long long>(mask)), 0x28);
}

VARNEL_POPCNT512 std::uint64_t block_edges_avx512(const std::uint64_t* p, unsigned block_bits,
                                                  const std::uint64_t* next) {
  const std::size_t vectors = std::size_t{1} << (block_bits - 3);
  const auto* v = reinterpret_cast<const __m512i*>(p);
  __m512i once = _mm512_setzero_si512();
  // Word variables 0..2 pair lanes of one vector: x ^ swapped(x) marks each
  // such edge at both ends.
  __m512i twice = _mm512_setzero_si512();
  for (std::size_t k = 0; k < vectors; ++k) {
    if (next != nullptr) _mm_prefetch(reinterpret_cast<const char*>(next + 8 * k), _MM_HINT_T0);
    const __m512i x = _mm512_loadu_si512(v + k);
    __m512i in_word = _mm512_popcnt_epi64(changes_in_word(x, 1, bit_clear_positions(0)));
    for (unsigned i = 1; i < 6; ++i) {
      in_word = _mm512_add_epi64(
          in_word, _mm512_popcnt_epi64(changes_in_word(x, 1u << i, bit_clear_positions(i))));
    }
    once = _mm512_add_epi64(once, in_word);
    const __m512i s0 = _mm512_xor_si512(x, _mm512_maskz_shuffle_epi32(0xFFFF, x, _MM_PERM_BADC));
    const __m512i s1 = _mm512_xor_si512(x, _mm512_maskz_permutex_epi64(kAll, x, 0x4E));
    const __m512i s2 = _mm512_xor_si512(x, _mm512_maskz_shuffle_i64x2(kAll, x, x, 0x4E));
    twice = _mm512_add_epi64(twice, _mm512_add_epi64(_mm512_popcnt_epi64(s0),
                                                     _mm512_add_epi64(_mm512_popcnt_epi64(s1),
                                                                      _mm512_popcnt_epi64(s2))));
  }
  for (unsigned j = 3; j < block_bits; ++j) {
    const std::size_t m = std::size_t{1} << (j - 3);
    for (std::size_t base = 0; base < vectors; base += 2 * m) {
      for (std::size_t u = 0; u < m; ++u) {
        once = _mm512_add_epi64(
            once, _mm512_popcnt_epi64(_mm512_xor_si512(_mm512_loadu_si512(v + base + u),
                                                       _mm512_loadu_si512(v + base + m + u))));
      }
    }
  }
  return lane_sum(once) + lane_sum(twice) / 2;
}

// The changes between two gathered rows (two vectors each), per lane.
VARNEL_POPCNT512 inline __m512i row_changes(const std::uint64_t* a, const std::uint64_t* b) {
  const __m512i d0 = _mm512_xor_si512(_mm512_loadu_si512(a), _mm512_loadu_si512(b));
  const __m512i d1 = _mm512_xor_si512(_mm512_loadu_si512(a + 8), _mm512_loadu_si512(b + 8));
  return _mm512_add_epi64(_mm512_popcnt_epi64(d0), _mm512_popcnt_epi64(d1));
}

// Levels are paired: rows r, r + m, r + 2m, r + 3m give the four edges of
// levels t and t + 1 from one read of each row.
VARNEL_POPCNT512 std::uint64_t row_edges_avx512(const std::uint64_t* g, std::size_t rows,
                                                unsigned t0, unsigned t1) {
  static_assert(kColumns == 16, "a gathered row is two vectors");
  __m512i once = _mm512_setzero_si512();
  unsigned t = t0;
  for (; t + 1 < t1; t += 2) {
    const std::size_t m = std::size_t{1} << t;
    for (std::size_t base = 0; base < rows; base += 4 * m) {
      for (std::size_t u = 0; u < m; ++u) {
        const std::uint64_t* a = g + (base + u) * kColumns;
        const std::uint64_t* b = a + m * kColumns;
        const std::uint64_t* c = b + m * kColumns;
        const std::uint64_t* d = c + m * kColumns;
        once = _mm512_add_epi64(once, _mm512_add_epi64(row_changes(a, b), row_changes(c, d)));
        once = _mm512_add_epi64(once, _mm512_add_epi64(row_changes(a, c), row_changes(b, d)));
      }
    }
  }
  if (t < t1) {
    const std::size_t m = std::size_t{1} << t;
    for (std::size_t base = 0; base < rows; base += 2 * m) {
      for (std::size_t u = 0; u < m; ++u) {
        const std::uint64_t* a = g + (base + u) * kColumns;
        once = _mm512_add_epi64(once, row_changes(a, a + m * kColumns));
      }
    }
  }
  return lane_sum(once);
}

#undef VARNEL_POPCNT512

}  // namespace

std::uint64_t changing_edges(const FValue& f) {
  const unsigned n = f.n_vars();
  const auto w = f.words();
  const unsigned inner = std::min(n, 6u);
  const unsigned word_bits = n > 6 ? n - 6 : 0;
  const unsigned block_bits = std::min(word_bits, kBlockBits);
  const std::size_t block = std::size_t{1} << block_bits;
  const std::uint64_t blocks = w.size() >> block_bits;
  const bool vector = block_bits >= 3 && simd::vector_popcount();

  std::uint64_t count = pool::parallel_reduce(
      blocks, std::uint64_t{1} << (kChunkBits - std::min(kChunkBits, block_bits)), std::uint64_t{0},
      [&](std::uint64_t b0, std::uint64_t b1) {
        std::uint64_t c = 0;
        for (std::uint64_t b = b0; b < b1; ++b) {
          const std::uint64_t* p = w.data() + (b << block_bits);
          c += vector ? block_edges_avx512(p, block_bits, b + 1 < b1 ? p + block : nullptr)
                      : block_edges(p, inner, block_bits);
        }
        return c;
      },
      [](std::uint64_t a, std::uint64_t b) { return a + b; });

  const unsigned high = word_bits - block_bits;
  if (high == 0) return count;
  // From here on the blocks are whole (2^12 words), so kColumns divides them.
  const std::size_t rows = std::size_t{1} << high;
  const unsigned tile_bits = std::min(high, kTileBits);
  const std::size_t tile = std::size_t{1} << tile_bits;
  const auto rows_in = [&](const std::uint64_t* g, std::size_t r, unsigned t0, unsigned t1) {
    return vector ? row_edges_avx512(g, r, t0, t1) : row_edges(g, r, t0, t1);
  };
  count += pool::parallel_reduce(
      block / kColumns, std::uint64_t{1} << (kChunkBits - std::min(kChunkBits, high + 4)),
      std::uint64_t{0},
      [&](std::uint64_t c0, std::uint64_t c1) {
        std::vector<std::uint64_t> gathered(kColumns * rows);
        std::uint64_t c = 0;
        for (std::uint64_t group = c0; group < c1; ++group) {
          for (std::size_t r0 = 0; r0 < rows; r0 += tile) {
            std::uint64_t* g = gathered.data() + r0 * kColumns;
            for (std::size_t r = 0; r < tile; ++r) {
              const std::uint64_t* src = w.data() + ((r0 + r) << block_bits) + group * kColumns;
              std::copy(src, src + kColumns, g + r * kColumns);
            }
            c += rows_in(g, tile, 0, tile_bits);
          }
          c += rows_in(gathered.data(), rows, tile_bits, high);
        }
        return c;
      },
      [](std::uint64_t a, std::uint64_t b) { return a + b; });
  return count;
}

}  // namespace varnel::hypercube
