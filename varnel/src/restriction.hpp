// Restriction counting: the engine of every information measure.
//
// Fixing a list of variables of f to one assignment leaves a sub-function of
// the remaining (free) variables, a *form*. Two forms are the same when their
// tables are equal entry by entry. The measures count the distinct forms over
// all 2^k assignments of the k fixed variables, and weigh them by how many
// assignments produce each one (the Shannon entropy of that distribution).
//
// How it is fast. The truth table is bit-packed; fixing the distinct
// variables V of f is one permutation of its index bits (index_permutation):
// the free variables move to the low index bits, the fixed ones to the high
// bits. The table then *is* the restriction matrix: 2^k rows of 2^m bits
// (m = n - k), row a being the form of assignment a, contiguous in memory.
// Distinct forms are counted by hashing whole rows (words at a time) with an
// exact comparison on every hash match. Nothing of the byte-per-entry
// sub-function vectors is ever built. Counting needs rows only up to one
// fixed permutation of their entries, so form_stats uses the cheapest such
// layout (no bit moves inside words except the ones that must leave them);
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
// Entropy. For counts c_1 .. c_r (summing to T = 2^k), each term is
// p = float(c) / float(T), term = log2f(p) * p (two single-precision
// operations, never fused); the terms are added one by one, in ascending
// order of c, to an accumulator that starts at -0.0, and the result is
// -accumulator. Equal counts give equal terms, so the value depends only on
// the multiset of counts: every route to the same distribution (fixing A
// directly, reading the columns of the matrix of B, refining a smaller
// subset) returns bit-identical entropies. Use entropy_from_counts for it.
//
// Threads. Everything here is a pure function of its arguments: it reads the
// table and works in private or per-thread memory, so any number of threads
// may call it at once on one table (the worker pool included).
//
// For the measure developers (figures: 2-core EPYC, random functions):
//  - one set of variables: form_stats(f, mask) (a VarMask of distinct
//    variables below n) gives the number of forms and the entropy together,
//    for the price of one (n = 20, k = 10: ~30 us; n = 24, k = 12: ~0.5 ms).
//    count_forms_by_multiple_fixed / set_entropy take an arbitrary list.
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
//    balanced_subset_masks(n) (auxiliar.hpp), in SubsetIterator order.
//  - many subsets: subset_stats(f, max_size) returns the stats of every
//    subset of size <= max_size, indexed by mask, optionally on the worker
//    pool (results identical either way). It walks the subsets depth first;
//    a node keeps its distinct forms when they are few (at most one per
//    eight assignments) and its children are then derived from them, each
//    form split into its two cofactors on the new variable and weighted by
//    its count, in time proportional to the forms rather than the table.
//    Nodes whose forms do not repeat are computed from the table directly.
//    Random n = 16: the same cost as 2^16 form_stats calls; majority: 7x
//    less; a function of 10 of 16 variables: 2x less.
//    complete_subset_stats is the same walk over a table of which some
//    entries are already known (the fragmentation profile first finds, from
//    the top level down, the subsets whose forms are all distinct, and leaves
//    the rest to the walk).
//  - the lower-level pieces (restriction_matrix, BitMatrix::transposed,
//    tally_rows, entropy_from_counts) are public for measures that need the
//    forms themselves.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "auxiliar.hpp"
#include "fvalue.hpp"

namespace varnel {

/// A bit matrix of 2^row_bits rows by 2^col_bits columns, stored as one packed
/// table of 2^(row_bits + col_bits) entries: entry (r, c) is table index
/// r * 2^col_bits + c. A row of 64 bits or more is words_per_row() whole
/// words; shorter rows share words (64 / 2^col_bits rows to a word) and are
/// read with narrow_row().
class BitMatrix {
 public:
  BitMatrix(unsigned row_bits, unsigned col_bits, std::vector<std::uint64_t> words);

