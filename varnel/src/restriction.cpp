#include "restriction.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "error.hpp"
#include "index_permutation.hpp"
#include "pool.hpp"

namespace varnel {

// ---------------------------------------------------------------------------
// Bit matrices

BitMatrix::BitMatrix(unsigned row_bits, unsigned col_bits, std::vector<std::uint64_t> words)
    : row_bits_(row_bits), col_bits_(col_bits), words_(std::move(words)) {
  if (row_bits + col_bits > 63 ||
      words_.size() != words_for(std::uint64_t{1} << (row_bits + col_bits))) {
    panic("bit matrix of the wrong size");
  }
}

BitMatrix BitMatrix::transposed() const {
  const unsigned n = row_bits_ + col_bits_;
  unsigned dest[64];
  for (unsigned i = 0; i < col_bits_; ++i) dest[i] = i + row_bits_;
  for (unsigned t = 0; t < row_bits_; ++t) dest[col_bits_ + t] = t;
  std::vector<std::uint64_t> out(words_.size());
  permute_index_bits(words_, n, std::span<const unsigned>(dest, n), out);
  return BitMatrix(col_bits_, row_bits_, std::move(out));
}

BitMatrix restriction_matrix(const FValue& f, VarMask fixed) {
  const unsigned n = f.n_vars();
  if ((fixed & ~all_vars(n)) != 0) panic("restriction on a variable beyond the table");
  const unsigned k = static_cast<unsigned>(std::popcount(fixed));
  const unsigned m = n - k;
  unsigned dest[64];
  unsigned next_free = 0;
  unsigned next_fixed = m;
  for (unsigned v = 0; v < n; ++v) dest[v] = ((fixed >> v) & 1u) ? next_fixed++ : next_free++;
  std::vector<std::uint64_t> out(f.words().size());
  permute_index_bits(f.words(), n, std::span<const unsigned>(dest, n), out);
  return BitMatrix(k, m, std::move(out));
}

namespace {

// The table laid out as a restriction matrix up to one fixed permutation of
// the entries of every row, which is all that counting needs: rows compare
// equal exactly when the forms do. For rows of a word or more the free
// variables among index bits 0..5 keep their places, so nothing moves inside
// words except the fixed variables there, each exchanged with a free
// variable from outside the word. Written into `out` (resized).
void counting_dest(unsigned n, VarMask fixed, unsigned* dest) {
  const unsigned k = static_cast<unsigned>(std::popcount(fixed));
  const unsigned m = n - k;
  if (m < 6) {
    // Rows inside words: the canonical order (a permutation inside words is cheap).
    unsigned next_free = 0, next_fixed = m;
    for (unsigned v = 0; v < n; ++v) dest[v] = ((fixed >> v) & 1u) ? next_fixed++ : next_free++;
  } else {
    unsigned low_fixed[6], lows = 0;
    unsigned next_fixed = m;
    for (unsigned v = 0; v < n; ++v) {
      if (((fixed >> v) & 1u) == 0) continue;
      dest[v] = next_fixed++;
      if (v < 6) low_fixed[lows++] = v;
    }
    unsigned used = 0, next_slot = 6;
    for (unsigned v = 0; v < n; ++v) {
      if ((fixed >> v) & 1u) continue;
      if (v < 6) {
        dest[v] = v;
      } else if (used < lows) {
        dest[v] = low_fixed[used++];
      } else {
        dest[v] = next_slot++;
      }
    }
  }
}

void counting_layout(const FValue& f, VarMask fixed, std::vector<std::uint64_t>& out,
                     unsigned* dest_out = nullptr) {
  const unsigned n = f.n_vars();
  unsigned dest[64];
  counting_dest(n, fixed, dest);
  out.resize(f.words().size());
  permute_index_bits(f.words(), n, std::span<const unsigned>(dest, n), out);
  if (dest_out != nullptr) std::copy_n(dest, n, dest_out);
}

}  // namespace

// ---------------------------------------------------------------------------
// Tallying rows

namespace {

inline std::uint64_t fmix(std::uint64_t x) noexcept {
  // A bijection of 64-bit words: equal hashes of narrow rows mean equal rows.
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ull;
  x ^= x >> 33;
  return x;
}

inline std::uint64_t rotl(std::uint64_t x, int r) noexcept { return (x << r) | (x >> (64 - r)); }

// Four independent multiply lanes over the row, then a final mix.
std::uint64_t hash_words(const std::uint64_t* w, std::uint64_t count) noexcept {
  constexpr std::uint64_t k = 0x9E3779B97F4A7C15ull;
  std::uint64_t h0 = 0x243F6A8885A308D3ull, h1 = 0x13198A2E03707344ull;
  std::uint64_t h2 = 0xA4093822299F31D0ull, h3 = 0x082EFA98EC4E6C89ull;
  std::uint64_t i = 0;
  for (; i + 4 <= count; i += 4) {
    h0 = (rotl(h0, 29) ^ w[i]) * k;
    h1 = (rotl(h1, 29) ^ w[i + 1]) * k;
    h2 = (rotl(h2, 29) ^ w[i + 2]) * k;
    h3 = (rotl(h3, 29) ^ w[i + 3]) * k;
  }
  for (; i < count; ++i) h0 = (rotl(h0, 29) ^ w[i]) * k;
  return fmix(h0 ^ rotl(h1, 16) ^ rotl(h2, 32) ^ rotl(h3, 48));
}

// Distinct rows with their summed weights, in order of first appearance, by
// open addressing on row hashes with an exact comparison on every hash match.
// A Tallier keeps its memory from one tally to the next, so the repeated
// tallies of a measure allocate (and fault in) nothing new.
class Tallier {
 public:
  std::vector<std::uint64_t> counts;     // summed weight of each distinct row
  std::vector<std::uint64_t> first_row;  // the index of its first occurrence

