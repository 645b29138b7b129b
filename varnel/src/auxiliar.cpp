#include "auxiliar.hpp"

#include <bit>

#include "error.hpp"

namespace varnel {

VarList vars_of(VarMask mask) {
  VarList out;
  out.reserve(static_cast<std::size_t>(std::popcount(mask)));
  for (; mask != 0; mask &= mask - 1)
    out.push_back(static_cast<std::uint64_t>(std::countr_zero(mask)));
  return out;
}

namespace {

// Pascal's triangle up to 64 (the largest entry, C(64, 32), fits 64 bits).
struct Binomials {
  std::uint64_t c[65][65] = {};
  constexpr Binomials() {
    for (unsigned a = 0; a <= 64; ++a) {
      c[a][0] = 1;
      for (unsigned b = 1; b <= a; ++b) c[a][b] = c[a - 1][b - 1] + (b < a ? c[a - 1][b] : 0);
    }
  }
};
constexpr Binomials kBinomials;

}  // namespace

std::uint64_t binomial(unsigned a, unsigned b) {
  if (a > 64) panic("binomial coefficient beyond 64 items");
  return b > a ? 0 : kBinomials.c[a][b];
}

// ---------------------------------------------------------------------------
// k-subsets

KSubsets::KSubsets(unsigned first, unsigned pool, unsigned k)
    : first_(first), pool_(pool), k_(k), count_(0) {
  if (first + pool > 64) panic("too many variables for a subset mask");
  count_ = binomial(pool, k);
  idx_.resize(k);
  for (unsigned i = 0; i < k; ++i) idx_[i] = i;
}

VarMask KSubsets::mask() const noexcept {
  VarMask m = 0;
  for (unsigned i : idx_) m |= VarMask{1} << (first_ + i);
  return m;
}

VarMask KSubsets::seek(std::uint64_t rank) {
  if (rank >= count_) panic("subset rank out of range");
  unsigned x = 0;
  for (unsigned i = 0; i < k_; ++i) {
    // Skip the subsets whose i-th position is below the right one.
    while (true) {
      const std::uint64_t with_x = binomial(pool_ - x - 1, k_ - i - 1);
      if (rank < with_x) break;
      rank -= with_x;
      ++x;
    }
    idx_[i] = x++;
  }
  return mask();
}

VarMask KSubsets::next() {
  // The rightmost position t whose index can still grow (below pool - k + t);
  // it grows by one and the positions after it follow right behind.
  unsigned t = k_;
  while (t > 0 && idx_[t - 1] >= pool_ - k_ + (t - 1)) --t;
  if (t == 0) panic("subset enumeration exhausted");
  ++idx_[t - 1];
  for (unsigned j = t; j < k_; ++j) idx_[j] = idx_[j - 1] + 1;
  return mask();
}

std::vector<VarMask> level_masks(unsigned n, unsigned k) {
  std::vector<VarMask> out;
  if (k > n) return out;
  KSubsets subsets(0, n, k);
  out.reserve(subsets.count());
  out.push_back(subsets.seek(0));
  while (out.size() < subsets.count()) out.push_back(subsets.next());
  return out;
}

VarMask level_mask_at(unsigned n, unsigned k, std::uint64_t index) {
  return KSubsets(0, n, k).seek(index);
}

// ---------------------------------------------------------------------------
// Balanced bipartitions

namespace {

// For even n the first side holds variable 0 and n/2 - 1 more from 1 .. n-1;
// for n = 0 that size wraps around, and no allocation can hold it.
KSubsets balanced_subsets(unsigned n) {
  if (n == 0) panic("capacity overflow");
  if (n > 63) panic("too many variables for a bipartition mask");
  return n % 2 == 1 ? KSubsets(0, n, n / 2) : KSubsets(1, n - 1, n / 2 - 1);
}

}  // namespace

BalancedMasks::BalancedMasks(unsigned n)
    : fixed_(n % 2 == 0 ? VarMask{1} : 0), subsets_(balanced_subsets(n)) {}

SubsetIterator::SubsetIterator(std::uint64_t n)
    : n_(static_cast<unsigned>(n > 64 ? 64 : n)), masks_(n_) {}

std::optional<std::pair<VarList, VarList>> SubsetIterator::next() {
  if (rank_ == masks_.count()) return std::nullopt;
  const VarMask subset = rank_ == 0 ? masks_.seek(0) : masks_.next();
  ++rank_;
  return std::make_pair(vars_of(subset), vars_of(all_vars(n_) & ~subset));
}

std::vector<VarMask> balanced_subset_masks(unsigned n) {
  BalancedMasks masks(n);
  std::vector<VarMask> out;
  out.reserve(masks.count());
  out.push_back(masks.seek(0));
  while (out.size() < masks.count()) out.push_back(masks.next());
  return out;
}

// ---------------------------------------------------------------------------
// Bit deposit

std::uint64_t deposit(std::uint64_t value, std::span<const std::uint64_t> positions) noexcept {
  std::uint64_t result = 0;
  for (std::size_t j = 0; j < positions.size(); ++j) {
    result |= ((value >> (j & 63)) & 1u) << (positions[j] & 63);
  }
  return result;
}

}  // namespace varnel
