// Fragmentation: how a function breaks into forms as more and more of its
// variables are fixed.
//
// F(k), the fragmentation at level k, is the mean restriction entropy H(S)
// (set_entropy) over the k-element subsets S of the n variables. The profile
// P = F(0), ..., F(n), its peak and its first and second differences are
// built on it. Operation group `Fragmentation`: fragmentation_k and
// fragmentation_delta; the profile, the peak and the second difference are
// composed from the same pieces.
//
// The values. A level lists its subsets in lexicographic order of their
// ascending variable lists ([0, 1, 2], [0, 1, 3], ...). Its entropies are
// summed in single precision, acc = acc + H(S) from -0.0, and the sum is
// divided once by float(C(n, k)). Lists of up to kLeafSubsets entries (every
// level for n <= 12) are summed in list order. Longer lists are summed as a
// fixed binary tree: split into halves, the first of floor(length / 2)
// entries, until a part has at most kLeafSubsets entries; each part is summed
// in list order and the halves are added left + right. The tree depends on
// the length alone, never on the pool, so every result is reproducible.
// Levels above n give +0.0, F(0) is -0.0.
//
// How the entropies are found. Fixing S gives 2^|S| forms; when they are
// all distinct, so are the forms of every subset of S (a row of a subset is
// a concatenation of rows of S), and H(S) depends only on |S|. For most
// functions nearly every subset is of that kind, so the profile:
//  1. computes the subsets of 1 and 2 variables directly; a subset that
//     contains one of them with repeated forms has repeated forms itself;
//  2. goes down the levels from the highest one that can have all-distinct
//     forms (2^k distinct rows of 2^(n-k) bits need k <= 2^(n-k)): a subset
//     with an all-distinct superset is known at once; any other one that may
//     be all-distinct is computed, in parallel within the level for n >= 10.
//     It stops computing every candidate when a sample of a level (every
//     32nd subset), or a whole level, shows forms that repeat a lot, where
//     refining forms is cheaper. From then on it still computes each lower
//     level's sample, and the rest of a level when the sample's share of
//     all-distinct subsets would spare more work below than the level costs:
//     all-distinct subsets are closed downward, and where forms repeat only
//     on large subsets (the exclusive or of functions of disjoint parts of
//     the variables) they lie a few levels down;
//  3. leaves every subset still unknown to complete_subset_stats, which
//     derives the forms of a subset from those of a smaller one where they
//     repeat, and lays out the table for the others from their parent's
//     layout.
// A random function of 20 variables needs about 22,000 of its 2^20 subsets
// computed (subsets that leave at most five variables free have their forms
// counted as keys of up to 32 bits, row_tally.hpp); the exclusive or of
// random functions of the two halves about 135,000, with 670,000 implied.
// A single level (fragmentation_k) takes the cheapest of three routes by
// estimates from samples of it and of the levels below: each subset from
// the table, the search of step 2 down to the level, or the refining walk
// over every level up to it. Every route gives the entropy bit for bit equal
// to form_stats(f, S), so the results do not depend on the route or the
// pool.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "auxiliar.hpp"
#include "fvalue.hpp"
#include "restriction.hpp"

namespace varnel {

/// Lists of at most this many subsets are summed in list order.
inline constexpr std::uint64_t kLeafSubsets = 1024;

// ---------------------------------------------------------------------------
// Operation group Fragmentation

/// F(k): the mean restriction entropy over the k-subsets; +0.0 for k > n.
float fragmentation_k(const FValue& f, std::uint64_t k);

/// D: the first differences P[i + 1] - P[i] of the profile (n entries).
std::vector<float> fragmentation_delta(const FValue& f);

// ---------------------------------------------------------------------------
// Composed measures

/// P: F(0), ..., F(n).
std::vector<float> fragmentation_profile(const FValue& f);

/// The first largest entry of P as (index, value).
std::pair<std::uint64_t, float> fragmentation_peak(const FValue& f);

/// D2: the differences of D (n - 1 entries; empty for n <= 1).
std::vector<float> fragmentation_delta2(const FValue& f);

// ---------------------------------------------------------------------------
// Building blocks

/// The sum of a level's entropies, grouped as described above.
float level_sum(std::span<const float> values);

/// F(k) from the entropies of the level's subsets, in list order.
float level_mean(std::span<const float> values, unsigned n, unsigned k);

/// Pairwise differences v[i + 1] - v[i]; empty for fewer than two entries.
std::vector<float> differences(std::span<const float> v);

/// The first strict maximum of p, scanning from (0, -infinity).
std::pair<std::uint64_t, float> first_peak(std::span<const float> p);

/// How many subsets took each route in all_subset_stats.
struct SubsetRoutes {
  std::uint64_t computed = 0;  ///< from the table, while looking for all-distinct subsets
  std::uint64_t implied = 0;   ///< known from an all-distinct superset
  std::uint64_t walked = 0;    ///< left to the refining walk
};

/// form_stats of every subset of the variables, indexed by mask, by the route
/// described above; on the worker pool when `parallel`.
std::vector<FormStats> all_subset_stats(const FValue& f, bool parallel,
                                        SubsetRoutes* routes = nullptr);

/// How level_entropies finds a level: by its estimate of the cheapest route,
/// or (for the tests) each subset from the table, with the search for
/// all-distinct subsets above it, or by the refining walk over every subset
/// up to the level.
enum class LevelRoute { automatic, direct, from_above, walk };

/// The entropies of the level-k subsets (k <= n), in level_masks order
/// (auxiliar.hpp); on
/// the worker pool when `parallel`.
std::vector<float> level_entropies(const FValue& f, unsigned k, bool parallel,
                                   LevelRoute route = LevelRoute::automatic);

}  // namespace varnel
