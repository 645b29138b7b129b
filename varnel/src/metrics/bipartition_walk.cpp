#include "metrics/bipartition_walk.hpp"

#include <algorithm>
#include <bit>

#include "error.hpp"
#include "index_permutation.hpp"

namespace varnel {

void swap_index_bits(std::vector<std::uint64_t>& words, unsigned n, unsigned p, unsigned q) {
  if (p > q) std::swap(p, q);
  if (p == q || q >= n) panic("index bit exchange out of range");
  std::uint64_t* w = words.data();
  const std::uint64_t count = words.size();
  if (q < 6) {
    // Both bits inside words.
    const DeltaSwap d = in_word_swap(p, q);
    for (std::uint64_t i = 0; i < count; ++i) w[i] = apply(w[i], d);
  } else if (p < 6) {
    // Bit p inside words, bit q selects one word of each pair: the entries
    // with bit p set in the lower word trade places with those with bit p
    // clear in the upper one.
    const std::uint64_t distance = std::uint64_t{1} << (q - 6);
    const unsigned shift = 1u << p;
    const std::uint64_t clear = ~bit_set_positions(p);
    for (std::uint64_t base = 0; base < count; base += 2 * distance) {
      std::uint64_t* lo = w + base;
      std::uint64_t* hi = w + base + distance;
      for (std::uint64_t i = 0; i < distance; ++i) {
        const std::uint64_t x = ((lo[i] >> shift) ^ hi[i]) & clear;
        hi[i] ^= x;
        lo[i] ^= x << shift;
      }
    }
  } else {
    // Both bits select words: blocks of words trade places.
    const std::uint64_t small = std::uint64_t{1} << (p - 6);
    const std::uint64_t large = std::uint64_t{1} << (q - 6);
    for (std::uint64_t base = 0; base < count; base += 2 * large) {
      for (std::uint64_t c = 0; c < large; c += 2 * small) {
        std::swap_ranges(w + base + c + small, w + base + c + 2 * small, w + base + c + large);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Counting rows

namespace {

constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;

inline std::uint64_t mix(std::uint64_t x) noexcept {
  // A bijection of 64-bit words.
  x ^= x >> 32;
  x *= 0xd6e8feb86659fd93ull;
  x ^= x >> 32;
  x *= 0xd6e8feb86659fd93ull;
  x ^= x >> 32;
  return x;
}

inline std::uint64_t rotl(std::uint64_t x, int r) noexcept { return (x << r) | (x >> (64 - r)); }

// A hash of `count` words (count a power of two): four independent lanes.
inline std::uint64_t hash_row(const std::uint64_t* w, std::uint64_t count) noexcept {
  if (count == 1) return mix(w[0]);
  if (count == 2) return mix(w[0] ^ rotl(mix(w[1] + kMul), 29));
  std::uint64_t h0 = 0x243F6A8885A308D3ull, h1 = 0x13198A2E03707344ull;
  std::uint64_t h2 = 0xA4093822299F31D0ull, h3 = 0x082EFA98EC4E6C89ull;
  for (std::uint64_t i = 0; i < count; i += 4) {
    h0 = (rotl(h0, 23) ^ w[i]) * kMul;
    h1 = (rotl(h1, 23) ^ w[i + 1]) * kMul;
    h2 = (rotl(h2, 23) ^ w[i + 2]) * kMul;
    h3 = (rotl(h3, 23) ^ w[i + 3]) * kMul;
  }
  return mix(h0 ^ rotl(h1, 16) ^ rotl(h2, 32) ^ rotl(h3, 48));
}

}  // namespace

void RowCounter::prepare_slots(std::uint64_t rows) {
  unsigned bits = 4;
  while ((std::uint64_t{1} << bits) < 4 * rows) ++bits;
  if (slots_.size() != (std::uint64_t{1} << bits)) {
    slots_.assign(std::uint64_t{1} << bits, Slot{0, 0, 0});
    stamp_ = 0;
  }
  if (++stamp_ == 0) {
    std::fill(slots_.begin(), slots_.end(), Slot{0, 0, 0});
    stamp_ = 1;
  }
  slot_mask_ = slots_.size() - 1;
  slot_shift_ = 64 - bits;
  counts_.clear();
  first_row_.clear();
}

template <class Same>
inline void RowCounter::enter(std::uint64_t hash, std::uint64_t row, Same&& same) {
  for (std::uint64_t j = hash >> slot_shift_;; j = (j + 1) & slot_mask_) {
    Slot& s = slots_[j];
    if (s.stamp != stamp_) {
      s = Slot{hash, stamp_, static_cast<std::uint32_t>(counts_.size())};
      counts_.push_back(1);
      first_row_.push_back(row);
      return;
    }
    if (s.hash == hash && same(first_row_[s.id])) {
      ++counts_[s.id];
      return;
    }
  }
}

float RowCounter::entropy(unsigned row_bits) {
  // Every form once: the same value for every matrix of this many rows,
  // computed once by the same summation.
  if (counts_.size() == (std::uint64_t{1} << row_bits)) {
    if (!all_distinct_known_[row_bits]) {
      all_distinct_[row_bits] = entropy_from_counts(counts_, row_bits);
      all_distinct_known_[row_bits] = true;
    }
    return all_distinct_[row_bits];
  }
  return entropy_from_counts(counts_, row_bits);
}

FormStats RowCounter::count(const std::uint64_t* words, unsigned row_bits, unsigned col_bits,
                            bool with_entropy) {
  if (row_bits > 31) panic("too many rows to count");
  const std::uint64_t rows = std::uint64_t{1} << row_bits;
  prepare_slots(rows);
  if (col_bits < 6) {
    // Narrow rows: the row itself is the key, and equal hashes mean equal rows.
    const std::uint64_t width = std::uint64_t{1} << col_bits;
    const std::uint64_t mask = low_mask(width);
    for (std::uint64_t i = 0; i < rows; ++i) {
      const std::uint64_t x = i << col_bits;
      enter(mix((words[x >> 6] >> (x & 63)) & mask), i, [](std::uint64_t) { return true; });
    }
  } else {
    const std::uint64_t width = std::uint64_t{1} << (col_bits - 6);
    hashes_.resize(rows);
    for (std::uint64_t i = 0; i < rows; ++i) {
      hashes_[i] = hash_row(words + i * width, width);
      __builtin_prefetch(&slots_[hashes_[i] >> slot_shift_]);
    }
    for (std::uint64_t i = 0; i < rows; ++i) {
      const std::uint64_t* row = words + i * width;
      enter(hashes_[i], i, [&](std::uint64_t other) {
        return std::equal(row, row + width, words + other * width);
      });
    }
  }
  return {counts_.size(), with_entropy ? entropy(row_bits) : 0.0f};
}

// ---------------------------------------------------------------------------
// The walker

namespace {

// Moves of more variables than this are laid out afresh: each exchange is a
// pass over both tables, a fresh layout a gather of each.
constexpr int kMaxExchanges = 2;

}  // namespace

BipartitionWalker::BipartitionWalker(const FValue& f) : f_(f), n_(f.n_vars()) {
  if (n_ < 2 || n_ > 63) panic("bipartition walk needs 2 to 63 variables");
}

void BipartitionWalker::lay_out(VarMask first) {
  unsigned dest_a[64], dest_b[64];
  const unsigned k = static_cast<unsigned>(std::popcount(first));
  const unsigned m = n_ - k;
  unsigned next_a_low = 0, next_a_high = m, next_b_low = 0, next_b_high = k;
  for (unsigned v = 0; v < n_; ++v) {
    if ((first >> v) & 1u) {
      dest_a[v] = next_a_high++;
      dest_b[v] = next_b_low++;
    } else {
      dest_a[v] = next_a_low++;
      dest_b[v] = next_b_high++;
    }
    pos_a_[v] = dest_a[v];
    pos_b_[v] = dest_b[v];
  }
  rows_a_.resize(f_.words().size());
  rows_b_.resize(f_.words().size());
  permute_index_bits(f_.words(), n_, std::span<const unsigned>(dest_a, n_), rows_a_);
  permute_index_bits(f_.words(), n_, std::span<const unsigned>(dest_b, n_), rows_b_);
  first_ = first;
  valid_ = true;
}

void BipartitionWalker::exchange(unsigned u, unsigned v) {
  swap_index_bits(rows_a_, n_, pos_a_[u], pos_a_[v]);
  std::swap(pos_a_[u], pos_a_[v]);
  swap_index_bits(rows_b_, n_, pos_b_[u], pos_b_[v]);
  std::swap(pos_b_[u], pos_b_[v]);
  first_ ^= (VarMask{1} << u) | (VarMask{1} << v);
}

void BipartitionWalker::move_to(VarMask first) {
  if ((first & ~all_vars(n_)) != 0) panic("bipartition side beyond the variables");
  VarMask leaving = first_ & ~first;
  VarMask joining = first & ~first_;
  if (!valid_ || std::popcount(leaving) != std::popcount(joining) ||
      std::popcount(leaving) > kMaxExchanges) {
    lay_out(first);
    return;
  }
  while (leaving != 0) {
    exchange(static_cast<unsigned>(std::countr_zero(leaving)),
             static_cast<unsigned>(std::countr_zero(joining)));
    leaving &= leaving - 1;
    joining &= joining - 1;
  }
}

BipartitionStats BipartitionWalker::stats(bool with_entropy) {
  if (!valid_) panic("bipartition walker used before it was placed");
  const unsigned k = static_cast<unsigned>(std::popcount(first_));
  const unsigned m = n_ - k;
  if (k == 0 || m == 0) return bipartition_stats(f_, first_, with_entropy);
  const FormStats first = counter_.count(rows_a_.data(), k, m, with_entropy);
  return {first, counter_.count(rows_b_.data(), m, k, with_entropy)};
}

}  // namespace varnel
