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
  counter_.run(RowList{rows_a_.data(), std::uint64_t{1} << k, m, true}, {}, RowOrder::counts_only);
  const FormStats first = counter_.stats(k, with_entropy);
  counter_.run(RowList{rows_b_.data(), std::uint64_t{1} << m, k, true}, {}, RowOrder::counts_only);
  return {first, counter_.stats(m, with_entropy)};
}

}  // namespace varnel
