// Every subset's forms from one superset's form ids, depth first from the
// subsets that leave four variables free.
#include "subset_descent.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <immintrin.h>
#include <vector>

#include "auxiliar.hpp"
#include "error.hpp"
#include "interrupt.hpp"
#include "pool.hpp"
#include "restriction.hpp"
#include "simd.hpp"

namespace varnel {

namespace {

using Id = std::uint32_t;

// The id of an assignment whose form no other assignment has.
constexpr Id kUnique = 0x80000000u;
// Supersets with at most this many repeated forms count pairs of ids in a
// direct table of kDirectForms^2 entries.
constexpr std::uint64_t kDirectForms = 256;
constexpr std::uint64_t kDirectSize = kDirectForms * kDirectForms;
// Supersets with fewer than this many repeated forms may hash pairs as
// 32-bit keys; those with more always group them.
constexpr std::uint64_t kHashedForms = 65536;
// The pairs (0, 0) skip the tallies when form 0 has at least one in
// kCommonShare of a superset's assignments.
constexpr std::uint64_t kCommonShare = 32;
// Rows of the starting subsets: 2^kDescentFreeVars = 16 bits, read as
// 16-bit keys (Descent::start).
static_assert(kDescentFreeVars == 4, "the starting rows are read as 16-bit keys");
constexpr unsigned kRootKeys = 1u << (1u << kDescentFreeVars);

// The forms of one subset of k variables.
struct Level {
  std::vector<Id> ids;                // per assignment: kUnique, or an index into counts
  std::vector<std::uint64_t> counts;  // assignments per repeated form (some may be 1)
  std::uint64_t uniques = 0;          // assignments marked kUnique
};

// The recent cost of two ways of counting pairs (1 is grouping) in
// ticks per assignment: each is tried first, the slower one again
// every kRetry splits, and the faster one taken otherwise.
struct TallyCost {
  static constexpr std::uint32_t kRetry = 16;
  double per_pair[2] = {0.0, 0.0};
  std::uint32_t splits = 0;