  // Tallies a list of rows; weight(i) is the weight of row i.
  template <class Weight>
  void run(const RowList& rows, Weight&& weight) {
    counts.clear();
    first_row.clear();
    if (rows.col_bits < 6) {
      run_narrow(rows, weight);
    } else {
      run_wide(rows, weight);
    }
  }

  // Rows added one at a time and kept as copies (rows of 2^col_bits bits,
  // narrow ones in the low bits of one word).
  void start_owned(unsigned col_bits) {
    counts.clear();
    first_row.clear();
    owned_.clear();
    owned_bits_ = col_bits;
    reset(64);
  }
  void add_owned(const std::uint64_t* row, std::uint64_t weight) {
    const std::uint64_t width = owned_bits_ >= 6 ? std::uint64_t{1} << (owned_bits_ - 6) : 1;
    const std::uint64_t h = owned_bits_ < 6 ? fmix(row[0]) : hash_words(row, width);
    const std::uint64_t before = counts.size();
    add(h, weight, before, [&](std::uint64_t id) {
      return owned_bits_ < 6 ||
             std::memcmp(owned_.data() + id * width, row, width * sizeof(std::uint64_t)) == 0;
    });
    if (counts.size() != before) owned_.insert(owned_.end(), row, row + width);
  }

  std::size_t memory() const noexcept {
    return (slots_.capacity() + scratch_.capacity()) * sizeof(Slot) +
           (narrow_.capacity() + narrow_scratch_.capacity()) * sizeof(NarrowSlot) +
           direct_.capacity() * sizeof(DirectEntry) +
           (counts.capacity() + first_row.capacity() + owned_.capacity()) * sizeof(std::uint64_t);
  }

 private:
  struct Slot {
    std::uint64_t hash;
    std::uint64_t id;  // row number + 1; 0 for an empty slot
  };

  void reset(std::uint64_t expected) {
    std::uint64_t capacity = 16;
    while (capacity < 2 * expected) capacity *= 2;
    slots_.assign(capacity, Slot{0, 0});
    mask_ = capacity - 1;
  }

  void grow() {
    scratch_.assign(slots_.size() * 2, Slot{0, 0});
    scratch_.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const Slot& s : scratch_) {
      if (s.id == 0) continue;
      std::uint64_t i = s.hash & mask_;
      while (slots_[i].id != 0) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }

  // Adds `weight` to the row with hash h for which same(id) holds, or
  // appends a new row (first seen at `row`).
  template <class Same>
  void add(std::uint64_t h, std::uint64_t weight, std::uint64_t row, Same&& same) {
    if (2 * (counts.size() + 1) > slots_.size()) grow();
    for (std::uint64_t i = h & mask_;; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (s.id == 0) {
        counts.push_back(weight);
        first_row.push_back(row);
        s.hash = h;
        s.id = counts.size();
        return;
      }
      if (s.hash == h && same(s.id - 1)) {
        counts[s.id - 1] += weight;
        return;
      }
    }
  }