  unsigned row_bits() const noexcept { return row_bits_; }
  unsigned col_bits() const noexcept { return col_bits_; }
  std::uint64_t rows() const noexcept { return std::uint64_t{1} << row_bits_; }
  std::uint64_t cols() const noexcept { return std::uint64_t{1} << col_bits_; }
  bool get(std::uint64_t r, std::uint64_t c) const noexcept {
    const std::uint64_t x = (r << col_bits_) | c;
    return (words_[x >> 6] >> (x & 63)) & 1u;
  }
  /// The packed table (words_for(rows * cols) words).
  std::span<const std::uint64_t> words() const noexcept { return words_; }
  /// Whether rows are whole words (col_bits >= 6).
  bool wide() const noexcept { return col_bits_ >= 6; }
  /// Words of one row, for wide matrices.
  std::uint64_t words_per_row() const noexcept { return std::uint64_t{1} << (col_bits_ - 6); }
  /// Row r of a wide matrix.
  const std::uint64_t* row_words(std::uint64_t r) const noexcept {
    return words_.data() + (r << (col_bits_ - 6));
  }
  /// Row r of a narrow matrix (col_bits < 6) as the low 2^col_bits bits of a word.
  std::uint64_t narrow_row(std::uint64_t r) const noexcept {
    const std::uint64_t x = r << col_bits_;
    return (words_[x >> 6] >> (x & 63)) & low_mask(std::uint64_t{1} << col_bits_);
  }

  /// The transposed matrix: row c of the result is column c of this one.
  BitMatrix transposed() const;

 private:
  unsigned row_bits_;
  unsigned col_bits_;
  std::vector<std::uint64_t> words_;
};

/// The restriction matrix of f for the variables in `fixed` (each below
/// n_vars): row a is the form of the assignment a of the fixed variables,
/// column b the assignment b of the free ones (both in the canonical bit order
/// above). One gather pass over the packed table, plus one in-word pass when
/// bits must move inside words.
BitMatrix restriction_matrix(const FValue& f, VarMask fixed);

/// The distinct rows of a matrix (or any list of equal-width rows) with their
/// multiplicities, in order of first appearance.
struct RowTally {
  std::vector<std::uint64_t> counts;     ///< summed weight of each distinct row
  std::vector<std::uint64_t> first_row;  ///< index of its first occurrence
};

/// Rows given as a list: `rows` rows of 2^col_bits bits each. Wide rows
/// (col_bits >= 6) are 2^(col_bits-6) consecutive words; narrow rows are
/// either packed (BitMatrix layout) or one per word in the low bits.
struct RowList {
  const std::uint64_t* data;
  std::uint64_t rows;
  unsigned col_bits;
  bool packed;
};

/// Tallies the rows; row i weighs weights[i] (1 each when `weights` is empty).
RowTally tally_rows(const RowList& rows, std::span<const std::uint64_t> weights = {});
RowTally tally_rows(const BitMatrix& m, std::span<const std::uint64_t> weights = {});

/// The entropy in bits of the distribution whose counts sum to 2^total_log2
/// (total_log2 <= 63), summed in ascending order of count as described above.
float entropy_from_counts(std::span<const std::uint64_t> counts, unsigned total_log2);

/// Number of distinct forms and the entropy of their distribution.
struct FormStats {
  std::uint64_t forms = 0;
  float entropy = 0.0f;
  friend bool operator==(const FormStats&, const FormStats&) = default;
};

/// Forms of fixing the distinct variables in `fixed` (each below n_vars).
/// With with_entropy false only `forms` is computed (entropy left 0).
FormStats form_stats(const FValue& f, VarMask fixed, bool with_entropy = true);

/// Forms of fixing an arbitrary list: any order, duplicates counted in k and
/// ORed into the same position, indices at or beyond n_vars reading false,
/// positions taken modulo 64. Lists of distinct in-range variables take the
/// fast path; the others are reduced to weighted forms of their distinct
/// positions (never enumerating 2^k assignments). More than 63 entries
/// (2^k assignments beyond 64-bit counts) is a ValueError.
FormStats form_stats(const FValue& f, std::span<const std::uint64_t> vars, bool with_entropy = true);

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

/// form_stats of every subset S of 0 .. n-1 with |S| <= max_size, indexed by
/// the mask of S (entries of larger subsets stay {0, 0.0f}). Results equal
/// form_stats(f, mask) bit for bit. Runs on the worker pool when `parallel`
/// (the results do not depend on it). Memory: 16 bytes per subset for the
/// result, plus per thread one copy of the packed table and at most an
/// eighth of it per level of depth for kept forms.
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

/// The restriction table of Python's `table`: the restriction matrix of the
/// sorted `vars`. Lists with more entries than n_vars fail with the internal
/// failure "called `Result::unwrap()` on an `Err` value: ShapeError/Overflow:
/// arithmetic overflow"; lists with a repeated or out-of-range variable with
/// "... ShapeError/IncompatibleShape: incompatible shapes" (checked before any
/// work is done).
BitMatrix restriction_table(const FValue& f, std::span<const std::uint64_t> vars);

}  // namespace varnel