  unsigned choose() {
    ++splits;
    if (per_pair[0] == 0.0) return 0;
    if (per_pair[1] == 0.0) return 1;
    const unsigned faster = per_pair[1] < per_pair[0] ? 1 : 0;
    return splits % kRetry == 0 ? 1 - faster : faster;
  }
  void update(unsigned tally, double ns) {
    double& c = per_pair[tally];
    c = c == 0.0 ? ns : 0.75 * c + 0.25 * ns;
    if (c == 0.0) c = 1e-9;
  }
};

// What a thread keeps from one starting subset to the next.
struct Scratch {
  std::vector<Level> levels;              // by subset size
  std::vector<std::uint32_t> root_count;  // per 16-bit row, all zero between roots
  std::vector<Id> root_id;                // per 16-bit row
  std::vector<std::uint32_t> root_row;    // per repeated form of a start: its row
  std::vector<std::uint32_t> direct;      // per pair of ids: stamp << 16 | id
  std::uint32_t direct_stamp = 0;
  std::vector<std::uint32_t> direct_count;  // four partial counts per form
  std::vector<std::uint64_t> keys;          // pairs of repeated forms
  std::vector<std::uint32_t> where;         // their assignments
  std::vector<std::uint32_t> group_start;   // per first id: where its pairs start
  std::vector<std::uint32_t> order;         // the pairs grouped by first id
  std::vector<std::uint64_t> seen;          // per second id: stamp << 32 | form
  std::uint64_t seen_stamp = 0;
  std::vector<std::uint64_t> slots;  // hash table of 32-bit keys
  // Per subset size and whether ids are wanted: the direct table (0) or
  // grouping (1), and hashing (0) or grouping (1).
  TallyCost few_cost[64][2];
  TallyCost many_cost[64][2];
  std::vector<std::uint64_t> pair_count;  // per form of a grouped tally
  std::vector<Id> renumber;
};

// A cheap clock for comparing the tallies: the time-stamp counter where
// there is one.
std::uint64_t ticks() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_ia32_rdtsc();
#else
  return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

std::uint64_t hash_slot(std::uint64_t key, int shift) {
  return (key * 0x9E3779B97F4A7C15ull) >> shift;
}

// Calls body(b, id0, id1) for every assignment b of a subset without
// variable v (the v-th of the superset's), with the ids in `in` of its two
// halves in the superset.
template <class Body>
void for_each_pair(const Id* in, std::uint64_t size, unsigned v, Body&& body) {
  const std::uint64_t step = std::uint64_t{1} << v;
  const std::uint64_t low = step - 1;
  for (std::uint64_t b = 0; b < size; ++b) {
    const std::uint64_t a0 = ((b & ~low) << 1) | (b & low);
    body(b, in[a0], in[a0 + step]);
  }
}

// What gathering the pairs of one split found.
struct Gathered {
  std::uint64_t m = 0;      // pairs of two repeated ids, in keys[0 .. m)
  std::uint64_t zeros = 0;  // pairs (0, 0), when they skip the tallies
};

// The pairs of ids of the `size` assignments of a subset without variable
// v: out[b] = kUnique (or 0 for a pair (0, 0) when kSkip), and the pairs of
// two repeated ids (other than (0, 0) when kSkip) as id0 << 32 | id1 into
// keys, their assignments into where; neither out nor where when kLeaf.
// Branch-free: every pair is written, and kept when both halves repeat.
template <bool kSkip, bool kLeaf>
Gathered gather_pairs_plain(const Id* in, std::uint64_t size, unsigned v, Id* out,
                            std::uint64_t* keys, std::uint32_t* where) {
  Gathered g;
  for_each_pair(in, size, v, [&](std::uint64_t b, Id i0, Id i1) {
    const bool zero = kSkip && (i0 | i1) == 0;
    keys[g.m] = (std::uint64_t{i0} << 32) | i1;
    if constexpr (!kLeaf) {
      out[b] = zero ? 0 : kUnique;
      where[g.m] = static_cast<std::uint32_t>(b);
    }
    g.m += (((i0 | i1) >> 31) ^ 1u) & !zero;
    g.zeros += zero;
  });
  return g;
}

// The same sixteen assignments at a time (size a multiple of 16); keys and
// where need 16 entries of room past the last pair.
template <bool kSkip, bool kLeaf>
__attribute__((target("avx512f"))) Gathered gather_pairs_avx512(const Id* in, std::uint64_t size,
                                                                unsigned v, Id* out,
                                                                std::uint64_t* keys,
                                                                std::uint32_t* where) {
  const std::uint64_t step = std::uint64_t{1} << v;
  const std::uint64_t low = step - 1;
  // Below v = 4 the halves of 16 assignments interleave within 32 ids.
  alignas(64) std::uint32_t first[16], second[16];
  for (unsigned l = 0; l < 16; ++l) {
    first[l] = static_cast<std::uint32_t>(((l & ~low) << 1) | (l & low));
    second[l] = first[l] + static_cast<std::uint32_t>(step);
  }
  const __m512i pick0 = _mm512_load_si512(first), pick1 = _mm512_load_si512(second);
  const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i unique = _mm512_set1_epi32(static_cast<int>(kUnique));
  const __m512i join_lo = _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
  const __m512i join_hi =
      _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
  Gathered g;
  for (std::uint64_t b = 0; b < size; b += 16) {
    __m512i i0, i1;
    if (v >= 4) {
      const std::uint64_t a0 = ((b & ~low) << 1) | (b & low);
      i0 = _mm512_loadu_si512(in + a0);
      i1 = _mm512_loadu_si512(in + a0 + step);
    } else {
      const __m512i lo = _mm512_loadu_si512(in + 2 * b), hi = _mm512_loadu_si512(in + 2 * b + 16);
      i0 = _mm512_permutex2var_epi32(lo, pick0, hi);
      i1 = _mm512_permutex2var_epi32(lo, pick1, hi);
    }
    const __m512i both = _mm512_or_si512(i0, i1);
    const __mmask16 repeated = _mm512_testn_epi32_mask(both, unique);
    const __mmask16 zero = kSkip ? _mm512_testn_epi32_mask(both, both) : __mmask16{0};
    const __mmask16 keep = static_cast<__mmask16>(repeated & ~zero);
    if constexpr (!kLeaf) {
      _mm512_storeu_si512(out + b, _mm512_mask_mov_epi32(unique, zero, _mm512_setzero_si512()));
      const __m512i at = _mm512_add_epi32(lanes, _mm512_set1_epi32(static_cast<int>(b)));
      _mm512_storeu_si512(where + g.m, _mm512_maskz_compress_epi32(keep, at));
    }
    // id0 << 32 | id1: the high half of each 64-bit lane from i0.
    const __m512i key_lo = _mm512_permutex2var_epi32(i1, join_lo, i0);
    const __m512i key_hi = _mm512_permutex2var_epi32(i1, join_hi, i0);
    const __mmask8 keep_lo = static_cast<__mmask8>(keep),
                   keep_hi = static_cast<__mmask8>(keep >> 8);
    _mm512_storeu_si512(keys + g.m, _mm512_maskz_compress_epi64(keep_lo, key_lo));
    g.m += static_cast<unsigned>(std::popcount(static_cast<unsigned>(keep_lo)));
    _mm512_storeu_si512(keys + g.m, _mm512_maskz_compress_epi64(keep_hi, key_hi));
    g.m += static_cast<unsigned>(std::popcount(static_cast<unsigned>(keep_hi)));
    if constexpr (kSkip)
      g.zeros += static_cast<unsigned>(std::popcount(static_cast<unsigned>(zero)));
  }
  return g;
}

template <bool kSkip, bool kLeaf>
Gathered gather_pairs(const Id* in, std::uint64_t size, unsigned v, Id* out, std::uint64_t* keys,
                      std::uint32_t* where) {
  if (size >= 16 && simd::level() == simd::Level::avx512) {
    return gather_pairs_avx512<kSkip, kLeaf>(in, size, v, out, keys, where);
  }
  return gather_pairs_plain<kSkip, kLeaf>(in, size, v, out, keys, where);
}

class Descent {
 public:
  Descent(const FValue& f, std::span<FormStats> stats, Scratch& s)
      : f_(f), n_(f.n_vars()), stats_(stats), s_(s) {
    if (s_.levels.size() < n_ + 1) s_.levels.resize(n_ + 1);
  }

