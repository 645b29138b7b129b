// Tallying rows: the distinct rows of a list of equal-width bit rows, with
// the summed weight of each. This is the one distinct-row counter of the
// library; every measure that counts forms counts them here.
//
// How it is fast. Rows are compared by hashing, with an exact comparison on
// every hash match (none is needed where the hash is a bijection of the row:
// rows of up to one word). The strategy depends on the width of the rows and
// is chosen in one place (RowTallier::run):
//  - rows inside a word (fewer than 64 bits) are keys: up to 8 bits, a direct
//    table; when only the counts are wanted and there are many rows, the keys
//    are counted by a histogram (up to 16 bits) or a radix sort (32 bits);
//    otherwise a direct table over all 16-bit keys, or the hash table below;
//  - rows of one, two or more words are hashed a batch at a time, the
//    table slots of the next batch prefetched while the current one is
//    entered, into an open-addressing table with room for eight times the
//    rows expected (kept at most half full as it grows), whose slots are
//    invalidated by a stamp rather than cleared; a larger table left by an
//    earlier tally is used in part. The sparse table is what makes it fast:
//    probes rarely meet another row, so the cost is one cache miss per row.
//    Rows of one and two words have their own compiled loops (run_wide<1>,
//    run_wide<2>). A counts-only tally of one-word rows (whose hash is a
//    bijection) does not record first rows.
// A RowTallier keeps its memory from one tally to the next, so the repeated
// tallies of a measure allocate (and fault in) nothing new.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "form_entropy.hpp"

namespace varnel {

/// Rows given as a list: `rows` rows of 2^col_bits bits each. Wide rows
/// (col_bits >= 6) are 2^(col_bits-6) consecutive words; narrow rows are
/// either packed (BitMatrix layout) or one per word in the low bits.
struct RowList {
  const std::uint64_t* data;
  std::uint64_t rows;
  unsigned col_bits;
  bool packed;
};

/// The weight of row i: 1 for every row when `per` is null, otherwise
/// per[i >> shift] (shift 0: a weight per row; shift 1: one per pair of rows).
struct RowWeights {
  const std::uint64_t* per = nullptr;
  unsigned shift = 0;
};

/// Narrow rows are counted as keys when only the counts are wanted and there
/// are at least 2^kKeyMinRowBits of them.
inline constexpr unsigned kKeyMinRowBits = 10;

/// What a tally gives besides the counts.
enum class RowOrder {
  first_seen,   ///< distinct rows in order of first appearance, with first_row
  counts_only,  ///< the counts in any order; first_row not to be read
};

class RowTallier {
 public:
  std::vector<std::uint64_t> counts;     ///< summed weight of each distinct row
  std::vector<std::uint64_t> first_row;  ///< index of its first occurrence

  /// Tallies a list of rows.
  void run(const RowList& rows, RowWeights weights = {}, RowOrder order = RowOrder::first_seen);

  /// The stats of the tally as the forms of fixing k variables (the counts
  /// sum to 2^k).
  FormStats stats(unsigned k, bool with_entropy) const {
    return stats_of_counts(counts, k, with_entropy);
  }

  /// Rows added one at a time and kept as copies (rows of 2^col_bits bits,
  /// narrow ones in the low bits of one word); first_row is the number of the
  /// call that brought each distinct row.
  void start_owned(unsigned col_bits);
  void add_owned(const std::uint64_t* row, std::uint64_t weight);

  /// Bytes of memory held.
  std::size_t memory() const noexcept;

 private:
  struct Slot {
    std::uint64_t hash;
    std::uint64_t tag;  // the distinct row's number above the tally's stamp
  };
  struct DirectEntry {
    std::uint32_t stamp;
    std::uint32_t id;
  };

  template <class Weight>
  void run_with(const RowList& rows, Weight weight, RowOrder order);
  template <class Weight>
  void run_tiny(const RowList& rows, Weight& weight);
  template <class Weight>
  void run_narrow(const RowList& rows, Weight& weight);
  void run_keys(const RowList& rows);
  template <std::uint64_t Width, class Weight>
  void run_wide(const RowList& rows, Weight& weight);
  template <class Weight, class HashOf, class Same>
  void run_hashed(std::uint64_t count, Weight& weight, HashOf&& hash_of, Same&& same);

  void prepare_slots(std::uint64_t expected);
  void grow_slots();
  template <class Same>
  void enter(std::uint64_t hash, std::uint64_t weight, std::uint64_t row, Same&& same);

  std::vector<Slot> slots_, slots_scratch_;
  bool keep_first_ = true;        // first_row wanted (hashed tallies)
  std::uint64_t slot_count_ = 0;  // slots in use by this tally (a prefix of slots_)
  std::uint64_t slot_mask_ = 0;
  unsigned slot_shift_ = 64;
  std::uint64_t stamp_ = 0;  // in use: a slot whose stamp bits equal it
  std::vector<DirectEntry> direct_;
  std::uint32_t direct_stamp_ = 0;
  std::vector<std::uint32_t> keys_, sorted_, histogram_;  // histogram_ all zero between tallies
  std::vector<std::uint64_t> owned_;
  unsigned owned_bits_ = 0;
};

}  // namespace varnel
