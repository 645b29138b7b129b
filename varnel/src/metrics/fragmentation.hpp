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
// How the entropies are found. The profile needs every subset, by one of
// two routes chosen from a sample of 16 subsets of half the variables:
//  - most functions, from 12 variables up: the subsets that leave at most
//    four variables free are counted from the table (rows of at most 16
//    bits); every other one comes from a superset's form ids
//    (subset_descent.hpp): two assignments of S have the same form exactly
//    when both of their halves under S + {v} do. A subset whose forms are
//    all distinct has only all-distinct subsets, which are filled in without
//    a visit. A random function of 20 variables needs about 25,000 subsets
//    visited, the exclusive or of random functions of its two halves about
//    510,000;
//  - functions whose forms are few on most sampled subsets (majority,
//    symmetric functions, juntas), and all below 12 variables: the search
//    for all-distinct subsets described below, then the refining walk for
//    the rest, whose cost follows the number of forms, not of assignments.
// A single level (fragmentation_k) takes the cheapest of three routes by
// estimates from samples of it and of the levels below: each subset from
// the table; a search from the highest level that can have all-distinct
// forms down to the level, where a subset with an all-distinct superset is
// known at once (2^k distinct rows of 2^(n-k) bits need k <= 2^(n-k), and
// the search stops computing every candidate once a sample shows forms that
// repeat a lot); or the refining walk over every level up to it
// (subset_walk.hpp), which derives the forms of a subset from those of a
// smaller one where they repeat. Every route gives the entropy bit for bit
// equal to form_stats(f, S), so the results do not depend on the route or
// the pool.
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
  std::uint64_t computed = 0;  ///< from the table
  std::uint64_t implied = 0;   ///< known from an all-distinct superset
  std::uint64_t walked = 0;    ///< by the refining walk
  std::uint64_t derived = 0;   ///< from a superset's form ids (subset_descent.hpp)
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
