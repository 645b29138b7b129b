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

// An open-addressing set of forms keyed by hash; the caller decides equality
// of colliding candidates. Forms are numbered in order of first appearance.
class FormIndex {
 public:
  explicit FormIndex(std::uint64_t expected) {
    std::uint64_t capacity = 16;
    while (capacity < 2 * expected) capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
  }

  std::uint64_t size() const noexcept { return size_; }

  // The number of the form with hash h, inserting a new one (numbered size())
  // when no existing form with that hash satisfies same(id).
  template <class Same>
  std::uint64_t find_or_insert(std::uint64_t h, Same&& same, bool& inserted) {
    if (2 * (size_ + 1) > slots_.size()) grow();
    for (std::uint64_t i = h & mask_;; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (s.id == 0) {
        s.hash = h;
        s.id = ++size_;
        inserted = true;
        return size_ - 1;
      }
      if (s.hash == h && same(s.id - 1)) {
        inserted = false;
        return s.id - 1;
      }
    }
  }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::uint64_t id = 0;  // form number + 1; 0 for an empty slot
  };

  void grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const Slot& s : old) {
      if (s.id == 0) continue;
      std::uint64_t i = s.hash & mask_;
      while (slots_[i].id != 0) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  std::uint64_t mask_ = 0;
  std::uint64_t size_ = 0;
};

template <class Weight>
RowTally tally_narrow(const RowList& rows, Weight&& weight) {
  const unsigned cb = rows.col_bits;
  const std::uint64_t mask = low_mask(std::uint64_t{1} << cb);
  auto key_of = [&](std::uint64_t i) {
    if (!rows.packed) return rows.data[i] & mask;
    const std::uint64_t x = i << cb;
    return (rows.data[x >> 6] >> (x & 63)) & mask;
  };
  RowTally out;
  if (cb <= 3) {
    // At most 256 different rows: a direct table.
    std::uint32_t id[256] = {};
    for (std::uint64_t i = 0; i < rows.rows; ++i) {
      const std::uint64_t key = key_of(i);
      if (id[key] == 0) {
        out.counts.push_back(0);
        out.first_row.push_back(i);
        id[key] = static_cast<std::uint32_t>(out.counts.size());
      }
      out.counts[id[key] - 1] += weight(i);
    }
    return out;
  }
  const std::uint64_t distinct_bound = cb == 4 ? std::uint64_t{1} << 16 : std::uint64_t{1} << 20;
  FormIndex index(std::min(rows.rows, distinct_bound));
  for (std::uint64_t i = 0; i < rows.rows; ++i) {
    bool inserted = false;
    const std::uint64_t id =
        index.find_or_insert(fmix(key_of(i)), [](std::uint64_t) { return true; }, inserted);
    if (inserted) {
      out.counts.push_back(weight(i));
      out.first_row.push_back(i);
    } else {
      out.counts[id] += weight(i);
    }
  }
  return out;
}

template <class Weight>
RowTally tally_wide(const RowList& rows, Weight&& weight) {
  const std::uint64_t width = std::uint64_t{1} << (rows.col_bits - 6);
  const std::size_t bytes = width * sizeof(std::uint64_t);
  RowTally out;
  out.counts.reserve(std::min<std::uint64_t>(rows.rows, 1u << 16));
  out.first_row.reserve(std::min<std::uint64_t>(rows.rows, 1u << 16));
  FormIndex index(rows.rows);
  for (std::uint64_t i = 0; i < rows.rows; ++i) {
    const std::uint64_t* row = rows.data + i * width;
    bool inserted = false;
    const std::uint64_t id = index.find_or_insert(
        hash_words(row, width),
        [&](std::uint64_t candidate) {
          return std::memcmp(rows.data + out.first_row[candidate] * width, row, bytes) == 0;
        },
        inserted);
    if (inserted) {
      out.counts.push_back(weight(i));
      out.first_row.push_back(i);
    } else {
      out.counts[id] += weight(i);
    }
  }
  return out;
}

