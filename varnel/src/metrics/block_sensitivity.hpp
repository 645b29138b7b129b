// Block sensitivity. A block B (a set of variables) is sensitive at x when
// flipping all of B changes the value: f(x XOR B) != f(x). bs(f, x) is the
// largest number of pairwise disjoint sensitive blocks at x, and bs(f) the
// largest bs(f, x). s(f) <= bs(f) <= C(f).
//
// Only the minimal sensitive blocks matter (any sensitive block contains one),
// and they are found for all blocks at once on the packed table: the table of
// sensitive blocks at x is f permuted by XOR x, its subset closure marks the
// blocks that contain a sensitive block, and a sensitive block is minimal when
// no block one variable smaller is marked. A singleton minimal block is
// disjoint from every other minimal block, so the sensitive variables count
// directly and a branch-and-bound packing runs over the larger blocks only.
#pragma once

#include <cstdint>
#include <vector>

#include "fvalue.hpp"

namespace varnel {

/// The largest number of variables accepted (the blocks are 32-bit masks).
inline constexpr unsigned kMaxBlockSensitivityVars = 24;

/// The minimal sensitive blocks at x, in increasing order of their masks.
std::vector<std::uint32_t> minimal_sensitive_blocks(const FValue& f, std::uint64_t x);

/// bs(f, x); x must be below the table length.
std::uint32_t point_block_sensitivity(const FValue& f, std::uint64_t x);

/// bs(f): the inputs are searched on the worker pool, each pruned by the best
/// value found so far. More than kMaxBlockSensitivityVars variables is a
/// ValueError.
std::uint32_t block_sensitivity(const FValue& f);

}  // namespace varnel
