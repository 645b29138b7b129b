// Optimal circuits for given functions, the class catalogue and the
// table-word interface, against plain evaluation and the NPN definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "circuit_plain.hpp"
#include "npn_orbit_plain.hpp"
#include "npn_plain.hpp"
#include "opt5/catalogue.hpp"
#include "opt5/circuit.hpp"
#include "opt5/lookup.hpp"
#include "opt5/table_words.hpp"
#include "opt5_helpers.hpp"

using opt5_test::table;

namespace {

std::uint32_t plain_eval(const opt5::circuit& c) {
  std::vector<circuit_plain::Gate> gates;
  for (unsigned i = 0; i < c.length; ++i)
    gates.push_back({c.gates[i].op, c.gates[i].a, c.gates[i].b});
  return circuit_plain::eval(gates, c.output == opt5::circuit::kConstant ? -1 : c.output,
                             c.complement);
}

bool have_database() { return !opt5::embedded_chains().empty(); }

/// A random member of the class of r.
std::uint32_t random_member(std::uint32_t r, std::mt19937_64& rng) {
  unsigned perm[5] = {0, 1, 2, 3, 4};
  std::shuffle(perm, perm + 5, rng);
  return circuit_plain::apply(r, perm, static_cast<unsigned>(rng() & 31), rng() & 1);
}

/// Checks the circuit of f: exact, of the class's gate count, no inverter
/// left when it has gates, every gate reading earlier nodes and depending
/// on both. `plain`: also evaluated input by input.
void check_circuit(const opt5::wrapper& db, std::uint32_t f, unsigned gates, bool plain = true) {
  const opt5::circuit c = opt5::optimal_circuit(db, f);
  ASSERT_EQ(opt5::evaluate(c), f) << std::hex << f;
  if (plain) {
    ASSERT_EQ(plain_eval(c), f) << std::hex << f;
  }
  ASSERT_EQ(c.length, gates) << std::hex << f;
  if (c.length == 0) return;
  ASSERT_EQ(c.output, 4 + c.length);
  ASSERT_FALSE(c.complement);
  for (unsigned i = 0; i < c.length; ++i) {
    const auto& g = c.gates[i];
    ASSERT_LT(g.a, 5 + i);
    ASSERT_LT(g.b, 5 + i);
    // Depends on both inputs: neither a constant nor a projection.
    ASSERT_TRUE(g.op != 0x0 && g.op != 0xF && g.op != 0xA && g.op != 0x5 && g.op != 0xC &&
                g.op != 0x3);
  }
}

}  // namespace

TEST(Opt5Circuit, MirrorWordMovesBitIToBit31MinusI) {
  std::mt19937_64 rng(1);
  for (int k = 0; k < 200; ++k) {
    const auto w = static_cast<std::uint32_t>(rng());
    std::uint32_t m = 0;
    for (unsigned i = 0; i < 32; ++i) m |= ((w >> i) & 1u) << (31 - i);
    ASSERT_EQ(opt5::mirror_word(w), m);
  }
}

TEST(Opt5Circuit, TableOperationsFollowTheirEntries) {
  for (unsigned op = 0; op < 16; ++op) {
    // a = x0, b = x1 over the 32 inputs.
    const std::uint32_t v = opt5::eval_table_op(op, 0xAAAAAAAAu, 0xCCCCCCCCu);
    for (unsigned x = 0; x < 32; ++x) ASSERT_EQ((v >> x) & 1u, (op >> (x & 3u)) & 1u);
  }
}

TEST(Opt5Circuit, SymmetryCountMatchesTheOrbit) {
  const auto transforms = npn_orbit_plain::all_transforms();
  std::mt19937_64 rng(2);
  std::vector<std::uint32_t> words = opt5_test::special_words();
  for (int k = 0; k < 200; ++k) words.push_back(static_cast<std::uint32_t>(rng()));
  words.resize(std::min<std::size_t>(words.size(), 900));
  for (const std::uint32_t w : words) {
    const std::uint32_t r = plain::npn_brute((w >> 31) ? ~w : w, 5);
    const unsigned s = opt5::symmetry_count(r, table());
    const auto orbit = npn_orbit_plain::orbit(r, transforms);
    ASSERT_EQ(s * orbit.size(), 3840u) << std::hex << r;
  }
}

TEST(Opt5Circuit, CanonizeWordGivesTheLeastWordAndAValidTransform) {
  std::mt19937_64 rng(3);
  std::vector<std::uint32_t> words = opt5_test::special_words();
  for (int k = 0; k < 3000; ++k) words.push_back(static_cast<std::uint32_t>(rng()));
  for (const std::uint32_t w : words) {
    opt5::npn_transform t;
    const std::uint32_t r = opt5::canonize_word(w, t, table());
    // The least table word of the class is the least library word.
    ASSERT_EQ(r, plain::npn_brute(
                     opt5::mirror_word(w) >> 31 ? ~opt5::mirror_word(w) : opt5::mirror_word(w), 5));
    unsigned perm[5];
    for (unsigned i = 0; i < 5; ++i) perm[i] = t.permutation[i];
    ASSERT_EQ(circuit_plain::apply(r, perm, t.input_complement, t.output_complement), w)
        << std::hex << w;
    ASSERT_EQ(opt5::apply_transform(r, t), w);
    ASSERT_EQ(opt5::word_representative(w, table()), r);
  }
}

