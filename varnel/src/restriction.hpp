// Restriction forms: the engine of every information measure.
//
// Fixing a list of variables of f to one assignment leaves a sub-function of
// the remaining (free) variables, a *form*. Two forms are the same when their
// tables are equal entry by entry. The measures count the distinct forms over
// all 2^k assignments of the k fixed variables, and weigh them by how many
// assignments produce each one (the Shannon entropy of that distribution,
// form_entropy.hpp).
//
// How it is fast. The truth table is bit-packed; fixing the distinct
// variables V of f is one permutation of its index bits (index_permutation):
// the free variables move to the low index bits, the fixed ones to the high
// bits. The table then *is* the restriction matrix (bit_matrix.hpp): 2^k rows
// of 2^m bits (m = n - k), row a being the form of assignment a, contiguous
// in memory, and the distinct forms are its distinct rows (row_tally.hpp).
// Nothing of the byte-per-entry sub-function vectors is ever built. Counting
// needs rows only up to one fixed permutation of their entries, so
// form_stats uses the cheapest such layout (counting_layout);
// restriction_matrix gives the canonical layout below. Working buffers are
// kept per thread between calls (up to 64 MiB), because faulting in fresh
// pages costs more than the counting itself.
//
// The canonical form of a sub-function: entry j of the form of fixing V is
// the value of f when the free variables take the bits of j, the t-th
// smallest free variable bit t. Assignment a gives the t-th smallest fixed
// variable bit t of a. Every function here uses this convention, so forms
// obtained by different routes (a restriction matrix, a transpose, a
// cofactor split) compare equal exactly when the sub-functions are equal.
//
// Threads. Everything here is a pure function of its arguments: it reads the
// table and works in private or per-thread memory, so any number of threads
// may call it at once on one table (the worker pool included).
//
// For the measure developers (timings: bench_restriction, `make bench`):
//  - one set of variables: form_stats(f, mask) (a VarMask of distinct
//    variables below n) gives the number of forms and the entropy together,
//    for the price of one. count_forms_by_multiple_fixed / set_entropy take
//    an arbitrary list.
//  - a balanced bipartition (A, B): bipartition_stats(f, mask_of_A) gives
//    both sides. Rows of the matrix of A are the forms of fixing A; the forms
//    of fixing B are its columns. When A's forms repeat, the distinct rows
//    are transposed (a column's equalities do not depend on repeated rows),
//    which is far cheaper than a second restriction; otherwise B is
//    restricted directly (a transpose moves every bit across words, a
//    restriction about half). Per bipartition:
//        entropy       v = s.first.entropy + s.second.entropy  (H(A) first)
//        entanglement  w = s.first.forms + s.second.forms
//    with `with_entropy = false` for entanglement. Enumerate the masks with
//    balanced_subset_masks(n) or BalancedMasks (auxiliar.hpp).
//  - many subsets: subset_stats (subset_walk.hpp).
//  - the lower-level pieces (restriction_matrix, BitMatrix::transposed,
//    RowTallier, entropy_from_counts) are public for measures that need the
//    forms themselves.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "auxiliar.hpp"
#include "bit_matrix.hpp"
#include "form_entropy.hpp"
#include "fvalue.hpp"
#include "row_tally.hpp"

namespace varnel {

/// The restriction matrix of f for the variables in `fixed` (each below
/// n_vars): row a is the form of the assignment a of the fixed variables,
/// column b the assignment b of the free ones (both in the canonical bit order
/// above). One gather pass over the packed table, plus one in-word pass when
/// bits must move inside words.
BitMatrix restriction_matrix(const FValue& f, VarMask fixed);

/// The table laid out as a restriction matrix for `fixed` (2^k rows of 2^m
/// bits, packed) up to one fixed permutation of the entries of every row,
/// which is all that counting needs: rows compare equal exactly when the
/// forms do. Index bits move as little as they can: for rows of a word or
/// more the free variables among index bits 0..5 keep their places, each
/// fixed variable there exchanged with a free one from outside the word; for
/// shorter rows the free variables below m keep theirs, each free variable
/// above m exchanged with a fixed one below m. Written into `out` (resized);
/// `dest_out`, when given, receives the new index bit of every variable
/// (entries 0 .. n-1), so a free variable v is column bit dest_out[v].
void counting_layout(const FValue& f, VarMask fixed, std::vector<std::uint64_t>& out,
                     unsigned* dest_out = nullptr);

/// Forms of fixing the distinct variables in `fixed` (each below n_vars).
/// With with_entropy false only `forms` is computed (entropy left 0).
FormStats form_stats(const FValue& f, VarMask fixed, bool with_entropy = true);

/// Forms of fixing an arbitrary list: any order, duplicates counted in k and
/// ORed into the same position, indices at or beyond n_vars reading false,
/// positions taken modulo 64. Lists of distinct in-range variables take the
/// fast path; the others are reduced to weighted forms of their distinct
/// positions (never enumerating 2^k assignments). More than 63 entries
/// (2^k assignments beyond 64-bit counts) is a ValueError.
FormStats form_stats(const FValue& f, std::span<const std::uint64_t> vars,
                     bool with_entropy = true);

/// The number of distinct forms when `vars` are fixed (at least 1).
std::uint64_t count_forms_by_multiple_fixed(const FValue& f, std::span<const std::uint64_t> vars);

/// The entropy in bits of the distribution of forms when `vars` are fixed and
/// every assignment is equally likely.
float set_entropy(const FValue& f, std::span<const std::uint64_t> vars);

/// Both sides of a bipartition: `first` for fixing the variables of the
/// mask, `second` for fixing the rest of 0 .. n-1.
struct BipartitionStats {
  FormStats first;
  FormStats second;
  friend bool operator==(const BipartitionStats&, const BipartitionStats&) = default;
};

/// form_stats of `first` and of its complement, from one restriction matrix.
BipartitionStats bipartition_stats(const FValue& f, VarMask first, bool with_entropy = true);

/// The restriction table of Python's `table`: the restriction matrix of the
/// sorted `vars`. Lists with more entries than n_vars fail with the internal
/// failure "called `Result::unwrap()` on an `Err` value: ShapeError/Overflow:
/// arithmetic overflow"; lists with a repeated or out-of-range variable with
/// "... ShapeError/IncompatibleShape: incompatible shapes" (checked before any
/// work is done).
BitMatrix restriction_table(const FValue& f, std::span<const std::uint64_t> vars);

}  // namespace varnel