  template <class Weight>
  void run_narrow(const RowList& rows, Weight& weight) {
    const unsigned cb = rows.col_bits;
    const std::uint64_t mask = low_mask(std::uint64_t{1} << cb);
    auto key_of = [&](std::uint64_t i) {
      if (!rows.packed) return rows.data[i] & mask;
      const std::uint64_t x = i << cb;
      return (rows.data[x >> 6] >> (x & 63)) & mask;
    };
    if (cb <= 3) {
      // At most 256 different rows: a direct table.
      std::uint32_t id[256] = {};
      for (std::uint64_t i = 0; i < rows.rows; ++i) {
        const std::uint64_t key = key_of(i);
        if (id[key] == 0) {
          counts.push_back(0);
          first_row.push_back(i);
          id[key] = static_cast<std::uint32_t>(counts.size());
        }
        counts[id[key] - 1] += weight(i);
      }
      return;
    }
    if (cb == 4 && rows.rows >= (1u << 12)) {
      // Rows of 16 bits, many of them: a direct table over all 2^16 rows,
      // whose entries are valid only when stamped with this tally's number.
      if (direct_.empty()) direct_.assign(std::size_t{1} << 16, DirectEntry{0, 0});
      if (++stamp_ == 0) {
        std::fill(direct_.begin(), direct_.end(), DirectEntry{0, 0});
        stamp_ = 1;
      }
      for (std::uint64_t i = 0; i < rows.rows; ++i) {
        DirectEntry& e = direct_[key_of(i)];
        if (e.stamp != stamp_) {
          counts.push_back(0);
          first_row.push_back(i);
          e.stamp = stamp_;
          e.id = static_cast<std::uint32_t>(counts.size() - 1);
        }
        counts[e.id] += weight(i);
      }
      return;
    }
    // Rows of 16 or 32 bits: a compact table of (key, id) slots, probed in
    // batches whose slots are prefetched first; the rows are all in memory,
    // so the cost is the table's cache misses.
    narrow_reset(std::min<std::uint64_t>(rows.rows, 1u << 12));
    constexpr std::uint64_t kBatch = 16;
    std::uint64_t keys[kBatch];
    for (std::uint64_t begin = 0; begin < rows.rows; begin += kBatch) {
      const std::uint64_t end = std::min(rows.rows, begin + kBatch);
      if (2 * (counts.size() + kBatch) > narrow_.size()) narrow_grow();
      for (std::uint64_t i = begin; i < end; ++i) {
        keys[i - begin] = key_of(i);
        __builtin_prefetch(&narrow_[narrow_home(keys[i - begin])]);
      }
      for (std::uint64_t i = begin; i < end; ++i) {
        const std::uint32_t key = static_cast<std::uint32_t>(keys[i - begin]);
        for (std::uint64_t j = narrow_home(key);; j = (j + 1) & mask_) {
          NarrowSlot& s = narrow_[j];
          if (s.id == 0) {
            counts.push_back(weight(i));
            first_row.push_back(i);
            s.key = key;
            s.id = static_cast<std::uint32_t>(counts.size());
            break;
          }
          if (s.key == key) {
            counts[s.id - 1] += weight(i);
            break;
          }
        }
      }
    }
  }

  struct DirectEntry {
    std::uint32_t stamp;
    std::uint32_t id;
  };

  struct NarrowSlot {
    std::uint32_t key;
    std::uint32_t id;  // row number + 1; 0 for an empty slot
  };

  std::uint64_t narrow_home(std::uint64_t key) const noexcept {
    return (key * 0x9E3779B97F4A7C15ull) >> narrow_shift_;
  }

  void narrow_reset(std::uint64_t expected) {
    unsigned bits = 4;
    while ((std::uint64_t{1} << bits) < 2 * expected) ++bits;
    narrow_.assign(std::uint64_t{1} << bits, NarrowSlot{0, 0});
    mask_ = narrow_.size() - 1;
    narrow_shift_ = 64 - bits;
  }

  void narrow_grow() {
    narrow_scratch_.assign(narrow_.size() * 2, NarrowSlot{0, 0});
    narrow_scratch_.swap(narrow_);
    mask_ = narrow_.size() - 1;
    --narrow_shift_;
    for (const NarrowSlot& s : narrow_scratch_) {
      if (s.id == 0) continue;
      std::uint64_t j = narrow_home(s.key);
      while (narrow_[j].id != 0) j = (j + 1) & mask_;
      narrow_[j] = s;
    }
  }

  template <class Weight>
  void run_wide(const RowList& rows, Weight& weight) {
    const std::uint64_t width = std::uint64_t{1} << (rows.col_bits - 6);
    const std::size_t bytes = width * sizeof(std::uint64_t);
    reset(std::min<std::uint64_t>(rows.rows, 1u << 12));
    for (std::uint64_t i = 0; i < rows.rows; ++i) {
      const std::uint64_t* row = rows.data + i * width;
      add(hash_words(row, width), weight(i), i, [&](std::uint64_t id) {
        return std::memcmp(rows.data + first_row[id] * width, row, bytes) == 0;
      });
    }
  }

  std::vector<Slot> slots_;
  std::vector<Slot> scratch_;
  std::vector<NarrowSlot> narrow_;
  std::vector<NarrowSlot> narrow_scratch_;
  unsigned narrow_shift_ = 60;
  std::vector<DirectEntry> direct_;
  std::uint32_t stamp_ = 0;
  std::uint64_t mask_ = 0;
  std::vector<std::uint64_t> owned_;
  unsigned owned_bits_ = 0;
};

auto unit_weight() {
  return [](std::uint64_t) { return std::uint64_t{1}; };
}

// Working memory of the calling thread for form_stats and bipartition_stats:
// two table-sized buffers and two talliers, kept between calls (up to a
// budget) because faulting in fresh pages costs more than the counting.
struct Workspace {
  std::vector<std::uint64_t> table_a, table_b;
  Tallier tally_a, tally_b;

  static constexpr std::size_t kKeepBytes = std::size_t{64} << 20;

