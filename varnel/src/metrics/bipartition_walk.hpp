// A walk through balanced bipartitions that keeps both restriction matrices
// of the current bipartition and updates them when the walk moves on.
//
// For a bipartition (A, B) of the variables the walker holds two copies of the
// packed table with permuted index bits: `rows_a`, whose high index bits are
// the variables of A and whose low bits those of B (so its rows are the forms
// of fixing A), and `rows_b`, the other way round. Within each group the
// variables may sit in any order: counting forms only needs rows up to one
// fixed permutation of their entries, and the order of the rows themselves
// does not matter at all.
//
// Consecutive bipartitions of the lexicographic enumeration mostly differ by
// one variable u of A trading places with one variable v of B. That move is
// one exchange of two index bits in each table, a single cheap pass over the
// words (an in-word delta swap, a delta swap between word pairs, or an
// exchange of word blocks), where a fresh restriction from the table costs a
// full gather. Moves of several variables fall back to the fresh layout.
//
// The stats equal bipartition_stats(f, mask) bit for bit: the number of forms
// and the multiset of their counts do not depend on the layout, and the
// entropy is a function of that multiset alone (form_entropy.hpp). Both
// sides are counted by one row tally (row_tally.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include "fvalue.hpp"
#include "restriction.hpp"

namespace varnel {

/// Exchanges index bits p and q (p != q, both below n) of a packed table of
/// 2^n entries in place.
void swap_index_bits(std::vector<std::uint64_t>& words, unsigned n, unsigned p, unsigned q);

class BipartitionWalker {
 public:
  /// For functions of 2 to 63 variables; sides must both be non-empty.
  explicit BipartitionWalker(const FValue& f);

  /// Moves to the bipartition whose first side is `first`.
  void move_to(VarMask first);

  /// form_stats of the first side and of its complement.
  BipartitionStats stats(bool with_entropy);

 private:
  void lay_out(VarMask first);
  void exchange(unsigned u, unsigned v);

  const FValue& f_;
  unsigned n_;
  RowTallier counter_;
  VarMask first_ = 0;
  bool valid_ = false;
  std::vector<std::uint64_t> rows_a_, rows_b_;
  unsigned pos_a_[64] = {};
  unsigned pos_b_[64] = {};
};

}  // namespace varnel