TEST(Opt5Circuit, ArrayKernelsAgreeWithOneAtATime) {
  std::mt19937_64 rng(4);
  std::vector<std::uint32_t> words = opt5_test::special_words();
  for (int k = 0; k < 5000; ++k) words.push_back(static_cast<std::uint32_t>(rng()));
  const std::size_t n = words.size();
  std::vector<std::uint32_t> reps(n), reps2(n);
  std::vector<opt5::npn_transform> ts(n);
  opt5::canonize_words(words, reps, ts, table());
  opt5::representatives_of_words(words, reps2, table());
  for (std::size_t i = 0; i < n; ++i) {
    opt5::npn_transform t;
    ASSERT_EQ(reps[i], opt5::canonize_word(words[i], t, table()));
    ASSERT_EQ(reps2[i], reps[i]);
    ASSERT_EQ(0, std::memcmp(&t, &ts[i], sizeof t));
  }
  if (!have_database()) return;
  const auto& catalogue = opt5::embedded_catalogue();
  const auto& db = opt5::embedded_database();
  std::vector<std::uint8_t> gates(n);
  std::vector<std::uint32_t> classes(n);
  opt5::gates_of_words(words, gates, catalogue, *db.table);
  opt5::classes_of_words(words, classes, catalogue, *db.table);
  for (std::size_t i = 0; i < n; ++i) {
    ASSERT_EQ(gates[i], opt5::num_gates(db, opt5::mirror_word(words[i])));
    ASSERT_EQ(catalogue.representatives()[classes[i]], reps[i]);
  }
}

TEST(Opt5Circuit, CatalogueOfTheEmbeddedDatabase) {
  if (!have_database()) GTEST_SKIP() << "built without opt5/chains.bin";
  const auto& catalogue = opt5::embedded_catalogue();
  const auto& reps = catalogue.representatives();
  ASSERT_EQ(catalogue.size(), 616126u);
  ASSERT_TRUE(std::is_sorted(reps.begin(), reps.end()));
  ASSERT_EQ(std::adjacent_find(reps.begin(), reps.end()), reps.end());
  constexpr unsigned kClasses[13] = {2,     2,     5,      20,     93,    389, 1988,
                                     11382, 60713, 221541, 293455, 26535, 1};
  unsigned per_gates[13] = {};
  std::uint64_t functions = 0;
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    ++per_gates[catalogue.gates()[i]];
    functions += catalogue.orbit_sizes()[i];
    ASSERT_EQ(catalogue.index_of(reps[i]), i);
    ASSERT_EQ(catalogue.gates_of(reps[i]), catalogue.gates()[i]);
  }
  for (unsigned g = 0; g < 13; ++g) EXPECT_EQ(per_gates[g], kClasses[g]) << g;
  EXPECT_EQ(functions, std::uint64_t{1} << 32);
  EXPECT_EQ(catalogue.index_of(2), opt5::class_catalogue::kNoClass);  // 1 is the least of its class
  EXPECT_EQ(catalogue.index_of(0x80000000u), opt5::class_catalogue::kNoClass);
}

TEST(Opt5Circuit, EveryClassInATransformedMember) {
  if (!have_database()) GTEST_SKIP() << "built without opt5/chains.bin";
  const auto& db = opt5::embedded_database();
  const auto& catalogue = opt5::embedded_catalogue();
  std::mt19937_64 rng(5);
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const std::uint32_t r = catalogue.representatives()[i];
    check_circuit(db, random_member(r, rng), catalogue.gates()[i], i % 64 == 0);
  }
}

TEST(Opt5Circuit, SeededSampleOfAllFunctions) {
  if (!have_database()) GTEST_SKIP() << "built without opt5/chains.bin";
  const auto& db = opt5::embedded_database();
  std::mt19937_64 rng(6);
  for (const std::uint32_t w : opt5_test::special_words())
    check_circuit(db, w, opt5::num_gates(db, opt5::mirror_word(w)));
  for (int k = 0; k < 1000000; ++k) {
    const auto w = static_cast<std::uint32_t>(rng());
    check_circuit(db, w, opt5::num_gates(db, opt5::mirror_word(w)), k % 256 == 0);
  }
}

TEST(Opt5Circuit, NamedFunctions) {
  if (!have_database()) GTEST_SKIP() << "built without opt5/chains.bin";
  const auto& db = opt5::embedded_database();
  std::uint32_t maj5 = 0, and5 = 0x80000000u, parity = 0;
  for (unsigned x = 0; x < 32; ++x) {
    maj5 |= (__builtin_popcount(x) >= 3 ? 1u : 0u) << x;
    parity |= (__builtin_popcount(x) & 1u) << x;
  }
  check_circuit(db, maj5, 9);
  check_circuit(db, and5, 4);
  check_circuit(db, ~1u, 4);  // OR of the five inputs
  check_circuit(db, parity, 4);
  check_circuit(db, 0x169AE443u, 12);
  const opt5::circuit zero = opt5::optimal_circuit(db, 0), one = opt5::optimal_circuit(db, ~0u);
  EXPECT_EQ(zero.output, opt5::circuit::kConstant);
  EXPECT_FALSE(zero.complement);
  EXPECT_EQ(one.output, opt5::circuit::kConstant);
  EXPECT_TRUE(one.complement);
  for (unsigned j = 0; j < 5; ++j) {
    std::uint32_t x = 0;
    for (unsigned i = 0; i < 32; ++i) x |= ((i >> j) & 1u) << i;
    for (const bool neg : {false, true}) {
      const opt5::circuit c = opt5::optimal_circuit(db, neg ? ~x : x);
      EXPECT_EQ(c.length, 0u);
      EXPECT_EQ(c.output, j);
      EXPECT_EQ(c.complement, neg);
    }
  }
}
