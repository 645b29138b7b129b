// Gate words and chains: the operator evaluation, the rewrite of a chain's
// inputs through a transform and the normalising evaluation, against plain
// gate-by-gate evaluation.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "npn_plain.hpp"
#include "opt5/chain.hpp"
#include "opt5/lookup.hpp"
#include "opt5_helpers.hpp"

using opt5_test::table;

namespace {

// A random chain of `length` gates with any operator code and complement
// bits, inputs among the nodes before each gate, and a random output literal.
opt5::gatevec_fast random_chain(std::mt19937_64& rng, unsigned length) {
  opt5::gatevec_fast c{};
  c.length = static_cast<std::uint8_t>(length);
  for (unsigned i = 0; i < length; ++i) {
    const auto a = static_cast<unsigned>(rng() % (6 + i)),
               b = static_cast<unsigned>(rng() % (6 + i));
    c.gates[i] = static_cast<std::uint16_t>(opt5::make_gate(a, b, rng() & 7) | (rng() & 0x8208));
  }
  c.output = static_cast<std::uint8_t>(((rng() % (6 + length)) << 1) | (rng() & 1));
  return c;
}

// The same chain as plain gates.
std::uint32_t plain_eval(const opt5::gatevec_fast& c) {
  std::vector<plain::Gate> gates;
  for (unsigned i = 0; i < c.length; ++i) {
    const std::uint16_t g = c.gates[i];
    unsigned table = 0;
    for (unsigned a = 0; a < 2; ++a)
      for (unsigned b = 0; b < 2; ++b) {
        const unsigned v =
            ((g & 1) ? a : 0) ^ ((g & 2) ? b : 0) ^ ((g & 4) ? (a & b) : 0) ^ ((g >> 15) & 1u);
        table |= v << (2 * a + b);
      }
    gates.push_back(
        {opt5::gate_input_a(g), opt5::gate_input_b(g), (g & 0x8) != 0, (g & 0x200) != 0, table});
  }
  return plain::eval(gates, c.output >> 1, c.output & 1);
}

}  // namespace

TEST(GateChain, ApplyOper8r) {
  const std::uint32_t a = 0x0000FFFF, b = 0x00FF00FF;
  EXPECT_EQ(opt5::apply_oper8r(a, '&', b), 0x000000FFu);
  EXPECT_EQ(opt5::apply_oper8r(a, '|', b), 0x00FFFFFFu);
  EXPECT_EQ(opt5::apply_oper8r(a, '+', b), 0x00FFFF00u);
  EXPECT_EQ(opt5::apply_oper8r(a, '\\', b), 0x0000FF00u);
  EXPECT_EQ(opt5::apply_oper8r(a, '/', b), 0x00FF0000u);
  for (char other : {'\0', '-', '*', '^', '!', 'a'}) EXPECT_EQ(opt5::apply_oper8r(a, other, b), 0u);
}

TEST(GateChain, AndOfVariablesZeroAndOne) {
  opt5::gatevec_fast c{};
  c.gates[0] = opt5::make_gate(5, 4, 4);
  c.length = 1;
  c.output = 12;
  EXPECT_EQ(c.gates[0], (5 << 4) | (4 << 10) | 4);
  EXPECT_EQ(opt5::eval_chain(c), 0x11111111u);
  EXPECT_EQ(opt5::normalise_chain_fast(c, table().tableau), 0x11111111u);
}

TEST(GateChain, NormaliseMatchesPlainEvaluation) {
  std::mt19937_64 rng(0xc4a1);
  for (int i = 0; i < 20000; ++i) {
    opt5::gatevec_fast c = random_chain(rng, static_cast<unsigned>(rng() % 13));
    const std::uint32_t expected = plain_eval(c);
    ASSERT_EQ(opt5::eval_chain(c), expected);
    opt5::gatevec_fast n = c;
    ASSERT_EQ(opt5::normalise_chain_fast(n, table().tableau), expected);
    // The rewritten chain computes the same function from the stored values:
    // operators without constant term, output literal adjusted; the input
    // complement bits are left as they were and no longer apply.
    for (unsigned k = 0; k < n.length; ++k) {
      ASSERT_EQ(n.gates[k] & 0x8000u, 0u);
      n.gates[k] &= static_cast<std::uint16_t>(~0x0208u);
    }
    ASSERT_EQ(opt5::eval_chain(n), expected);
  }
}

TEST(GateChain, ApplyPermRewritesTheFunctionByTheTransform) {
  std::mt19937_64 rng(0xc4a2);
  for (int i = 0; i < 20000; ++i) {
    opt5::gatevec_fast c = random_chain(rng, static_cast<unsigned>(rng() % 13));
    // A chain with gates outputs one of its gates (the rewrite leaves an
    // output literal that names an input as it is).
    if (c.length > 0)
      c.output = static_cast<std::uint8_t>(((6 + rng() % c.length) << 1) | (c.output & 1));
    const plain::Transform t = opt5_test::random_transform(rng);
    const std::uint32_t r = opt5::eval_chain(c);
    opt5::apply_perm(
        c, opt5::transform{{static_cast<std::int16_t>(t[0]), static_cast<std::int16_t>(t[1]),
                            static_cast<std::int16_t>(t[2]), static_cast<std::int16_t>(t[3]),
                            static_cast<std::int16_t>(t[4]), static_cast<std::int16_t>(t[5])}});
    ASSERT_TRUE(plain::transform_holds(opt5::eval_chain(c), r, t)) << i;
  }
}

TEST(GateChain, ApplyPermLeavesGatesAndNodeSixteen) {
  opt5::gatevec_fast c{};
  c.length = 12;
  // Gate i reads gate i - 1 (node 5 + i) and node 0; gate 11 reads node 16.
  c.gates[0] = opt5::make_gate(0, 0, 3);
  for (unsigned i = 1; i < 12; ++i) c.gates[i] = opt5::make_gate(5 + i, 0, 3);
  const opt5::gatevec_fast before = c;
  opt5::apply_perm(c, opt5::transform{{0, -5, 4, -3, 2, 1}});
  for (unsigned i = 0; i < 12; ++i) EXPECT_EQ(c.gates[i], before.gates[i]) << i;
  EXPECT_EQ(c.output, before.output);
}
