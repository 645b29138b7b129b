// Decision-tree depth against the recursion over restrictions, and the chain
// s <= bs <= C <= D <= n with deg <= D on random functions.
#include <gtest/gtest.h>

#include <random>

#include "corpus_sweep.hpp"
#include "boolean_plain.hpp"
#include "error.hpp"
#include "families_plain.hpp"
#include "metrics/block_sensitivity.hpp"
#include "metrics/certificate.hpp"
#include "metrics/decision_tree.hpp"
#include "metrics/sensitivity.hpp"
#include "metrics/spectral.hpp"

using varnel::FValue;

TEST(DecisionTree, MatchesTheRecursionOverRestrictions) {
  sweep_corpus(61, 0, 6, 6, [&](unsigned, const plain::Case& c, const FValue& f) {
    EXPECT_EQ(varnel::decision_tree_depth(f), plain::decision_tree_depth(c.table));
  });
}

TEST(DecisionTree, ClosedForms) {
  // Parity, majority, AND and OR are evasive (depth n); a dictator needs one
  // query; the address function with k address bits needs k + 1.
  for (unsigned n = 1; n <= 10; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(varnel::decision_tree_depth(plain::pack(plain::threshold(n, n / 2 + 1))), n);
    EXPECT_EQ(varnel::decision_tree_depth(plain::pack(plain::threshold(n, n))), n);
    EXPECT_EQ(varnel::decision_tree_depth(plain::pack(
                  plain::make_table(n, [](std::size_t x) { return (std::popcount(x) & 1) != 0; }))),
              n);
    EXPECT_EQ(varnel::decision_tree_depth(
                  plain::pack(plain::make_table(n, [](std::size_t x) { return (x & 1) != 0; }))),
              1u);
  }
  for (unsigned k = 1; k <= 3; ++k) {
    const unsigned n = k + (1u << k);
    const plain::Table address = plain::make_table(
        n, [k](std::size_t x) { return ((x >> (k + (x & ((1u << k) - 1)))) & 1u) != 0; });
    EXPECT_EQ(varnel::decision_tree_depth(plain::pack(address)), k + 1) << k;
  }
  EXPECT_THROW(varnel::decision_tree_depth(
                   FValue::zeros(std::uint64_t{1} << (varnel::kMaxDecisionTreeVars + 1))),
               varnel::ValueError);
}

TEST(DecisionTree, ComplexityMeasuresAreOrdered) {
  sweep_corpus(62, 1, 9, 4, [&](unsigned n, const plain::Case&, const FValue& f) {
    const unsigned s = varnel::max_sensitivity(f);
    const unsigned bs = varnel::block_sensitivity(f);
    const unsigned cc = varnel::certificate_complexity(f);
    const unsigned d = varnel::decision_tree_depth(f);
    EXPECT_LE(s, bs);
    EXPECT_LE(bs, cc);
    EXPECT_LE(cc, d);
    EXPECT_LE(d, n);
    EXPECT_LE(varnel::degree(f), d);
    // D <= C^2 and C <= s * bs.
    EXPECT_LE(d, cc * cc);
    EXPECT_LE(cc, s * bs);
  });
}
