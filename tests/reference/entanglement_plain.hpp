// Plain entropy and entanglement over the balanced bipartitions, written as
// the definitions on a table of one byte per entry: every bipartition of the
// enumeration (in its order), the restriction entropy or number of forms of
// each side computed by the plain restriction counting, the sum with the first
// side first, and the strict minimum (the first value seeds it, a later one
// replaces it only when strictly smaller).
#pragma once

#include <cstdint>
#include <vector>

#include "restriction_plain.hpp"

namespace plain {

struct PairValue {
  Vars set1;
  Vars set2;
  float entropy;
  std::uint64_t entanglement;
};

/// The value of every bipartition, in enumeration order (n >= 1).
inline std::vector<PairValue> bipartition_values(const Table& f) {
  std::vector<PairValue> out;
  for (auto& [a, b] : bipartitions(n_vars(f))) {
    const float ha = set_entropy(f, a);
    const float hb = set_entropy(f, b);
    out.push_back({a, b, ha + hb, count_forms(f, a) + count_forms(f, b)});
  }
  return out;
}

inline float entropy(const Table& f) {
  const auto values = bipartition_values(f);
  float best = values.at(0).entropy;
  for (const auto& v : values) {
    if (v.entropy < best) best = v.entropy;
  }
  return best;
}

inline std::uint64_t entanglement(const Table& f) {
  const auto values = bipartition_values(f);
  std::uint64_t best = values.at(0).entanglement;
  for (const auto& v : values) {
    if (v.entanglement < best) best = v.entanglement;
  }
  return best;
}

}  // namespace plain
