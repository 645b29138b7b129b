// The chain database: the loader on small files made here, lookups on a
// database of every class of at most three gates (found by exhaustive search),
// the fatal path, the C entry points, and the embedded database when the
// build has one.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "npn_plain.hpp"
#include "opt5/database.hpp"
#include "opt5/lookup.hpp"
#include "opt5/opt5.h"
#include "opt5_helpers.hpp"

using opt5_test::small_database;
using opt5_test::table;

namespace {

std::vector<std::uint8_t> file_of(const std::vector<std::vector<unsigned>>& records) {
  std::vector<std::uint8_t> bytes;
  for (const auto& fields : records) {
    const auto r = plain::record(fields);
    bytes.insert(bytes.end(), r.begin(), r.end());
  }
  return bytes;
}

opt5::chain_map load(const std::vector<std::uint8_t>& bytes) {
  opt5::chain_map map;
  opt5::load_chains_from_binary(map, bytes);
  return map;
}

// The small database as a wrapper, built once.
const opt5::wrapper& small_wrapper() {
  static const auto w = opt5::make_wrapper(small_database().bytes);
  return *w;
}

}  // namespace

TEST(Loader, ZeroGateClassesAreAdded) {
  const opt5::chain_map map = load({});
  EXPECT_EQ(map.size(), 2u);
  const opt5::gatevec_fast* zero = map.find(0);
  const opt5::gatevec_fast* var = map.find(0x0000FFFF);
  ASSERT_TRUE(zero && var);
  EXPECT_EQ(zero->length, 0);
  EXPECT_EQ(zero->output, 0);
  EXPECT_EQ(var->length, 0);
  EXPECT_EQ(var->output, 2);
}

TEST(Loader, RecordFields) {
  // x4 AND x3, (x4 AND x3) OR x2, that XOR x1, that AND NOT x0.
  const auto map = load(file_of({{plain::field(1, 2, 0)},
                                 {plain::field(1, 2, 0), plain::field(6, 3, 1)},
                                 {plain::field(1, 2, 0), plain::field(6, 3, 1),
                                  plain::field(7, 4, 2), plain::field(8, 5, 3)}}));
  ASSERT_EQ(map.size(), 5u);
  const std::uint32_t g0 = 0x0000FFFF & 0x00FF00FF, g1 = g0 | 0x0F0F0F0F, g2 = g1 ^ 0x33333333,
                      g3 = g2 & ~0x55555555u;
  const opt5::gatevec_fast* c = map.find(g3);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->length, 4);
  EXPECT_EQ(c->output, 2 * 4 + 10);
  EXPECT_EQ(c->gates[0], opt5::make_gate(1, 2, opt5::kOpAnd));
  EXPECT_EQ(c->gates[1], opt5::make_gate(6, 3, opt5::kOpOr));
  EXPECT_EQ(c->gates[2], opt5::make_gate(7, 4, opt5::kOpXor));
  EXPECT_EQ(c->gates[3], opt5::make_gate(8, 5, opt5::kOpAndNot));
  EXPECT_EQ(opt5::eval_chain(*c), g3);
  ASSERT_NE(map.find(g0), nullptr);
  EXPECT_EQ(map.find(g0)->output, 12);
  ASSERT_NE(map.find(g1), nullptr);
  EXPECT_EQ(map.find(g1)->output, 14);
}

TEST(Loader, FirstFieldZeroGivesVariableZero) {
  const auto map = load(file_of({{0, plain::field(1, 2, 0)}}));
  const opt5::gatevec_fast* c = map.find(0x55555555);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->length, 0);
  EXPECT_EQ(c->output, 10);
}

