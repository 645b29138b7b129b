// Algebraic immunity against the ranks of full GF(2) matrices.
#include <gtest/gtest.h>

#include <random>

#include "corpus_sweep.hpp"
#include "boolean_plain.hpp"
#include "error.hpp"
#include "families_plain.hpp"
#include "metrics/algebraic_immunity.hpp"

using varnel::FValue;

TEST(AlgebraicImmunity, MatchesTheMatrixRanksOnTheCorpus) {
  sweep_corpus(51, 0, 8, 6, [&](unsigned n, const plain::Case& c, const FValue& f) {
    EXPECT_EQ(varnel::algebraic_immunity(f), plain::algebraic_immunity(c.table));
    for (bool value : {false, true}) {
      const unsigned want = plain::annihilator_degree(c.table, value);
      EXPECT_EQ(varnel::annihilator_degree(f, value, n), std::min(want, n + 1));
    }
  });
}

TEST(AlgebraicImmunity, ClosedForms) {
  // Majority of n variables has the optimum ceil(n / 2); AND and OR have 1;
  // affine functions have 1; constants 0.
  for (unsigned n = 1; n <= 12; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(varnel::algebraic_immunity(plain::pack(plain::threshold(n, n / 2 + 1))), (n + 1) / 2);
    EXPECT_EQ(varnel::algebraic_immunity(plain::pack(plain::threshold(n, n))), 1u);
    EXPECT_EQ(varnel::algebraic_immunity(plain::pack(plain::threshold(n, 1))), 1u);
    EXPECT_EQ(varnel::algebraic_immunity(plain::pack(plain::threshold(n, 0))), 0u);
  }
}

TEST(AlgebraicImmunity, RejectsTablesBeyondTheLimit) {
  const FValue f = FValue::zeros(std::uint64_t{1} << (varnel::kMaxAnnihilatorVars + 1));
  EXPECT_THROW(varnel::algebraic_immunity(f), varnel::ValueError);
}