  void trim() {
    const std::size_t bytes = (table_a.capacity() + table_b.capacity()) * sizeof(std::uint64_t) +
                              tally_a.memory() + tally_b.memory();
    if (bytes > kKeepBytes) *this = Workspace{};
  }
};

Workspace& workspace() {
  thread_local Workspace ws;
  return ws;
}

}  // namespace

RowTally tally_rows(const RowList& rows, std::span<const std::uint64_t> weights) {
  Tallier t;
  if (weights.empty()) {
    t.run(rows, unit_weight());
  } else {
    if (weights.size() != rows.rows) panic("one weight per row");
    t.run(rows, [&](std::uint64_t i) { return weights[i]; });
  }
  return RowTally{std::move(t.counts), std::move(t.first_row)};
}

RowTally tally_rows(const BitMatrix& m, std::span<const std::uint64_t> weights) {
  return tally_rows(RowList{m.words().data(), m.rows(), m.col_bits(), true}, weights);
}

// ---------------------------------------------------------------------------
// Entropy

float entropy_from_counts(std::span<const std::uint64_t> counts, unsigned total_log2) {
  // float(2^k) is exact; for k <= 30 it is the float of the 32-bit count 2^k.
  const float total = std::ldexp(1.0f, static_cast<int>(total_log2));
  // Ascending order of count without sorting the common small counts.
  std::uint64_t small[256];
  std::uint64_t small_max = 0;
  std::vector<std::uint64_t> large;
  for (std::uint64_t c : counts) {
    if (c >= 256) {
      large.push_back(c);
      continue;
    }
    for (; small_max <= c; ++small_max) small[small_max] = 0;
    ++small[c];
  }
  std::sort(large.begin(), large.end());
  float acc = -0.0f;
  auto add = [&](std::uint64_t c, std::uint64_t times) {
    const float p = static_cast<float>(c) / total;
    const float term = std::log2(p) * p;
    for (std::uint64_t r = 0; r < times; ++r) acc = acc + term;
  };
  for (std::uint64_t c = 1; c < small_max; ++c) {
    if (small[c] != 0) add(c, small[c]);
  }
  for (std::size_t i = 0; i < large.size();) {
    std::size_t j = i;
    while (j < large.size() && large[j] == large[i]) ++j;
    add(large[i], j - i);
    i = j;
  }
  return -acc;
}

// ---------------------------------------------------------------------------
// Forms of one set of variables

namespace {

FormStats stats_of(std::span<const std::uint64_t> counts, unsigned k, bool with_entropy) {
  return {counts.size(), with_entropy ? entropy_from_counts(counts, k) : 0.0f};
}

// Fixing every variable: each form is one output value.
FormStats constant_forms(const FValue& f, unsigned k, bool with_entropy) {
  const std::uint64_t ones = f.count_ones();
  std::vector<std::uint64_t> counts;
  if (f.size() - ones != 0) counts.push_back(f.size() - ones);
  if (ones != 0) counts.push_back(ones);
  return stats_of(counts, k, with_entropy);
}

// Sets the free variable at column position t to 1 in every row: the half of
// each row with bit t clear becomes a copy of the half with bit t set.
void force_column_bit(std::vector<std::uint64_t>& words, unsigned t) {
  if (t < 6) {
    const std::uint64_t high = bit_set_positions(t);
    for (std::uint64_t& w : words) w = (w & high) | ((w & high) >> (1u << t));
    return;
  }
  const std::uint64_t block = std::uint64_t{1} << (t - 6);
  for (std::uint64_t base = 0; base < words.size(); base += 2 * block) {
    std::copy_n(words.begin() + static_cast<std::ptrdiff_t>(base + block), block,
                words.begin() + static_cast<std::ptrdiff_t>(base));
  }
}

// Lists with repeated or out-of-range entries. Fixing the list amounts to:
//  - for each distinct in-range position p listed c_p times, bit p of the
//    base index is the OR of c_p assignment bits: clear for 1 of the 2^c_p
//    patterns, set for 2^c_p - 1 of them;
//  - a position p that is listed only as p + 64j (j >= 1) is still a free
//    variable; where its base bit is set, the free variable reads as 1;
//  - a position at or beyond n puts the index past the table, so every
//    assignment that sets one of its bits gives the all-false form.
FormStats irregular_forms(const FValue& f, std::span<const std::uint64_t> vars, VarMask listed,
                          bool with_entropy) {
  const unsigned n = f.n_vars();
  const unsigned k = static_cast<unsigned>(vars.size());
  unsigned multiplicity[64] = {};
  for (std::uint64_t v : vars) ++multiplicity[v & 63];
  VarMask or_mask = 0;
  unsigned out_count = 0;
  for (unsigned p = 0; p < 64; ++p) {
    if (multiplicity[p] == 0) continue;
    if (p >= n) {
      out_count += multiplicity[p];
    } else if (((listed >> p) & 1u) == 0) {
      or_mask |= VarMask{1} << p;
    }
  }
  const unsigned in_count = k - out_count;
  auto set_weight = [&](unsigned p) { return (std::uint64_t{1} << multiplicity[p]) - 1; };

  const BitMatrix matrix = restriction_matrix(f, listed);
  // Weight of row a: the product over its set bits of 2^c_p - 1.
  std::vector<std::uint64_t> row_weight(matrix.rows(), 1);
  {
    unsigned fixed_vars[64];
    unsigned count = 0;
    for (unsigned p = 0; p < n; ++p) {
      if ((listed >> p) & 1u) fixed_vars[count++] = p;
    }
    for (std::uint64_t a = 1; a < matrix.rows(); ++a) {
      const unsigned low = static_cast<unsigned>(std::countr_zero(a));
      row_weight[a] = row_weight[a & (a - 1)] * set_weight(fixed_vars[low]);
    }
  }
  const VarMask free = all_vars(n) & ~listed;
  const unsigned m = matrix.col_bits();

  Tallier forms;
  forms.start_owned(m);
  auto add_matrix = [&](const std::vector<std::uint64_t>& words, std::uint64_t factor) {
    std::vector<std::uint64_t> weights(row_weight);
    for (std::uint64_t& w : weights) w *= factor;
    const RowTally tally = tally_rows(RowList{words.data(), matrix.rows(), m, true}, weights);
    const std::uint64_t width = m >= 6 ? std::uint64_t{1} << (m - 6) : 1;
    for (std::size_t id = 0; id < tally.counts.size(); ++id) {
      const std::uint64_t r = tally.first_row[id];
      if (m >= 6) {
        forms.add_owned(words.data() + r * width, tally.counts[id]);
      } else {
        const std::uint64_t x = r << m;
        const std::uint64_t key = (words[x >> 6] >> (x & 63)) & low_mask(std::uint64_t{1} << m);
        forms.add_owned(&key, tally.counts[id]);
      }
    }
  };
  // Every subset s of the OR-ed free variables, forced to 1.
  const std::vector<std::uint64_t> base(matrix.words().begin(), matrix.words().end());
  for (VarMask s = 0;; s = (s - or_mask) & or_mask) {
    std::vector<std::uint64_t> words(base);
    std::uint64_t factor = 1;
    for (VarMask rest = s; rest != 0; rest &= rest - 1) {
      const unsigned p = static_cast<unsigned>(std::countr_zero(rest));
      force_column_bit(words, static_cast<unsigned>(std::popcount(free & ((VarMask{1} << p) - 1))));
      factor *= set_weight(p);
    }
    add_matrix(words, factor);
    if (s == or_mask) break;
  }
  if (out_count > 0) {
    const std::vector<std::uint64_t> zero(m >= 6 ? std::uint64_t{1} << (m - 6) : 1, 0);
    forms.add_owned(zero.data(),
                    (std::uint64_t{1} << in_count) * ((std::uint64_t{1} << out_count) - 1));
  }
  return stats_of(forms.counts, k, with_entropy);
}

}  // namespace

FormStats form_stats(const FValue& f, VarMask fixed, bool with_entropy) {
  const unsigned n = f.n_vars();
  const unsigned k = static_cast<unsigned>(std::popcount(fixed));
  if (k == 0) return {1, -0.0f};
  if (k == n) return constant_forms(f, k, with_entropy);
  Workspace& ws = workspace();
  counting_layout(f, fixed, ws.table_a);
  ws.tally_a.run(RowList{ws.table_a.data(), std::uint64_t{1} << k, n - k, true}, unit_weight());
  const FormStats out = stats_of(ws.tally_a.counts, k, with_entropy);
  ws.trim();
  return out;
}

FormStats form_stats(const FValue& f, std::span<const std::uint64_t> vars, bool with_entropy) {
  if (vars.size() > 63) {
    throw ValueError("cannot fix " + std::to_string(vars.size()) +
                     " variables: the 2^k assignments of at most 63 fit a 64-bit count");
  }
  const unsigned n = f.n_vars();
  VarMask listed = 0;
  bool regular = true;
  for (std::uint64_t v : vars) {
    if (v >= n) {
      regular = false;
      continue;
    }
    if ((listed >> v) & 1u) regular = false;
    listed |= VarMask{1} << v;
  }
  if (regular) return form_stats(f, listed, with_entropy);
  return irregular_forms(f, vars, listed, with_entropy);
}

std::uint64_t count_forms_by_multiple_fixed(const FValue& f, std::span<const std::uint64_t> vars) {
  return form_stats(f, vars, false).forms;
}

float set_entropy(const FValue& f, std::span<const std::uint64_t> vars) {
  return form_stats(f, vars, true).entropy;
}

// ---------------------------------------------------------------------------
// Both sides of a bipartition

BipartitionStats bipartition_stats(const FValue& f, VarMask first, bool with_entropy) {
  const unsigned n = f.n_vars();
  const VarMask second = all_vars(n) & ~first;
  const unsigned k = static_cast<unsigned>(std::popcount(first));
  if (k == 0 || k == n) {
    return {form_stats(f, first, with_entropy), form_stats(f, second, with_entropy)};
  }
  const unsigned m = n - k;
  Workspace& ws = workspace();
  counting_layout(f, first, ws.table_a);
  const RowList rows{ws.table_a.data(), std::uint64_t{1} << k, m, true};
  ws.tally_a.run(rows, unit_weight());
  BipartitionStats out;
  out.first = stats_of(ws.tally_a.counts, k, with_entropy);
  // The forms of fixing `second` are the columns (their order, and the order
  // of their entries, permuted as the matrix's are). Columns compare equal
  // exactly when they agree on every distinct row, so when many rows repeat,
  // the distinct rows (padded with zero rows, which all columns share) are
  // transposed instead of the whole matrix.
  const std::uint64_t distinct = ws.tally_a.counts.size();
  unsigned reduced_bits = 0;
  while ((std::uint64_t{1} << reduced_bits) < distinct) ++reduced_bits;
  if (reduced_bits < k) {
    std::vector<std::uint64_t>& reduced = ws.table_b;
    reduced.assign(words_for(std::uint64_t{1} << (reduced_bits + m)), 0);
    const std::vector<std::uint64_t>& first_row = ws.tally_a.first_row;
    if (m >= 6) {
      const std::uint64_t width = std::uint64_t{1} << (m - 6);
      for (std::uint64_t id = 0; id < distinct; ++id) {
        std::copy_n(rows.data + first_row[id] * width, width, reduced.data() + id * width);
      }
    } else {
      const std::uint64_t key_mask = low_mask(std::uint64_t{1} << m);
      for (std::uint64_t id = 0; id < distinct; ++id) {
        const std::uint64_t from = first_row[id] << m;
        const std::uint64_t to = id << m;
        reduced[to >> 6] |= ((rows.data[from >> 6] >> (from & 63)) & key_mask) << (to & 63);
      }
    }
    // Transpose into table_a: row c of the result is column c.
    const unsigned bits = reduced_bits + m;
    unsigned dest[64];
    for (unsigned i = 0; i < m; ++i) dest[i] = i + reduced_bits;
    for (unsigned t = 0; t < reduced_bits; ++t) dest[m + t] = t;
    ws.table_a.resize(reduced.size());
    permute_index_bits(reduced, bits, std::span<const unsigned>(dest, bits), ws.table_a);
    ws.tally_b.run(RowList{ws.table_a.data(), std::uint64_t{1} << m, reduced_bits, true},
                   unit_weight());
  } else {
    // Every bit of a transpose crosses words; a restriction of the table on
    // the second side moves fewer, so that is the cheaper route here.
    counting_layout(f, second, ws.table_b);
    ws.tally_b.run(RowList{ws.table_b.data(), std::uint64_t{1} << m, k, true}, unit_weight());
  }
  out.second = stats_of(ws.tally_b.counts, m, with_entropy);
  ws.trim();
  return out;
}

// ---------------------------------------------------------------------------
// Every subset, by refinement where forms repeat

namespace {

// The distinct forms of fixing some set S, one row per form (wide rows of
// `stride` words, narrow rows in the low bits of one word), with counts.
// column[v] is the position of free variable v in the rows.
struct Forms {
  unsigned col_bits = 0;
  std::uint64_t stride = 1;
  unsigned column[64] = {};
  std::vector<std::uint64_t> rows;
  std::vector<std::uint64_t> counts;
};

// Moves index bit t to position top (t <= top < 6), shifting the bits between down.
InWordPermutation rotate_to_top(unsigned t, unsigned top) {
  unsigned dest[6];
  for (unsigned i = 0; i <= top; ++i) dest[i] = i < t ? i : (i == t ? top : i - 1);
  return InWordPermutation(dest, top + 1);
}

// Writes the two cofactors (column bit t = 0, then 1) of a row of 2^m bits
// into c0 and c1, rows of 2^(m-1) bits.
void split_row(const std::uint64_t* row, unsigned m, unsigned t, const InWordPermutation& rot,
               std::uint64_t* c0, std::uint64_t* c1) {
  if (m >= 7) {
    const std::uint64_t stride = std::uint64_t{1} << (m - 6);
    if (t >= 6) {
      const std::uint64_t block = std::uint64_t{1} << (t - 6);
      for (std::uint64_t base = 0, out = 0; base < stride; base += 2 * block, out += block) {
        std::copy_n(row + base, block, c0 + out);
        std::copy_n(row + base + block, block, c1 + out);
      }
    } else {
      for (std::uint64_t i = 0; i < stride / 2; ++i) {
        const std::uint64_t a = rot(row[2 * i]);
        const std::uint64_t b = rot(row[2 * i + 1]);
        c0[i] = (a & 0xFFFFFFFFull) | (b << 32);
        c1[i] = (a >> 32) | (b & 0xFFFFFFFF00000000ull);
      }
    }
    return;
  }
  // Rows of at most 64 bits: bring bit t to the top index bit, then halve.
  const std::uint64_t half = std::uint64_t{1} << (m - 1);
  const std::uint64_t a = rot(row[0]);
  c0[0] = a & low_mask(half);
  c1[0] = (a >> half) & low_mask(half);
}

// Copies the distinct rows of a tally out of a list of rows into `forms`.
void keep_distinct(const RowList& rows, const Tallier& tally, Forms& forms) {
  const unsigned cb = rows.col_bits;
  forms.col_bits = cb;
  forms.stride = cb >= 6 ? std::uint64_t{1} << (cb - 6) : 1;
  forms.rows.resize(tally.counts.size() * forms.stride);
  for (std::size_t id = 0; id < tally.counts.size(); ++id) {
    const std::uint64_t r = tally.first_row[id];
    if (cb >= 6) {
      std::copy_n(rows.data + r * forms.stride, forms.stride, forms.rows.data() + id * forms.stride);
    } else if (rows.packed) {
      const std::uint64_t x = r << cb;
      forms.rows[id] = (rows.data[x >> 6] >> (x & 63)) & low_mask(std::uint64_t{1} << cb);
    } else {
      forms.rows[id] = rows.data[r];
    }
  }
  forms.counts.assign(tally.counts.begin(), tally.counts.end());
}

// The forms of S + {v} from those of S: cofactors of each form on v,
// weighted by its count.
void refine(const Forms& parent, unsigned v, Forms& child, std::vector<std::uint64_t>& scratch,
            Tallier& tally) {
  const unsigned m = parent.col_bits;
  const unsigned t = parent.column[v];
  const unsigned cm = m - 1;
  const std::uint64_t stride = cm >= 6 ? std::uint64_t{1} << (cm - 6) : 1;
  const std::uint64_t count = parent.counts.size();
  const InWordPermutation rot = rotate_to_top(t < 6 ? t : 0, m >= 6 ? 5 : m - 1);
  scratch.resize(2 * count * stride);
  for (std::uint64_t i = 0; i < count; ++i) {
    split_row(parent.rows.data() + i * parent.stride, m, t, rot, scratch.data() + 2 * i * stride,
              scratch.data() + (2 * i + 1) * stride);
  }
  // Candidate 2i + b is cofactor b of parent form i, weighing its count.
  const RowList candidates{scratch.data(), 2 * count, cm, false};
  tally.run(candidates, [&](std::uint64_t i) { return parent.counts[i / 2]; });
  keep_distinct(candidates, tally, child);
  for (unsigned u = 0; u < 64; ++u) {
    child.column[u] = parent.column[u] > t ? parent.column[u] - 1 : parent.column[u];
  }
}

// Walks the subsets depth first (S, then S + {v} for every v above max S).
// A node keeps its distinct forms when they are few against its 2^|S|
// assignments; its children are then refined from them (work proportional
// to the forms). Otherwise children are computed from the table directly.
// Nodes flagged in `known` (when given) already hold their stats and are
// passed over, unless their forms are wanted for refining their children.
struct Walker {
  const FValue& f;
  unsigned n;
  unsigned max_size;
  bool with_entropy;
  std::span<FormStats> out;
  const std::uint8_t* known = nullptr;

