// Variable subsets and bit deposit, shared by the restriction measures.
//
// SubsetIterator enumerates the balanced bipartitions (S, C) of the variables
// {0, ..., n-1}: |S| = floor(n/2), |C| = ceil(n/2), each unordered split once,
// in lexicographic order of S. For even n, S always holds variable 0.
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

/// A variable list: variable indices, bit j of an input index being variable j.
using VarList = std::vector<std::uint64_t>;

/// Combinations of size k from a pool of p items, as index vectors in
/// lexicographic order. k = 0 yields one empty combination; k > p yields none.
class Combinations {
 public:
  Combinations(std::uint64_t pool_size, std::uint64_t k);
  /// The next index vector, or nullptr at the end. Valid until the next call.
  const std::vector<std::uint64_t>* next();

 private:
  std::uint64_t pool_size_;
  std::vector<std::uint64_t> indices_;
  bool first_ = true;
  bool done_ = false;
};

/// The balanced bipartitions of {0, ..., n-1}. Creating one for n = 0 fails
/// with the internal failure "capacity overflow" (a function of no variables
/// has no balanced bipartition).
class SubsetIterator {
 public:
  explicit SubsetIterator(std::uint64_t n);

  /// The next pair (subset, complement), both ascending, or nothing at the end.
  std::optional<std::pair<VarList, VarList>> next();

 private:
  std::uint64_t n_;
  std::uint64_t first_pool_item_;  // 0 for odd n, 1 for even n
  Combinations combinations_;
};

/// Bit j of `value` goes to bit positions[j] of the result, for every j below
/// the length of `positions`. Shift counts are taken modulo 64 on both sides,
/// repeated positions are ORed, and bits of `value` beyond the list are ignored.
std::uint64_t deposit(std::uint64_t value, std::span<const std::uint64_t> positions) noexcept;

/// The subsets S of the SubsetIterator of n variables, as bit masks (bit v set
/// for v in S), in the same order. For 1 <= n <= 63; n = 0 fails as above.
std::vector<std::uint64_t> balanced_subset_masks(unsigned n);

}  // namespace varnel