  DescentCounts counts;

  // The subset t of n - kDescentFreeVars variables from the table, then
  // everything below it.
  void start(VarMask t) {
    const unsigned k = n_ - kDescentFreeVars;
    const BitMatrix rows = restriction_matrix(f_, t);
    const std::span<const std::uint64_t> words = rows.words();
    auto key = [&](std::uint64_t a) {
      return static_cast<std::uint32_t>(words[a >> 2] >> ((a & 3) * 16)) & 0xFFFFu;
    };
    if (s_.root_count.empty()) {
      s_.root_count.assign(kRootKeys, 0);
      s_.root_id.resize(kRootKeys);
      s_.root_row.resize(kRootKeys);
    }
    std::uint32_t* count = s_.root_count.data();
    Id* id = s_.root_id.data();
    Level& x = s_.levels[k];
    const std::uint64_t size = std::uint64_t{1} << k;
    x.ids.resize(size);
    x.counts.clear();
    x.uniques = 0;
    for (std::uint64_t a = 0; a < size; ++a) ++count[key(a)];
    // The row of each repeated form.
    std::uint32_t* row = s_.root_row.data();
    if (size >= kRootKeys) {
      // Ids in order of row value, without branches; the counts go back to
      // zero.
      std::vector<std::uint64_t>& repeated = s_.pair_count;
      repeated.resize(kRootKeys);
      std::uint64_t forms = 0, uniques = 0;
      for (std::uint32_t r = 0; r < kRootKeys; ++r) {
        const std::uint32_t c = count[r];
        count[r] = 0;
        repeated[forms] = c;
        id[r] = c >= 2 ? static_cast<Id>(forms) : kUnique;
        row[forms] = r;
        forms += c >= 2;
        uniques += c == 1;
      }
      x.counts.assign(repeated.begin(), repeated.begin() + static_cast<std::ptrdiff_t>(forms));
      x.uniques = uniques;
    } else {
      // The row values met, in order of first appearance.
      for (std::uint64_t a = 0; a < size; ++a) {
        const std::uint32_t r = key(a);
        const std::uint32_t c = count[r];
        if (c == 0) continue;
        count[r] = 0;
        if (c == 1) {
          id[r] = kUnique;
          ++x.uniques;
        } else {
          row[x.counts.size()] = r;
          id[r] = static_cast<Id>(x.counts.size());
          x.counts.push_back(c);
        }
      }
    }
    // The most frequent row takes id 0 (see split).
    if (!x.counts.empty()) {
      const auto top = std::max_element(x.counts.begin(), x.counts.end()) - x.counts.begin();
      id[row[0]] = static_cast<Id>(top);
      id[row[top]] = 0;
      std::swap(x.counts[0], x.counts[static_cast<std::size_t>(top)]);
    }
    for (std::uint64_t a = 0; a < size; ++a) x.ids[a] = id[key(a)];
    ++counts.from_table;
    visit(t, k);
  }

