// Shared pieces of the optimal-circuit tests: one canonisation table per test
// program, word sets, and a small chain database found by exhaustive search.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#include "npn_plain.hpp"
#include "opt5/database.hpp"
#include "opt5/npn.hpp"

namespace opt5_test {

/// The canonisation table, built once per test program.
inline const opt5::canonisation_table& table() {
  static const auto t = [] {
    auto p = std::make_unique<opt5::canonisation_table>();
    opt5::prepare_table(*p);
    return p;
  }();
  return *t;
}

inline plain::Transform to_plain(const opt5::transform& t) {
  return {t[0], t[1], t[2], t[3], t[4], t[5]};
}

/// A uniformly random input transform with a random output complement.
inline plain::Transform random_transform(std::mt19937_64& rng) {
  plain::Transform t{static_cast<int>(rng() & 1), 1, 2, 3, 4, 5};
  std::shuffle(t.begin() + 1, t.end(), rng);
  for (int k = 1; k <= 5; ++k)
    if (rng() & 1) t[k] = -t[k];
  return t;
}

/// Words whose canonicalisation takes the unusual paths: the fixed words,
/// constant halves, halves that are four-input representatives (large
/// stabilisers), symmetric functions, functions of few variables, extreme
/// weights.
inline std::vector<std::uint32_t> special_words() {
  std::vector<std::uint32_t> w = {0u, ~0u, 0x69969669u, ~0x69969669u};
  for (std::uint32_t v : plain::kNodes) w.push_back(v), w.push_back(~v);
  // Symmetric functions: the value depends on the weight of the input.
  for (unsigned s = 0; s < 64; ++s) {
    std::uint32_t f = 0;
    for (unsigned x = 0; x < 32; ++x)
      if ((s >> __builtin_popcount(x)) & 1u) f |= 1u << (31 - x);
    w.push_back(f);
  }
  // Every function of variables 0..2 (nodes 3..5), lifted to five inputs.
  for (unsigned g = 0; g < 256; ++g) {
    std::uint32_t f = 0;
    for (unsigned x = 0; x < 32; ++x)
      if ((g >> (x & 7u)) & 1u) f |= 1u << (31 - x);
    w.push_back(f);
  }
  // Weight at most 2 and at least 30.
  for (unsigned i = 0; i < 32; ++i)
    for (unsigned j = i; j < 32; ++j) {
      const std::uint32_t f = (1u << i) | (1u << j);
      w.push_back(f), w.push_back(~f);
    }
  // Both halves four-input representatives, in every combination, and with
  // one half constant.
  std::vector<std::uint32_t> reps;
  for (std::uint32_t i = 0; i < opt5::kNormalWords4; ++i)
    if (table().representative[i] == i) reps.push_back(i);
  for (std::uint32_t hi : reps) {
    for (std::uint32_t lo : reps) w.push_back((hi << 16) | lo);
    w.push_back(hi), w.push_back(0xFFFF0000u | hi), w.push_back((hi << 16) | 0xFFFFu);
    w.push_back((hi << 16) | (hi ^ 0xFFFFu));
  }
  return w;
}

/// The operator characters of record operators 0..3: AND, OR, XOR, AND-NOT.
inline constexpr char kRecordOperator[4] = {'&', '|', '+', '\\'};

/// A small chain database found by exhaustive search: every chain of at most
/// three gates over the five normal operators, the lowest level at which each
/// normal word appears, and for each class whose representative appears one
/// chain computing the representative.
struct SmallDatabase {
  std::unordered_map<std::uint32_t, unsigned> level;      // normal word -> exact cost
  std::map<std::uint32_t, std::vector<unsigned>> chains;  // representative -> record fields
  std::vector<std::uint8_t> bytes;                        // the records, by representative
};

inline const SmallDatabase& small_database() {
  static const SmallDatabase db = [] {
    SmallDatabase d;
    for (unsigned v = 0; v < 6; ++v) d.level.emplace(plain::kNodes[v], 0);
    // Chains of exactly `target` gates, depth first, for target = 1, 2, 3 in
    // turn, so a word first seen in pass c has cost c. NOT a AND b is AND-NOT
    // with the inputs exchanged.
    std::vector<std::uint32_t> node(plain::kNodes, plain::kNodes + 6);
    std::vector<unsigned> fields;
    auto dfs = [&](auto&& self, unsigned depth, unsigned target) -> void {
      const unsigned nodes = 6 + depth;
      for (unsigned a = 1; a < nodes; ++a)
        for (unsigned b = 1; b < nodes; ++b) {
          if (a == b) continue;
          for (unsigned op = 0; op < 4; ++op) {
            if (op != 3 && b < a) continue;  // symmetric operators once
            const std::uint32_t v = opt5::apply_oper8r(node[a], kRecordOperator[op], node[b]);
            fields.push_back(plain::field(a, b, op));
            if (depth + 1 == target) {
              if (d.level.emplace(v, target).second && opt5::get_representant(v, table()) == v)
                d.chains.emplace(v, fields);
            } else {
              node.push_back(v);
              self(self, depth + 1, target);
              node.pop_back();
            }
            fields.pop_back();
          }
        }
    };
    for (unsigned target = 1; target <= 3; ++target) dfs(dfs, 0, target);
    for (const auto& [rep, f] : d.chains) {
      const auto r = plain::record(f);
      d.bytes.insert(d.bytes.end(), r.begin(), r.end());
    }
    return d;
  }();
  return db;
}

}  // namespace opt5_test