TEST(Loader, TwelveGatesAndNodeSixteen) {
  // Gate 0 = x4 XOR x3; gate i XORs gate i - 1 with an input; gate 11 reads
  // node 16 (gate 10) and node 15.
  std::vector<unsigned> fields = {plain::field(1, 2, 2)};
  for (unsigned i = 1; i < 11; ++i) fields.push_back(plain::field(5 + i, 1 + i % 5, i % 4));
  fields.push_back(plain::field(16, 15, 2));
  const auto bytes = file_of({fields});
  ASSERT_EQ(bytes.size(), 15u);
  // The expected key, gate by gate.
  static constexpr char kOp[4] = {'&', '|', '+', '\\'};
  std::vector<std::uint32_t> node(plain::kNodes, plain::kNodes + 6);
  for (unsigned f : fields)
    node.push_back(opt5::apply_oper8r(node[(f & 15) + 1], kOp[f >> 8], node[((f >> 4) & 15) + 1]));
  const auto map = load(bytes);
  const opt5::gatevec_fast* c = map.find(node.back());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->length, 12);
  EXPECT_EQ(c->output, 34);
  EXPECT_EQ(opt5::gate_input_a(c->gates[11]), 16u);
  EXPECT_EQ(opt5::eval_chain(*c), node.back());
}

TEST(Loader, LaterRecordReplacesAnEarlierKey) {
  // x4 AND x3 twice, the second with the inputs exchanged.
  const auto map = load(file_of({{plain::field(1, 2, 0)}, {plain::field(2, 1, 0)}}));
  EXPECT_EQ(map.size(), 3u);
  EXPECT_EQ(map.find(0x000000FF)->gates[0], opt5::make_gate(2, 1, opt5::kOpAnd));
}

TEST(Loader, DefectiveRecordsAreReadSafely) {
  // Forward references read as constant false; a trailing partial record is
  // ignored.
  auto bytes = file_of({{plain::field(9, 2, 2)}});
  bytes.resize(bytes.size() + 7, 0xFF);
  const auto map = load(bytes);
  EXPECT_EQ(map.size(), 3u);
  ASSERT_NE(map.find(0x00FF00FF), nullptr);
  EXPECT_EQ(map.find(0x00FF00FF)->length, 1);
}

TEST(ChainMap, GrowsAndFindsEveryKey) {
  opt5::chain_map map;
  std::mt19937_64 rng(0xdb01);
  std::map<std::uint32_t, std::uint8_t> expected;
  for (int i = 0; i < 50000; ++i) {
    const auto key = static_cast<std::uint32_t>(rng());
    const auto len = static_cast<std::uint8_t>(rng() % 13);
    map.find_or_insert(key).length = len;
    expected[key] = len;
    ASSERT_LE(2 * map.size(), map.slot_count());
  }
  map.find_or_insert(0xFFFFFFFFu).length = 7;  // the all-ones key is an ordinary key
  expected[0xFFFFFFFFu] = 7;
  EXPECT_EQ(map.size(), expected.size());
  for (const auto& [key, len] : expected) {
    ASSERT_NE(map.find(key), nullptr);
    ASSERT_EQ(map.find(key)->length, len);
  }
  std::size_t visited = 0;
  map.for_each([&](std::uint32_t key, const opt5::gatevec_fast& c) {
    ++visited;
    EXPECT_EQ(expected.at(key), c.length);
  });
  EXPECT_EQ(visited, expected.size());
  for (int i = 0; i < 1000; ++i) {
    const auto key = static_cast<std::uint32_t>(rng());
    if (!expected.count(key)) {
      ASSERT_EQ(map.find(key), nullptr);
    }
  }
  EXPECT_EQ(map.size(), expected.size());
}

TEST(SmallDatabase, MatchesTheKnownCountsOfSmallChains) {
  const auto& db = small_database();
  std::map<unsigned, int> words, classes;
  for (const auto& [w, lv] : db.level) ++words[lv];
  for (const auto& [rep, fields] : db.chains) ++classes[static_cast<unsigned>(fields.size())];
  EXPECT_EQ(words, (std::map<unsigned, int>{{0, 6}, {1, 50}, {2, 570}, {3, 5785}}));
  EXPECT_EQ(classes, (std::map<unsigned, int>{{1, 2}, {2, 5}, {3, 20}}));
  // Every key is a representative; nothing else has zero gates.
  const opt5::wrapper& w = small_wrapper();
  EXPECT_EQ(w.chains.size(), 29u);
  w.chains.for_each([&](std::uint32_t key, const opt5::gatevec_fast& c) {
    EXPECT_EQ(opt5::get_representant(key, table()), key);
    EXPECT_EQ(c.length == 0, key == 0 || key == 0x0000FFFF) << key;
    if (c.length) {
      EXPECT_EQ(c.output, 2 * c.length + 10);
    }
  });
}