 private:
  void visit(VarMask t, unsigned k) {
    const Level& x = s_.levels[k];
    stats_[t] = stats_of_counts(x.counts, x.uniques, k);
    // The subsets below t in the walk: t without some of the variables
    // 0 .. z-1, all of which t holds.
    const unsigned z = static_cast<unsigned>(std::countr_one(t));
    // All forms distinct (some may be counted as forms of one assignment
    // rather than marked): so are those of every subset.
    if (x.uniques + x.counts.size() == (std::uint64_t{1} << k)) {
      for (VarMask drop = 1; drop < (VarMask{1} << z); ++drop) {
        stats_[t & ~drop] = all_distinct_stats(k - static_cast<unsigned>(std::popcount(drop)));
      }
      counts.implied += (std::uint64_t{1} << z) - 1;
      return;
    }
    for (unsigned v = 0; v < z; ++v) {
      // Without variable 0 the subset has no subsets below it in the walk:
      // its forms need counting, not ids.
      if (v == 0) {
        split<true>(k, v);
      } else {
        split<false>(k, v);
      }
      ++counts.derived;
      visit(t & ~(VarMask{1} << v), k - 1);
    }
  }

  // The forms of the subset without variable v (the v-th of the k, as all
  // variables below it are in the subset) from those of the subset: their
  // counts, and unless kLeaf their ids.
  template <bool kLeaf>
  void split(unsigned k, unsigned v) {
    const Level& x = s_.levels[k];
    Level& y = s_.levels[k - 1];
    const std::uint64_t size = std::uint64_t{1} << (k - 1);
    y.ids.resize(size);
    y.counts.clear();
    y.uniques = 0;
    // Supersets with few repeated forms choose between the direct table and
    // grouping, the others between hashing and grouping (see split_paired).
    const bool few = x.counts.size() <= kDirectForms;
    TallyCost& cost = (few ? s_.few_cost : s_.many_cost)[k - 1][kLeaf];
    const unsigned tally = few || x.counts.size() < kHashedForms ? cost.choose() : 1;
    const std::uint64_t begin = ticks();
    if (tally == 1) {
      split_paired<kLeaf>(x, y, v, true);
    } else if (few) {
      split_direct<kLeaf>(x, y, v);
    } else {
      split_paired<kLeaf>(x, y, v, false);
    }
    cost.update(tally, static_cast<double>(ticks() - begin) / static_cast<double>(size));
  }

