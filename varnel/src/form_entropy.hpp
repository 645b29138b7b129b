// The statistics of a distribution of forms: how many distinct forms there
// are, and the Shannon entropy of their counts.
//
// For counts c_1 .. c_r (summing to T = 2^k), each term is
// p = float(c) / float(T), term = log2f(p) * p (two single-precision
// operations, never fused); the terms are added one by one, in ascending
// order of c, to an accumulator that starts at -0.0, and the result is
// -accumulator. Equal counts give equal terms, so the value depends only on
// the multiset of counts: every route to the same distribution (fixing A
// directly, reading the columns of the matrix of B, refining a smaller
// subset) returns bit-identical entropies.
#pragma once

#include <cstdint>
#include <span>

namespace varnel {

/// The entropy in bits of the distribution whose counts sum to 2^total_log2
/// (total_log2 <= 63), summed in ascending order of count as described above;
/// `units` more counts of 1 may be given as a number instead of entries.
float entropy_from_counts(std::span<const std::uint64_t> counts, unsigned total_log2,
                          std::uint64_t units = 0);

/// Number of distinct forms and the entropy of their distribution.
struct FormStats {
  std::uint64_t forms = 0;
  float entropy = 0.0f;
  friend bool operator==(const FormStats&, const FormStats&) = default;
};

/// The stats of 2^k forms that are all distinct (k <= 63): the entropy of
/// 2^k unit counts, summed once per k and process, then remembered.
FormStats all_distinct_stats(unsigned k);

/// The stats of the counts of the forms of 2^k assignments; with
/// with_entropy false the entropy is left 0.
FormStats stats_of_counts(std::span<const std::uint64_t> counts, unsigned k, bool with_entropy);

/// The same with `units` more forms of count 1 given as a number.
FormStats stats_of_counts(std::span<const std::uint64_t> counts, std::uint64_t units, unsigned k);

}  // namespace varnel