  // Per-thread working memory: one Forms per depth, plus scratch.
  struct Workspace {
    std::vector<Forms> depth;
    std::vector<std::uint64_t> table;
    std::vector<std::uint64_t> scratch;
    Tallier tally;
  };

  Workspace workspace() const {
    Workspace ws;
    ws.depth.resize(n + 1);
    return ws;
  }

  // Forms are worth keeping when at most one assignment in eight brings a new one.
  static bool worth_keeping(std::uint64_t forms, unsigned size) {
    return size < 64 && forms * 8 <= (std::uint64_t{1} << size);
  }

  // Whether the node is known and nothing about it needs computing.
  bool skip(VarMask mask, unsigned size, bool has_children) const {
    return known != nullptr && known[mask] != 0 &&
           !(has_children && worth_keeping(out[mask].forms, size));
  }

  // The node S = mask (|S| = size) from the table; when `want` (the node has
  // children), fills `forms` and returns true if its forms are worth keeping.
  bool direct(VarMask mask, unsigned size, Forms& forms, Workspace& ws, bool want) {
    const unsigned m = n - size;
    if (size == n) {
      out[mask] = form_stats(f, mask, with_entropy);
      return false;
    }
    unsigned dest[64];
    counting_layout(f, mask, ws.table, dest);
    const RowList rows{ws.table.data(), std::uint64_t{1} << size, m, true};
    ws.tally.run(rows, unit_weight());
    out[mask] = stats_of(ws.tally.counts, size, with_entropy);
    if (!want || !worth_keeping(ws.tally.counts.size(), size)) return false;
    keep_distinct(rows, ws.tally, forms);
    for (unsigned v = 0; v < n; ++v) forms.column[v] = ((mask >> v) & 1u) ? 0 : dest[v];
    return true;
  }