  // Few repeated forms: every pair straight into a table indexed by the pair.
  template <bool kLeaf>
  void split_direct(const Level& x, Level& y, unsigned v) {
    // An entry is stamp << 16 | id (at most kDirectSize ids); entries of an
    // older stamp are free, so the table is cleared once per 65,535 uses.
    if (s_.direct.empty() || s_.direct_stamp == 0xFFFFu) {
      s_.direct.assign(kDirectSize, 0);
      s_.direct_stamp = 0;
    }
    const std::uint32_t stamp = ++s_.direct_stamp;
    // Ids up to the number of assignments: 0 is held for the pair (0, 0).
    const std::uint64_t ids = y.ids.size() + 1;
    if (s_.direct_count.size() < 4 * ids) s_.direct_count.resize(4 * ids, 0);
    std::uint32_t* table = s_.direct.data();
    std::uint32_t* partial = s_.direct_count.data();
    // The pair (0, 0) takes id 0 (see split).
    table[0] = stamp << 16;
    Id next = 1;
    std::uint64_t uniques = 0;
    Id* out = y.ids.data();
    for_each_pair(x.ids.data(), y.ids.size(), v, [&](std::uint64_t b, Id i0, Id i1) {
      if (((i0 | i1) & kUnique) != 0) {
        if constexpr (!kLeaf) out[b] = kUnique;
        ++uniques;
        return;
      }
      const Id key = (i0 << 8) | i1;  // both below kDirectForms = 256
      std::uint32_t entry = table[key];
      if ((entry >> 16) != stamp) entry = table[key] = (stamp << 16) | next++;
      const Id id = entry & 0xFFFFu;
      if constexpr (!kLeaf) out[b] = id;
      // Four partial counts, so that runs of one form do not wait on a
      // single counter.
      ++partial[(std::uint64_t{id} << 2) | (b & 3)];
    });
    // Forms of one assignment keep their ids here: marking them costs more
    // than it saves below.
    y.uniques = uniques;
    y.counts.resize(next);
    for (Id i = 0; i < next; ++i) {
      std::uint32_t* c = partial + 4 * std::uint64_t{i};
      y.counts[i] = std::uint64_t{c[0]} + c[1] + c[2] + c[3];
      c[0] = c[1] = c[2] = c[3] = 0;
    }
    if (y.counts[0] != 0) return;
    // No pair (0, 0): the last form takes its id.
    const Id last = next - 1;
    y.counts[0] = y.counts[last];
    y.counts.pop_back();
    if (kLeaf || last == 0) return;
    for (Id& id : y.ids) id = id == last ? 0 : id;
  }

  // Many repeated forms: the pairs of two repeated forms are gathered, then
  // counted, by one of two tallies; forms met once among them are marked
  // unique. A hash table is fastest where its branch on whether a pair is
  // new predicts well; where new and known pairs interleave it mispredicts
  // on many, and grouping the pairs by their first id (a counting sort),
  // each one's second id finding its form in a table stamped per group, has
  // no such branch. Which one wins depends on the order of the pairs, not
  // only on their numbers, so each size of subset times both now and then
  // and otherwise takes the faster (the results are the same either way).
  template <bool kLeaf>
  void split_paired(const Level& x, Level& y, unsigned v, bool grouped) {
    const std::uint64_t size = y.ids.size();
    s_.keys.resize(size + 16);
    s_.where.resize(size + 16);
    std::uint64_t* keys = s_.keys.data();
    std::uint32_t* where = s_.where.data();
    Id* out = y.ids.data();
    // Form 0 is common: its pairs (0, 0) take id 0 without being counted.
    const bool skip = x.counts[0] * kCommonShare >= 2 * size;
    const Gathered g = skip ? gather_pairs<true, kLeaf>(x.ids.data(), size, v, out, keys, where)
                            : gather_pairs<false, kLeaf>(x.ids.data(), size, v, out, keys, where);
    const std::uint64_t m = g.m, zeros = g.zeros;
    y.uniques = size - m - zeros;
    if (m == 0 && !skip) return;
    // After skipping, the tallies number forms from 1.
    const Id first = skip ? 1 : 0;
    if (m == 0) {
      s_.pair_count.assign(1, 0);
    } else if (grouped) {
      tally_grouped<kLeaf>(x, out, keys, where, m, first);
    } else {
      tally_hashed<kLeaf>(x, out, keys, where, m, first);
    }
    if (skip) {
      s_.pair_count[0] = zeros;
      // A single pair (0, 0) has a form of its own; the tallies gave
      // the others ids from 1.
      if (!kLeaf && zeros == 1) *std::find(out, out + size, Id{0}) = kUnique;
    }
    renumber_singles<kLeaf>(y, out, where, m);
  }

