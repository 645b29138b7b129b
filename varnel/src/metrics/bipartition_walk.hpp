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
// entropy is a function of that multiset alone (restriction.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include "fvalue.hpp"
#include "restriction.hpp"

namespace varnel {

/// Exchanges index bits p and q (p != q, both below n) of a packed table of
/// 2^n entries in place.
void swap_index_bits(std::vector<std::uint64_t>& words, unsigned n, unsigned p, unsigned q);

/// Counts the distinct rows of a packed restriction matrix and weighs them:
/// form_stats of the rows, with its own reusable memory. Built for the walk's
/// case, every row of a small matrix at once and most of them distinct: the
/// row hashes are computed first (independent of one another), then entered
/// into an open-addressing table at most a quarter full, whose slots are
/// invalidated by a stamp rather than cleared. Rows with equal hashes are
/// compared exactly.
class RowCounter {
 public:
  /// Stats of the 2^row_bits rows of 2^col_bits bits each in `words` (the
  /// BitMatrix layout); the entropy is that of fixing row_bits variables.
  FormStats count(const std::uint64_t* words, unsigned row_bits, unsigned col_bits,
                  bool with_entropy);

 private:
  struct Slot {
    std::uint64_t hash;
    std::uint32_t stamp;
    std::uint32_t id;
  };
  void prepare_slots(std::uint64_t rows);
  template <class Same>
  void enter(std::uint64_t hash, std::uint64_t row, Same&& same);
  float entropy(unsigned row_bits);

  std::vector<std::uint64_t> hashes_;
  std::vector<Slot> slots_;
  std::uint64_t slot_mask_ = 0;
  unsigned slot_shift_ = 64;
  std::uint32_t stamp_ = 0;
  std::vector<std::uint64_t> counts_;
  std::vector<std::uint64_t> first_row_;
  // The entropy of 2^k distinct forms, by k (NaN until first needed).
  float all_distinct_[64];
  bool all_distinct_known_[64] = {};
};

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
  RowCounter counter_;
  VarMask first_ = 0;
  bool valid_ = false;
  std::vector<std::uint64_t> rows_a_, rows_b_;
  unsigned pos_a_[64] = {};
  unsigned pos_b_[64] = {};
};

}  // namespace varnel