TEST(Lookup, EveryWordOfAtMostThreeGates) {
  // Every normal word of cost <= 3 and its complement: the stored chain of its
  // class, rewritten for it, must compute it (or the process ends).
  const opt5::wrapper& w = small_wrapper();
  for (const auto& [f, lv] : small_database().level) {
    ASSERT_EQ(opt5::num_gates(w, f), lv) << std::hex << f;
    ASSERT_EQ(opt5::num_gates(w, ~f), lv) << std::hex << f;
    const opt5::gatevec_fast c = opt5::lookup_transform(f, w.chains, *w.table);
    ASSERT_EQ(c.length, lv);
  }
}

TEST(Lookup, SpecialCases) {
  const opt5::wrapper& w = small_wrapper();
  EXPECT_EQ(opt5::num_gates(w, 0), 0u);
  EXPECT_EQ(opt5::num_gates(w, 0xFFFFFFFFu), 0u);
  const opt5::gatevec_fast one = opt5::lookup_transform(0xFFFFFFFFu, w.chains, *w.table);
  EXPECT_EQ(one.length, 0);
  EXPECT_EQ(one.output, 1);  // node 0, complemented
  EXPECT_EQ(opt5::eval_chain(one), 0xFFFFFFFFu);
  EXPECT_EQ(opt5::num_gates(w, 0x55555555u), 0u);
  EXPECT_EQ(opt5::num_gates(w, 0xAAAAAAAAu), 0u);
  EXPECT_EQ(opt5::num_gates(w, 0x11111111u), 1u);
  EXPECT_EQ(opt5::num_gates(w, 0x66666666u), 1u);
  EXPECT_EQ(opt5::npn_representant(w, 0x55555555u), 0x0000FFFFu);
  EXPECT_EQ(opt5::npn_representant(w, 0x11111111u), 0x000000FFu);
  EXPECT_EQ(opt5::npn_representant(w, 0x66666666u), 0x00FFFF00u);
  EXPECT_EQ(opt5::npn_representant(w, 0xFFFFFFFFu), 0u);
}

TEST(Lookup, MissingClassIsFatalAndInsertsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto w = opt5::make_wrapper({});
  const std::size_t before = w->chains.size();
  EXPECT_EQ(opt5::num_gates(*w, 0x55555555u), 0u);
  EXPECT_EXIT(opt5::num_gates(*w, 0x11111111u), testing::ExitedWithCode(1),
              "^Major disaster! [0-9]+ != 286331153 \\(canonised 255\\)\n$");
  EXPECT_EQ(w->chains.size(), before);
  EXPECT_EQ(w->chains.find(0x000000FFu), nullptr);
}

TEST(Lookup, ChainUnderAWrongKeyIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // x0 AND x1 stored under its own word 0x11111111, not under its class's
  // representative 0x000000FF.
  const auto w = opt5::make_wrapper(file_of({{plain::field(5, 4, 0)}}));
  ASSERT_NE(w->chains.find(0x11111111u), nullptr);
  EXPECT_EXIT(opt5::num_gates(*w, 0x11111111u), testing::ExitedWithCode(1), "^Major disaster! ");
}

TEST(EntryPoints, HandleOnAFullSizeFile) {
  // The small database padded to the full length with zero records (each a
  // zero-gate chain for variable 0, which no lookup reaches).
  std::vector<std::uint8_t> bytes = small_database().bytes;
  bytes.resize(opt5::kDatabaseBytes, 0);
  void* handle = create_wrapper(bytes.data());
  ASSERT_NE(handle, nullptr);
  const opt5::wrapper* db = *static_cast<opt5::wrapper**>(handle);
  EXPECT_EQ(db->chains.size(), 30u);
  EXPECT_EQ(num_gates(handle, 0x66996699u), 2u);  // x0 XOR x1 XOR x3
  EXPECT_EQ(num_gates(handle, 0x01010101u), 2u);  // x0 AND x1 AND x2
  EXPECT_EQ(num_gates(handle, ~0x01010101u), 2u);
  EXPECT_EQ(npn_representant(handle, 0x01010101u), 0x0000000Fu);
  EXPECT_EQ(npn_representant(handle, 0x66996699u), plain::npn_brute(0x66996699u, 5));
  delete db;
  delete static_cast<opt5::wrapper**>(handle);
}

