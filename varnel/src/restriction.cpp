#include "restriction.hpp"

#include <algorithm>
#include <bit>
#include <string>

#include "error.hpp"
#include "index_permutation.hpp"

namespace varnel {

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

// The destinations of the index bits in the counting layout (see
// counting_layout).
void counting_dest(unsigned n, VarMask fixed, unsigned* dest) {
  const unsigned k = static_cast<unsigned>(std::popcount(fixed));
  const unsigned m = n - k;
  if (m < 6) {
    // Rows inside words: free variables below m stay; each free variable
    // above m trades places with a fixed variable below m.
    for (unsigned v = 0; v < n; ++v) dest[v] = v;
    unsigned low_fixed = 0;  // the next fixed variable below m to trade
    for (unsigned v = m; v < n; ++v) {
      if ((fixed >> v) & 1u) continue;
      while (((fixed >> low_fixed) & 1u) == 0) ++low_fixed;
      dest[v] = low_fixed;
      dest[low_fixed] = v;
      ++low_fixed;
    }
  } else {
    // The fixed variables inside words take the top row bits, so that the
    // words exchanging bits with them are far apart and the lowest word
    // bits stay free for vector lanes (index_permutation).
    unsigned low_fixed[6], lows = 0;
    for (unsigned v = 0; v < 6 && v < n; ++v) {
      if ((fixed >> v) & 1u) low_fixed[lows++] = v;
    }
    unsigned next_fixed = m, next_top = n - lows;
    for (unsigned v = 0; v < n; ++v) {
      if ((fixed >> v) & 1u) dest[v] = v < 6 ? next_top++ : next_fixed++;
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

}  // namespace

void counting_layout(const FValue& f, VarMask fixed, std::vector<std::uint64_t>& out,
                     unsigned* dest_out) {
  const unsigned n = f.n_vars();
  unsigned dest[64];
  counting_dest(n, fixed, dest);
  out.resize(f.words().size());
  permute_index_bits(f.words(), n, std::span<const unsigned>(dest, n), out);
  if (dest_out != nullptr) std::copy_n(dest, n, dest_out);
}

// ---------------------------------------------------------------------------
// Forms of one set of variables

namespace {

// Working memory of the calling thread for form_stats and bipartition_stats:
// two table-sized buffers and two talliers, kept between calls (up to a
// budget) because faulting in fresh pages costs more than the counting.
struct Workspace {
  std::vector<std::uint64_t> table_a, table_b;
  RowTallier tally_a, tally_b;

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

// Fixing every variable: each form is one output value.
FormStats constant_forms(const FValue& f, unsigned k, bool with_entropy) {
  const std::uint64_t ones = f.count_ones();
  std::vector<std::uint64_t> counts;
  if (f.size() - ones != 0) counts.push_back(f.size() - ones);
  if (ones != 0) counts.push_back(ones);
  return stats_of_counts(counts, k, with_entropy);
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

  RowTallier forms, matrix_tally;
  forms.start_owned(m);
  auto add_matrix = [&](const std::vector<std::uint64_t>& words, std::uint64_t factor) {
    std::vector<std::uint64_t> weights(row_weight);
    for (std::uint64_t& w : weights) w *= factor;
    matrix_tally.run(RowList{words.data(), matrix.rows(), m, true}, RowWeights{weights.data(), 0});
    const RowTallier& tally = matrix_tally;
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
  return forms.stats(k, with_entropy);
}

}  // namespace

FormStats form_stats(const FValue& f, VarMask fixed, bool with_entropy) {
  const unsigned n = f.n_vars();
  const unsigned k = static_cast<unsigned>(std::popcount(fixed));
  if (k == 0) return {1, -0.0f};
  if (k == n) return constant_forms(f, k, with_entropy);
  Workspace& ws = workspace();
  counting_layout(f, fixed, ws.table_a);
  ws.tally_a.run(RowList{ws.table_a.data(), std::uint64_t{1} << k, n - k, true}, {},
                 RowOrder::counts_only);
  const FormStats out = ws.tally_a.stats(k, with_entropy);
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
  ws.tally_a.run(rows);
  BipartitionStats out;
  out.first = ws.tally_a.stats(k, with_entropy);
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
    ws.table_a.resize(reduced.size());
    transpose_bits(reduced, reduced_bits, m, ws.table_a);
    ws.tally_b.run(RowList{ws.table_a.data(), std::uint64_t{1} << m, reduced_bits, true}, {},
                   RowOrder::counts_only);
  } else {
    // Every bit of a transpose crosses words; a restriction of the table on
    // the second side moves fewer, so that is the cheaper route here.
    counting_layout(f, second, ws.table_b);
    ws.tally_b.run(RowList{ws.table_b.data(), std::uint64_t{1} << m, k, true}, {},
                   RowOrder::counts_only);
  }
  out.second = ws.tally_b.stats(m, with_entropy);
  ws.trim();
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