template <class Weight>
RowTally tally_any(const RowList& rows, Weight&& weight) {
  return rows.col_bits < 6 ? tally_narrow(rows, weight) : tally_wide(rows, weight);
}

}  // namespace

RowTally tally_rows(const RowList& rows, std::span<const std::uint64_t> weights) {
  if (weights.empty()) return tally_any(rows, [](std::uint64_t) { return std::uint64_t{1}; });
  if (weights.size() != rows.rows) panic("one weight per row");
  return tally_any(rows, [&](std::uint64_t i) { return weights[i]; });
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
  std::uint64_t small[256] = {};
  std::vector<std::uint64_t> large;
  for (std::uint64_t c : counts) {
    if (c < 256) {
      ++small[c];
    } else {
      large.push_back(c);
    }
  }
  std::sort(large.begin(), large.end());
  float acc = -0.0f;
  auto add = [&](std::uint64_t c, std::uint64_t times) {
    const float p = static_cast<float>(c) / total;
    const float term = std::log2(p) * p;
    for (std::uint64_t r = 0; r < times; ++r) acc = acc + term;
  };
  for (std::uint64_t c = 1; c < 256; ++c) {
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

// Copies of distinct rows gathered from several matrices, with weights.
class OwnedForms {
 public:
  explicit OwnedForms(unsigned col_bits)
      : col_bits_(col_bits), width_(col_bits >= 6 ? std::uint64_t{1} << (col_bits - 6) : 1),
        index_(64) {}

  void add(const std::uint64_t* row, std::uint64_t weight) {
    const std::size_t bytes = width_ * sizeof(std::uint64_t);
    const std::uint64_t h = col_bits_ < 6 ? fmix(row[0]) : hash_words(row, width_);
    bool inserted = false;
    const std::uint64_t id = index_.find_or_insert(
        h,
        [&](std::uint64_t c) {
          return col_bits_ < 6 || std::memcmp(rows_.data() + c * width_, row, bytes) == 0;
        },
        inserted);
    if (inserted) {
      rows_.insert(rows_.end(), row, row + width_);
      counts_.push_back(weight);
    } else {
      counts_[id] += weight;
    }
  }

  const std::vector<std::uint64_t>& counts() const noexcept { return counts_; }

 private:
  unsigned col_bits_;
  std::uint64_t width_;
  FormIndex index_;
  std::vector<std::uint64_t> rows_;
  std::vector<std::uint64_t> counts_;
};

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

  OwnedForms forms(m);
  auto add_matrix = [&](const std::vector<std::uint64_t>& words, std::uint64_t factor) {
    std::vector<std::uint64_t> weights(row_weight);
    for (std::uint64_t& w : weights) w *= factor;
    const RowTally tally = tally_rows(RowList{words.data(), matrix.rows(), m, true}, weights);
    const std::uint64_t width = m >= 6 ? std::uint64_t{1} << (m - 6) : 1;
    for (std::size_t id = 0; id < tally.counts.size(); ++id) {
      const std::uint64_t r = tally.first_row[id];
      if (m >= 6) {
        forms.add(words.data() + r * width, tally.counts[id]);
      } else {
        const std::uint64_t x = r << m;
        const std::uint64_t key = (words[x >> 6] >> (x & 63)) & low_mask(std::uint64_t{1} << m);
        forms.add(&key, tally.counts[id]);
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
    forms.add(zero.data(), (std::uint64_t{1} << in_count) * ((std::uint64_t{1} << out_count) - 1));
  }
  return stats_of(forms.counts(), k, with_entropy);
}

}  // namespace

FormStats form_stats(const FValue& f, VarMask fixed, bool with_entropy) {
  const unsigned n = f.n_vars();
  const unsigned k = static_cast<unsigned>(std::popcount(fixed));
  if (k == 0) return {1, -0.0f};
  if (k == n) return constant_forms(f, k, with_entropy);
  const BitMatrix matrix = restriction_matrix(f, fixed);
  return stats_of(tally_rows(matrix).counts, k, with_entropy);
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
  const BitMatrix matrix = restriction_matrix(f, first);
  const RowTally rows = tally_rows(matrix);
  BipartitionStats out;
  out.first = stats_of(rows.counts, k, with_entropy);
  // The forms of fixing `second` are the columns. Columns compare equal
  // exactly when they agree on every distinct row, so when many rows repeat,
  // the distinct rows (padded with zero rows, which all columns share) are
  // transposed instead of the whole matrix.
  const std::uint64_t distinct = rows.counts.size();
  unsigned reduced_bits = 0;
  while ((std::uint64_t{1} << reduced_bits) < distinct) ++reduced_bits;
  if (reduced_bits < k) {
    const unsigned m = matrix.col_bits();
    std::vector<std::uint64_t> words(words_for(std::uint64_t{1} << (reduced_bits + m)), 0);
    if (m >= 6) {
      const std::uint64_t width = matrix.words_per_row();
      for (std::uint64_t id = 0; id < distinct; ++id) {
        std::copy_n(matrix.row_words(rows.first_row[id]), width, words.begin() + id * width);
      }
    } else {
      for (std::uint64_t id = 0; id < distinct; ++id) {
        const std::uint64_t x = id << m;
        words[x >> 6] |= matrix.narrow_row(rows.first_row[id]) << (x & 63);
      }
    }
    const BitMatrix reduced(reduced_bits, m, std::move(words));
    out.second = stats_of(tally_rows(reduced.transposed()).counts, n - k, with_entropy);
  } else {
    out.second = stats_of(tally_rows(matrix.transposed()).counts, n - k, with_entropy);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Every subset, by refinement

namespace {

// The distinct forms of fixing some set S, one row per form (wide rows of
// `stride` words, narrow rows in the low bits of one word), with counts.
struct Forms {
  unsigned col_bits = 0;
  std::uint64_t stride = 1;
  std::vector<std::uint64_t> rows;
  std::vector<std::uint64_t> counts;
};

// Moves index bit t to position top (t <= top < 6), shifting the bits between down.
InWordPermutation rotate_to_top(unsigned t, unsigned top) {
  unsigned dest[6];
  for (unsigned i = 0; i <= top; ++i) dest[i] = i < t ? i : (i == t ? top : i - 1);
  return InWordPermutation(dest, top + 1);
}

// Writes the two cofactors (free variable at column position t = 0, then 1)
// of a row of 2^m bits into c0 and c1, rows of 2^(m-1) bits.
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

// The forms of S + {v}, v being the free variable at column position t.
void refine(const Forms& parent, unsigned t, Forms& child, std::vector<std::uint64_t>& scratch,
            std::vector<std::uint64_t>& weights) {
  const unsigned m = parent.col_bits;
  const unsigned cm = m - 1;
  const std::uint64_t stride = cm >= 6 ? std::uint64_t{1} << (cm - 6) : 1;
  const std::uint64_t count = parent.counts.size();
  const InWordPermutation rot = rotate_to_top(t < 6 ? t : 0, m >= 6 ? 5 : m - 1);
  scratch.resize(2 * count * stride);
  weights.resize(2 * count);
  for (std::uint64_t i = 0; i < count; ++i) {
    split_row(parent.rows.data() + i * parent.stride, m, t, rot, scratch.data() + 2 * i * stride,
              scratch.data() + (2 * i + 1) * stride);
    weights[2 * i] = weights[2 * i + 1] = parent.counts[i];
  }
  RowTally tally = tally_rows(RowList{scratch.data(), 2 * count, cm, false}, weights);
  child.col_bits = cm;
  child.stride = stride;
  child.rows.resize(tally.counts.size() * stride);
  for (std::size_t id = 0; id < tally.counts.size(); ++id) {
    std::copy_n(scratch.data() + tally.first_row[id] * stride, stride,
                child.rows.data() + id * stride);
  }
  child.counts = std::move(tally.counts);
}

struct Walker {
  const FValue& f;
  unsigned n;
  unsigned max_size;
  bool with_entropy;
  std::vector<FormStats>& out;

  // Per-thread working memory: one Forms per depth, plus scratch.
  struct Workspace {
    std::vector<Forms> depth;
    std::vector<std::uint64_t> scratch;
    std::vector<std::uint64_t> weights;
  };

  Workspace workspace() const {
    Workspace ws;
    ws.depth.resize(n + 1);
    return ws;
  }

  Forms root() const {
    Forms r;
    r.col_bits = n;
    r.stride = f.words().size();
    r.rows.assign(f.words().begin(), f.words().end());
    r.counts = {1};
    return r;
  }

  unsigned column_of(VarMask mask, unsigned v) const {
    const VarMask free = all_vars(n) & ~mask;
    return static_cast<unsigned>(std::popcount(free & ((VarMask{1} << v) - 1)));
  }

  // Records S + {v} for v >= next, and their descendants, depth first.
  // ws.depth must hold n + 1 entries (sized by workspace()), so that no
  // reference into it moves during the recursion.
  void visit(const Forms& node, VarMask mask, unsigned size, unsigned next, Workspace& ws) {
    for (unsigned v = next; v < n; ++v) {
      Forms& child = ws.depth[size + 1];
      refine(node, column_of(mask, v), child, ws.scratch, ws.weights);
      const VarMask child_mask = mask | (VarMask{1} << v);
      out[child_mask] = stats_of(child.counts, size + 1, with_entropy);
      if (size + 1 < max_size && v + 1 < n) visit(child, child_mask, size + 1, v + 1, ws);
    }
  }
};

}  // namespace

std::vector<FormStats> subset_stats(const FValue& f, unsigned max_size, bool with_entropy,
                                    bool parallel) {
  const unsigned n = f.n_vars();
  if (n > 40) throw ValueError("subset statistics need 2^n entries; n is too large");
  std::vector<FormStats> out(std::uint64_t{1} << n);
  out[0] = {1, -0.0f};
  if (max_size == 0 || n == 0) return out;
  Walker walker{f, n, std::min(max_size, n), with_entropy, out};
  const Forms root = walker.root();
  if (!parallel || walker.max_size < 2 || n < 8) {
    Walker::Workspace ws = walker.workspace();
    walker.visit(root, 0, 0, 0, ws);
    return out;
  }
  // The single variables on this thread; then one task per pair {u, v},
  // biggest subtrees (smallest v) first, each rebuilt from the table.
  {
    Walker::Workspace ws = walker.workspace();
    Forms child;
    for (unsigned v = 0; v < n; ++v) {
      refine(root, v, child, ws.scratch, ws.weights);
      out[VarMask{1} << v] = stats_of(child.counts, 1, with_entropy);
    }
  }
  std::vector<std::pair<unsigned, unsigned>> tasks;
  for (unsigned v = 1; v < n; ++v) {
    for (unsigned u = 0; u < v; ++u) tasks.emplace_back(u, v);
  }
  pool::parallel_for(tasks.size(), 1, [&](std::uint64_t begin, std::uint64_t end) {
    Walker::Workspace ws = walker.workspace();
    Forms single, pair;
    for (std::uint64_t i = begin; i < end; ++i) {
      const auto [u, v] = tasks[i];
      refine(root, u, single, ws.scratch, ws.weights);
      const VarMask mask_u = VarMask{1} << u;
      refine(single, walker.column_of(mask_u, v), pair, ws.scratch, ws.weights);
      const VarMask mask = mask_u | (VarMask{1} << v);
      out[mask] = stats_of(pair.counts, 2, with_entropy);
      if (walker.max_size > 2 && v + 1 < n) walker.visit(pair, mask, 2, v + 1, ws);
    }
  });
  return out;
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