// ---------------------------------------------------------------------------
// The embedded database, when the build found opt5/chains.bin.

class Embedded : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!opt5::embedded_chains().empty())
      db_ = opt5::make_wrapper(opt5::embedded_chains()).release();
  }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  void SetUp() override {
    if (db_ == nullptr) GTEST_SKIP() << "built without opt5/chains.bin";
  }
  static const opt5::wrapper* db_;
};
const opt5::wrapper* Embedded::db_ = nullptr;

// Record framing only: the count of records per chain length against the
// published table is the chain database verifier's check (chaindb_table), and
// the operator mix depends on which optimal chains a file happens to hold.
TEST_F(Embedded, RecordFraming) {
  const auto bytes = opt5::embedded_chains();
  ASSERT_EQ(bytes.size(), opt5::kDatabaseBytes);
  std::map<unsigned, std::size_t> by_length;
  std::size_t ops[4] = {};
  for (std::size_t r = 0; r < opt5::kDatabaseRecords; ++r) {
    unsigned __int128 x = 0;
    for (int b = 14; b >= 0; --b) x = (x << 8) | bytes[r * 15 + static_cast<std::size_t>(b)];
    unsigned length = 0;
    for (; length < 12; ++length) {
      const unsigned c = static_cast<unsigned>(x >> (10 * length)) & 0x3FF;
      if (c == 0) break;
      ++ops[c >> 8];
    }
    for (unsigned k = length; k < 12; ++k)
      ASSERT_EQ(static_cast<unsigned>(x >> (10 * k)) & 0x3FF, 0u) << "record " << r;
    ++by_length[length];
  }
  EXPECT_EQ(by_length.count(0), 0u) << "no record may have zero gates";
  std::size_t total = 0;
  for (const auto& [length, count] : by_length) total += count;
  EXPECT_EQ(total, opt5::kDatabaseRecords);
  (void)ops;
}

TEST_F(Embedded, EveryKeyIsARepresentativeAndLooksUp) {
  EXPECT_EQ(db_->chains.size(), 616126u);
  std::mt19937_64 rng(0xe3b);
  std::size_t zero_length = 0;
  db_->chains.for_each([&](std::uint32_t key, const opt5::gatevec_fast& c) {
    ASSERT_EQ(opt5::get_representant(key, *db_->table), key) << key;
    ASSERT_EQ(opt5::eval_chain(c), key) << key;
    zero_length += c.length == 0;
    // The key and a random member of its class give the same count.
    ASSERT_EQ(opt5::num_gates(*db_, key), c.length);
    const std::uint32_t g = plain::apply_transform(key, opt5_test::random_transform(rng));
    ASSERT_EQ(opt5::num_gates(*db_, g), c.length) << key;
  });
  EXPECT_EQ(zero_length, 2u);
  const opt5::gatevec_fast* twelve = db_->chains.find(0x169AE443u);
  ASSERT_NE(twelve, nullptr);
  EXPECT_EQ(twelve->length, 12);
  EXPECT_EQ(twelve->output, 34);
}

TEST_F(Embedded, KnownFunctions) {
  const opt5::wrapper& w = *db_;
  const std::uint32_t and5 = 1u << (31 - 31), or5 = ~(1u << 31), parity = 0x69969669u;
  EXPECT_EQ(opt5::num_gates(w, and5), 4u);
  EXPECT_EQ(opt5::num_gates(w, or5), 4u);
  EXPECT_EQ(opt5::npn_representant(w, and5), 1u);
  EXPECT_EQ(opt5::npn_representant(w, or5), 1u);
  EXPECT_EQ(opt5::num_gates(w, parity), 4u);
  EXPECT_EQ(opt5::npn_representant(w, parity), parity);
  EXPECT_EQ(opt5::num_gates(w, 0x169AE443u), 12u);
  EXPECT_EQ(opt5::num_gates(w, 0xFFFFFFFFu), 0u);
}
