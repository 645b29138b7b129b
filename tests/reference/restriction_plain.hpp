// Plain restriction counting, written as the literal definitions on a table of
// one byte per entry: every assignment of the fixed variables builds its
// sub-function as a fresh byte vector, and distinct sub-functions are found
// with a hash set (counting) or a hash map (entropy). The tests compare the
// fast code against these; the benchmarks time them side by side.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "plain.hpp"

namespace plain {

using Vars = std::vector<std::uint64_t>;

/// Bit j of value to bit positions[j] (shift counts modulo 64).
inline std::uint64_t deposit(std::uint64_t value, const Vars& positions) {
  std::uint64_t result = 0;
  for (std::size_t j = 0; j < positions.size(); ++j) {
    if ((value >> (j % 64)) & 1u) result |= std::uint64_t{1} << (positions[j] % 64);
  }
  return result;
}

inline unsigned n_vars(const Table& t) {
  unsigned n = 0;
  while ((std::size_t{1} << (n + 1)) <= t.size()) ++n;
  return n;
}

/// Balanced bipartitions in the order of the definition: combinations of the
/// pool in lexicographic order, variable 0 prepended for even n, complement
/// by a membership scan.
inline std::vector<std::pair<Vars, Vars>> bipartitions(std::uint64_t n) {
  const std::uint64_t first = n % 2 == 1 ? 0 : 1;
  const std::uint64_t pool = n - first;
  const std::uint64_t k = n % 2 == 1 ? n / 2 : n / 2 - 1;
  std::vector<std::pair<Vars, Vars>> out;
  if (k > pool) return out;
  Vars idx(k);
  for (std::uint64_t i = 0; i < k; ++i) idx[i] = i;
  while (true) {
    Vars s;
    if (first == 1) s.push_back(0);
    for (auto i : idx) s.push_back(first + i);
    Vars c;
    for (std::uint64_t v = 0; v < n; ++v) {
      if (std::find(s.begin(), s.end(), v) == s.end()) c.push_back(v);
    }
    out.emplace_back(s, c);
    std::int64_t t = static_cast<std::int64_t>(k) - 1;
    while (t >= 0 && idx[t] >= pool - k + t) --t;
    if (t < 0) break;
    ++idx[t];
    for (std::uint64_t j = t + 1; j < k; ++j) idx[j] = idx[j - 1] + 1;
  }
  return out;
}

/// The sorted list, the free variables and their offsets.
struct Prepared {
  Vars sorted;
  Vars free;
  std::vector<std::uint64_t> offsets;
};

inline Prepared prepare(const Table& f, const Vars& vars) {
  Prepared p;
  p.sorted = vars;
  std::stable_sort(p.sorted.begin(), p.sorted.end());
  const unsigned n = n_vars(f);
  for (std::uint64_t i = 0; i < n; ++i) {
    if (std::find(p.sorted.begin(), p.sorted.end(), i) == p.sorted.end()) p.free.push_back(i);
  }
  for (std::uint64_t j = 0; j < (std::uint64_t{1} << p.free.size()); ++j) {
    p.offsets.push_back(deposit(j, p.free));
  }
  return p;
}

/// The sub-function of assignment a.
inline Table sub_function(const Table& f, const Prepared& p, std::uint64_t a) {
  const std::uint64_t base = deposit(a, p.sorted);
  Table g(p.offsets.size());
  for (std::size_t j = 0; j < g.size(); ++j) {
    const std::uint64_t x = base | p.offsets[j];
    g[j] = x < f.size() ? f[x] : 0;
  }
  return g;
}

/// Rows of the restriction table (any list; entries past the table are false).
inline std::vector<Table> table_rows(const Table& f, const Vars& vars) {
  const Prepared p = prepare(f, vars);
  std::vector<Table> rows;
  for (std::uint64_t a = 0; a < (std::uint64_t{1} << p.sorted.size()); ++a) {
    rows.push_back(sub_function(f, p, a));
  }
  return rows;
}

/// Count of each distinct form, in an ordered map.
inline std::map<Table, std::uint64_t> form_counts(const Table& f, const Vars& vars) {
  std::map<Table, std::uint64_t> counts;
  for (auto& row : table_rows(f, vars)) ++counts[row];
  return counts;
}

/// The entropy of a list of counts summing to 2^k, terms added in ascending
/// order of count (the order the fast code uses).
inline float entropy_sorted(std::vector<std::uint64_t> counts, unsigned k) {
  std::sort(counts.begin(), counts.end());
  const float total = static_cast<float>(static_cast<std::int32_t>(1u << k));
  float acc = -0.0f;
  for (std::uint64_t c : counts) {
    const float p = static_cast<float>(c) / total;
    const float term = std::log2(p) * p;
    acc = acc + term;
  }
  return -acc;
}

inline std::uint64_t count_forms(const Table& f, const Vars& vars) {
  return form_counts(f, vars).size();
}

inline float set_entropy(const Table& f, const Vars& vars) {
  std::vector<std::uint64_t> counts;
  for (auto& [form, c] : form_counts(f, vars)) counts.push_back(c);
  return entropy_sorted(counts, static_cast<unsigned>(vars.size()));
}

// The algorithm as literally described, for the benchmarks: one fresh byte
// vector per assignment, hashed whole, a hash set presized to 2^k for the
// count, an unpresized hash map for the entropy summed in its own order.
struct BytesHash {
  std::size_t operator()(const Table& t) const noexcept {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(t.data()), t.size()));
  }
};

inline std::uint64_t literal_count_forms(const Table& f, const Vars& vars) {
  const Prepared p = prepare(f, vars);
  const std::uint64_t assignments = std::uint64_t{1} << p.sorted.size();
  std::unordered_set<Table, BytesHash> set;
  set.reserve(assignments);
  for (std::uint64_t a = 0; a < assignments; ++a) set.insert(sub_function(f, p, a));
  return set.size();
}

inline float literal_set_entropy(const Table& f, const Vars& vars) {
  const Prepared p = prepare(f, vars);
  const std::uint64_t assignments = std::uint64_t{1} << p.sorted.size();
  std::unordered_map<Table, std::uint64_t, BytesHash> counts;
  for (std::uint64_t a = 0; a < assignments; ++a) ++counts[sub_function(f, p, a)];
  const float total = static_cast<float>(static_cast<std::int32_t>(assignments));
  std::vector<float> ps;
  for (auto& [form, c] : counts) ps.push_back(static_cast<float>(c) / total);
  float acc = -0.0f;
  for (float q : ps) {
    const float term = std::log2(q) * q;
    acc = acc + term;
  }
  return -acc;
}

}  // namespace plain