  // Records S + {v} for v >= next, and their descendants. `node` holds the
  // forms of S, or is null when they were not kept.
  void visit(const Forms* node, VarMask mask, unsigned size, unsigned next, Workspace& ws) {
    for (unsigned v = next; v < n; ++v) {
      Forms& child = ws.depth[size + 1];
      const VarMask child_mask = mask | (VarMask{1} << v);
      const bool has_children = size + 1 < max_size && v + 1 < n;
      bool kept = false;
      if (skip(child_mask, size + 1, has_children)) {
        kept = false;
      } else if (node != nullptr) {
        refine(*node, v, child, ws.scratch, ws.tally);
        out[child_mask] = stats_of(child.counts, size + 1, with_entropy);
        kept = worth_keeping(child.counts.size(), size + 1);
      } else {
        kept = direct(child_mask, size + 1, child, ws, has_children);
      }
      if (has_children) {
        visit(kept ? &child : nullptr, child_mask, size + 1, v + 1, ws);
      }
    }
  }
};

}  // namespace

namespace {

void walk_subsets(Walker& walker, bool parallel) {
  const unsigned n = walker.n;
  if (walker.max_size == 0 || n == 0) return;
  if (!parallel || walker.max_size < 2 || n < 8) {
    Walker::Workspace ws = walker.workspace();
    walker.visit(nullptr, 0, 0, 0, ws);
    return;
  }
  // The single variables on this thread; then one task per pair {u, v},
  // biggest subtrees (smallest v) first, each starting from the table.
  {
    Walker::Workspace ws = walker.workspace();
    for (unsigned v = 0; v < n; ++v) {
      if (!walker.skip(VarMask{1} << v, 1, false)) {
        walker.direct(VarMask{1} << v, 1, ws.depth[1], ws, false);
      }
    }
  }
  std::vector<std::pair<unsigned, unsigned>> tasks;
  for (unsigned v = 1; v < n; ++v) {
    for (unsigned u = 0; u < v; ++u) tasks.emplace_back(u, v);
  }
  pool::parallel_for(tasks.size(), 1, [&](std::uint64_t begin, std::uint64_t end) {
    Walker::Workspace ws = walker.workspace();
    for (std::uint64_t i = begin; i < end; ++i) {
      const auto [u, v] = tasks[i];
      const VarMask mask = (VarMask{1} << u) | (VarMask{1} << v);
      const bool has_children = walker.max_size > 2 && v + 1 < n;
      const bool kept = !walker.skip(mask, 2, has_children) &&
                        walker.direct(mask, 2, ws.depth[2], ws, has_children);
      if (has_children) {
        walker.visit(kept ? &ws.depth[2] : nullptr, mask, 2, v + 1, ws);
      }
    }
  });
}

}  // namespace

std::vector<FormStats> subset_stats(const FValue& f, unsigned max_size, bool with_entropy,
                                    bool parallel) {
  const unsigned n = f.n_vars();
  if (n > 40) throw ValueError("subset statistics need 2^n entries; n is too large");
  std::vector<FormStats> out(std::uint64_t{1} << n);
  out[0] = {1, -0.0f};
  Walker walker{f, n, std::min(max_size, n), with_entropy, out};
  walk_subsets(walker, parallel);
  return out;
}

void complete_subset_stats(const FValue& f, unsigned max_size, std::span<FormStats> stats,
                           std::span<const std::uint8_t> known, bool with_entropy,
                           bool parallel) {
  const unsigned n = f.n_vars();
  if (n > 40) throw ValueError("subset statistics need 2^n entries; n is too large");
  const std::uint64_t count = std::uint64_t{1} << n;
  if (stats.size() != count || known.size() != count) panic("one stats entry per subset");
  if (known[0] == 0) stats[0] = {1, -0.0f};
  Walker walker{f, n, std::min(max_size, n), with_entropy, stats, known.data()};
  walk_subsets(walker, parallel);
}

// ---------------------------------------------------------------------------
// The restriction table of Python's `table`

BitMatrix restriction_table(const FValue& f, std::span<const std::uint64_t> vars) {
  const unsigned n = f.n_vars();
  // The array has 2^k rows of 2^(n-k) columns; both checks come before any work.
  if (vars.size() > n) {
    panic("called `Result::unwrap()` on an `Err` value: ShapeError/Overflow: arithmetic overflow");
  }
  VarMask fixed = 0;
  for (std::uint64_t v : vars) {
    if (v >= n || ((fixed >> v) & 1u)) {
      panic(
          "called `Result::unwrap()` on an `Err` value: ShapeError/IncompatibleShape: "
          "incompatible shapes");
    }
    fixed |= VarMask{1} << v;
  }
  return restriction_matrix(f, fixed);
}

}  // namespace varnel