  // The forms of the pairs keys[0 .. m) by grouping: ids from `first` into
  // out at where[0 .. m), counts into s_.pair_count (from index `first`).
  template <bool kLeaf>
  void tally_grouped(const Level& x, Id* out, const std::uint64_t* keys, const std::uint32_t* where,
                     std::uint64_t m, Id first) {
    const std::uint64_t forms = x.counts.size();
    // The pairs in order of their first id.
    std::vector<std::uint32_t>& start = s_.group_start;
    start.assign(forms + 1, 0);
    for (std::uint64_t j = 0; j < m; ++j) ++start[(keys[j] >> 32) + 1];
    for (std::uint64_t i = 0; i < forms; ++i) start[i + 1] += start[i];
    s_.order.resize(m);
    std::uint32_t* order = s_.order.data();
    for (std::uint64_t j = 0; j < m; ++j) {
      order[start[keys[j] >> 32]++] = static_cast<std::uint32_t>(j);
    }
    // seen[i1]: stamp << 32 | form of the pair (current group, i1); each
    // group takes a new stamp.
    std::vector<std::uint64_t>& seen = s_.seen;
    if (seen.size() < forms) seen.resize(forms, 0);
    if (s_.seen_stamp > 0xFFFFFFFFu - m - 1) {
      std::fill(seen.begin(), seen.end(), 0);
      s_.seen_stamp = 0;
    }
    std::uint64_t stamp = s_.seen_stamp;
    std::vector<std::uint64_t>& count = s_.pair_count;
    count.assign(m + first, 0);
    std::uint64_t* counts = count.data();
    std::uint64_t* marks = seen.data();
    std::uint64_t group = ~std::uint64_t{0};
    std::uint64_t next = first;
    for (std::uint64_t p = 0; p < m; ++p) {
      const std::uint64_t j = order[p];
      const std::uint64_t i0 = keys[j] >> 32, i1 = keys[j] & 0xFFFFFFFFu;
      stamp += i0 != group;
      group = i0;
      const std::uint64_t e = marks[i1];
      const bool fresh = (e >> 32) != stamp;
      const std::uint64_t id = fresh ? next : (e & 0xFFFFFFFFu);
      marks[i1] = (stamp << 32) | id;
      next += fresh;
      ++counts[id];
      if constexpr (!kLeaf) out[where[j]] = static_cast<Id>(id);
    }
    s_.seen_stamp = stamp;
    count.resize(next);
  }

