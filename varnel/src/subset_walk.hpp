// The restriction stats of every subset of the variables up to a size.
//
// subset_stats(f, max_size) returns the stats of every subset of size
// <= max_size, indexed by mask, optionally on the worker pool (results
// identical either way). It walks the subsets depth first; a node keeps its
// distinct forms when they are few (at most one per two assignments) and
// its children are then derived from them, each form split into its two
// cofactors on the new variable and weighted by its count, in time
// proportional to the forms rather than the table. The other nodes are
// counted from a layout of the table (counting_layout), each made from its
// parent's layout by one exchange of two index bits (swap_index_bits) when
// the parent's is in memory. On random functions this
// costs about as much as one form_stats call per subset; on functions whose
// forms repeat (majority, juntas) far less (bench_restriction, `make bench`).
// complete_subset_stats is the same walk over a table of which some entries
// are already known (the fragmentation profile first finds, from the top
// level down, the subsets whose forms are all distinct, and leaves the rest
// to the walk).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "form_entropy.hpp"
#include "fvalue.hpp"

namespace varnel {

/// form_stats of every subset S of 0 .. n-1 with |S| <= max_size, indexed by
/// the mask of S (entries of larger subsets stay {0, 0.0f}). Results equal
/// form_stats(f, mask) bit for bit. Runs on the worker pool when `parallel`
/// (the results do not depend on it). Memory: 16 bytes per subset for the
/// result, plus per thread, for tables of up to 2^24 entries, one copy of
/// the packed table per level of depth (the layouts; one copy in all for
/// larger tables), half of it per level of depth for kept forms, and one
/// copy for scratch.
std::vector<FormStats> subset_stats(const FValue& f, unsigned max_size, bool with_entropy = true,
                                    bool parallel = false);

/// subset_stats into a given table, for callers that already know some of the
/// entries: `stats` and `known` hold 2^n entries each, indexed by mask; an
/// entry whose `known` byte is non-zero is taken as given (its forms are only
/// recomputed when the walk wants them to refine its supersets), every other
/// entry with |S| <= max_size is filled. The given entries must equal
/// form_stats(f, mask).
void complete_subset_stats(const FValue& f, unsigned max_size, std::span<FormStats> stats,
                           std::span<const std::uint8_t> known, bool with_entropy = true,
                           bool parallel = false);

}  // namespace varnel
