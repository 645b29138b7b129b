// Variable subsets and bit deposit, shared by the restriction measures.
//
// Every list of subsets here comes in one order: the k-subsets of a range of
// consecutive variables in lexicographic order of their ascending variable
// lists ([0, 1, 2], [0, 1, 3], ..., [0, 1, n-1], [0, 2, 3], ...). KSubsets
// is that enumeration, with random access by rank; the others are views of it:
//  - a level of the fragmentation profile: the k-subsets of {0, ..., n-1}
//    (level_masks, level_mask_at);
//  - the balanced bipartitions (S, C) of {0, ..., n-1}: |S| = floor(n/2),
//    |C| = ceil(n/2), each unordered split once, in lexicographic order of S.
//    For odd n, S runs over the floor(n/2)-subsets of {0, ..., n-1}; for even
//    n, S holds variable 0 and its other n/2 - 1 variables run over the
//    subsets of {1, ..., n-1} (BalancedMasks by rank, SubsetIterator as
//    variable lists, balanced_subset_masks all at once).
//
// deposit scatters bit j of a counter to bit positions[j] of the result; it
// turns the assignments of a list of variables into table indices.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace varnel {

/// A set of variables as a bit mask: bit v set for variable v (v < 64).
using VarMask = std::uint64_t;

/// A variable list: variable indices, bit j of an input index being variable j.
using VarList = std::vector<std::uint64_t>;

/// The variables 0 .. n-1 as a mask.
constexpr VarMask all_vars(unsigned n) { return n >= 64 ? ~VarMask{0} : (VarMask{1} << n) - 1; }

/// The variables of a mask as an ascending list.
VarList vars_of(VarMask mask);

/// The binomial coefficient C(a, b) for a <= 64; 0 for b > a.
std::uint64_t binomial(unsigned a, unsigned b);

/// The k-subsets of the variables first, ..., first + pool - 1 (first + pool
/// <= 64) as masks, in lexicographic order of their ascending lists.
class KSubsets {
 public:
  KSubsets(unsigned first, unsigned pool, unsigned k);

  /// Number of subsets, C(pool, k).
  std::uint64_t count() const noexcept { return count_; }

  /// Positions the enumeration at `rank` (< count()) and returns its mask.
  VarMask seek(std::uint64_t rank);
  /// The mask after the current one (the caller stops at count()).
  VarMask next();

 private:
  VarMask mask() const noexcept;

  unsigned first_;
  unsigned pool_;
  unsigned k_;
  std::uint64_t count_;
  std::vector<unsigned> idx_;  // the current subset: positions in the pool, ascending
};

/// The k-subsets of 0 .. n-1 as masks, in order. k = 0 gives the empty set;
/// k > n nothing.
std::vector<VarMask> level_masks(unsigned n, unsigned k);

/// Subset number `index` (< C(n, k)) of level_masks(n, k).
VarMask level_mask_at(unsigned n, unsigned k, std::uint64_t index);

/// The first sides S of the balanced bipartitions of n variables as masks, in
/// order, with random access by rank. For 1 <= n <= 63; n = 0 fails with the
/// internal failure "capacity overflow" (a function of no variables has no
/// balanced bipartition).
class BalancedMasks {
 public:
  explicit BalancedMasks(unsigned n);

  /// Number of bipartitions.
  std::uint64_t count() const noexcept { return subsets_.count(); }

  /// Positions the enumeration at `rank` (< count()) and returns its mask.
  VarMask seek(std::uint64_t rank) { return fixed_ | subsets_.seek(rank); }
  /// The mask after the current one (the caller stops at count()).
  VarMask next() { return fixed_ | subsets_.next(); }

 private:
  VarMask fixed_;  // variable 0 for even n
  KSubsets subsets_;
};

/// The balanced bipartitions of {0, ..., n-1} as pairs of variable lists, for
/// one pass. Creating one for n = 0 fails as BalancedMasks does.
class SubsetIterator {
 public:
  explicit SubsetIterator(std::uint64_t n);

  /// The next pair (subset, complement), both ascending, or nothing at the end.
  std::optional<std::pair<VarList, VarList>> next();

 private:
  unsigned n_;
  BalancedMasks masks_;
  std::uint64_t rank_ = 0;
};

/// The first sides of the balanced bipartitions of n variables, in order.
std::vector<VarMask> balanced_subset_masks(unsigned n);

/// Bit j of `value` goes to bit positions[j] of the result, for every j below
/// the length of `positions`. Shift counts are taken modulo 64 on both sides,
/// repeated positions are ORed, and bits of `value` beyond the list are ignored.
std::uint64_t deposit(std::uint64_t value, std::span<const std::uint64_t> positions) noexcept;

}  // namespace varnel