  // The same by a hash table, for supersets of fewer than kHashedForms
  // repeated forms (keys of 32 bits).
  template <bool kLeaf>
  void tally_hashed(const Level& x, Id* out, const std::uint64_t* keys, const std::uint32_t* where,
                    std::uint64_t m, Id first) {
    const std::uint64_t forms = x.counts.size();
    std::vector<std::uint64_t>& count = s_.pair_count;
    count.assign(first, 0);
    std::uint64_t capacity = 16;
    while (capacity < 2 * m) capacity <<= 1;
    const std::uint64_t mask = capacity - 1;
    const int shift = 64 - std::countr_zero(capacity);
    // Keys of 32 bits; a slot holds key << 32 | id, all ones when free.
    if (s_.slots.size() < capacity) s_.slots.resize(capacity);
    std::fill_n(s_.slots.begin(), capacity, ~std::uint64_t{0});
    std::uint64_t* slots = s_.slots.data();
    for (std::uint64_t j = 0; j < m; ++j) {
      const std::uint64_t i0 = keys[j] >> 32, i1 = keys[j] & 0xFFFFFFFFu;
      const std::uint64_t key = i0 * forms + i1;
      for (std::uint64_t h = hash_slot(key, shift);; h = (h + 1) & mask) {
        const std::uint64_t e = slots[h];
        if (e == ~std::uint64_t{0}) {
          slots[h] = (key << 32) | count.size();
          if constexpr (!kLeaf) out[where[j]] = static_cast<Id>(count.size());
          count.push_back(1);
          break;
        }
        if ((e >> 32) == key) {
          if constexpr (!kLeaf) out[where[j]] = static_cast<Id>(e);
          ++count[static_cast<Id>(e)];
          break;
        }
      }
    }
  }

  // Takes the counts of a tally from s_.pair_count into y: forms of a
  // single assignment are marked unique at their assignments where[0 .. m),
  // the others renumbered in order.
  template <bool kLeaf>
  void renumber_singles(Level& y, Id* out, const std::uint32_t* where, std::uint64_t m) {
    const std::vector<std::uint64_t>& count = s_.pair_count;
    std::vector<Id>& renumber = s_.renumber;
    renumber.resize(count.size());
    // Most forms of a tally may be single, mixed with repeated ones: no
    // branch on which. After a skip, form 0 (the pairs (0, 0), not among
    // the m) keeps id 0 when repeated; when absent (count 0), the others
    // move down by one.
    const std::uint64_t offered = count.size();
    y.counts.resize(offered);
    std::uint64_t kept = 0, singles = 0;
    for (std::uint64_t i = 0; i < offered; ++i) {
      const std::uint64_t c = count[i];
      renumber[i] = c == 1 ? kUnique : static_cast<Id>(kept);
      y.counts[kept] = c;
      kept += c > 1;
      singles += c == 1;
    }
    y.counts.resize(kept);
    y.uniques += singles;
    if (kLeaf || kept == offered) return;  // no id changes
    for (std::uint64_t j = 0; j < m; ++j) out[where[j]] = renumber[out[where[j]]];
  }

  const FValue& f_;
  unsigned n_;
  std::span<FormStats> stats_;
  Scratch& s_;
};

}  // namespace

DescentCounts descend_subset_stats(const FValue& f, std::span<FormStats> stats, bool parallel) {
  const unsigned n = f.n_vars();
  if (n < kDescentFreeVars) panic("the descent needs at least four variables");
  if (n - kDescentFreeVars > 31) {
    throw ValueError("the subsets of more than 35 variables cannot be walked");
  }
  if (stats.size() != std::uint64_t{1} << n) panic("one entry per subset");
  const std::vector<VarMask> starts = level_masks(n, n - kDescentFreeVars);
  std::atomic<std::uint64_t> from_table{0}, derived{0}, implied{0};
  auto body = [&](std::uint64_t begin, std::uint64_t end) {
    thread_local Scratch scratch;
    Descent d(f, stats, scratch);
    for (std::uint64_t i = begin; i < end; ++i) {
      if (!parallel) interrupt::checkpoint();
      d.start(starts[i]);
    }
    from_table.fetch_add(d.counts.from_table, std::memory_order_relaxed);
    derived.fetch_add(d.counts.derived, std::memory_order_relaxed);
    implied.fetch_add(d.counts.implied, std::memory_order_relaxed);
  };
  if (parallel) {
    pool::parallel_for(starts.size(), 1, body);
  } else {
    body(0, starts.size());
  }
  return {from_table.load(), derived.load(), implied.load()};
}

}  // namespace varnel
