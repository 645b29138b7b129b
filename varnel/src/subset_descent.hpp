// The restriction stats of many subsets, from the top down: each subset's
// forms derived from a superset's form ids.
//
// Fixing S + {v} instead of S splits each assignment a of S in two, (a, v=0)
// and (a, v=1), and the form of a under S is the pair of their forms. So two
// assignments of S have the same form exactly when both halves have the same
// forms under S + {v}: a subset's forms follow from one superset's form ids,
// with no pass over the table. descend_subset_stats walks the subsets this
// way, depth first, each from one superset (the parent of S adds the lowest
// variable missing from S). The walk starts at the subsets that leave four
// variables free, whose forms are 16-bit rows counted from the table.
//
// How it is fast:
//  - an assignment whose form no other assignment shares keeps a unique form
//    under every subset; it is marked once and then costs one read per level,
//    so subsets whose forms are nearly all distinct are nearly free;
//  - a subset whose forms are all distinct has only all-distinct subsets
//    below it; those are filled in without being visited;
//  - the most frequent starting row (the zero row of a sparse function)
//    takes id 0, and so does every pair of two id-0 halves below it: while
//    that form stays common, its pairs are not counted;
//  - a subset without variable 0 has no subsets below it in the walk: its
//    forms are counted without writing ids;
//  - the pairs of ids are gathered sixteen at a time where the processor
//    has AVX-512 (the kept ones by compressed stores);
//  - pairs of repeated forms are counted in a direct table (superset of at
//    most 256 repeated forms) or a hash table (fewer than 65,536), or grouped
//    by their first id (a counting sort) and found by their second id in a
//    table stamped per group, with no branch on whether a pair is new. Which
//    is fastest depends on the order of the pairs, so each subset size times
//    its two candidates now and then and takes the faster one; the results
//    are the same either way.
// Per assignment it costs about 1-2 ns where forms repeat a lot and 3-8 ns
// where new and repeated forms interleave (bench_fragmentation). Memory per
// thread: about two bytes per table entry (the ids of the subsets on the
// current path, four bytes per assignment, and the pairs of the largest
// subset), plus under 1 MiB of tables.
#pragma once

#include <cstdint>
#include <span>

#include "form_entropy.hpp"
#include "fvalue.hpp"

namespace varnel {

/// The walk starts at the subsets that leave this many variables free.
inline constexpr unsigned kDescentFreeVars = 4;

/// How many subsets each route gave.
struct DescentCounts {
  std::uint64_t from_table = 0;  ///< the starting subsets, counted from the table
  std::uint64_t derived = 0;     ///< from a superset's form ids
  std::uint64_t implied = 0;     ///< below an all-distinct subset
};

/// form_stats of every subset S of 0 .. n-1 with |S| <= n - kDescentFreeVars,
/// written into stats[mask of S] (2^n entries; the others are left alone),
/// bit for bit equal to form_stats(f, S). Needs n >= kDescentFreeVars. On the
/// worker pool when `parallel` (the results do not depend on it).
DescentCounts descend_subset_stats(const FValue& f, std::span<FormStats> stats, bool parallel);

}  // namespace varnel
