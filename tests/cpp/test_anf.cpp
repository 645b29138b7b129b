// The algebraic normal form and degree against the Möbius sum over submasks.
#include <gtest/gtest.h>

#include <random>

#include "corpus_sweep.hpp"
#include "boolean_plain.hpp"
#include "families_plain.hpp"
#include "metrics/anf.hpp"

using varnel::FValue;

TEST(Anf, MatchesTheMoebiusSumOnTheCorpus) {
  sweep_corpus(31, 0, 9, 4, [&](unsigned, const plain::Case& c, const FValue& f) {
    const plain::Table want = plain::anf(c.table);
    const FValue got = varnel::algebraic_normal_form(f);
    ASSERT_EQ(plain::unpack(got), want);
    unsigned degree = 0;
    for (std::size_t u = 0; u < want.size(); ++u) {
      if (want[u]) degree = std::max(degree, static_cast<unsigned>(std::popcount(u)));
    }
    EXPECT_EQ(varnel::algebraic_degree(f), degree);
  });
}

TEST(Anf, IsAnInvolutionOnLargeTables) {
  std::mt19937_64 rng(32);
  for (unsigned n : {12u, 17u}) {
    const FValue f = plain::pack(plain::random_table(n, rng));
    const FValue a = varnel::algebraic_normal_form(f);
    EXPECT_FALSE(a == f);
    EXPECT_TRUE(varnel::algebraic_normal_form(a) == f);
    // A random function has degree n or n - 1.
    EXPECT_GE(varnel::anf_degree(a), n - 1);
  }
}

TEST(Anf, ClosedForms) {
  // x0 x1 + x2 x3 + x4 x5: the inner product, degree 2 with three monomials.
  const FValue ip = plain::pack(plain::inner_product(6));
  const FValue a = varnel::algebraic_normal_form(ip);
  EXPECT_EQ(a.count_ones(), 3u);
  EXPECT_TRUE(a[0b000011] && a[0b001100] && a[0b110000]);
  // Majority of 3 is x0x1 + x0x2 + x1x2.
  const FValue maj = plain::pack(plain::threshold(3, 2));
  EXPECT_EQ(plain::unpack(varnel::algebraic_normal_form(maj)),
            (plain::Table{0, 0, 0, 1, 0, 1, 1, 0}));
  // The AND of n variables is the single top monomial; the OR has all 2^n - 1.
  const FValue all = varnel::algebraic_normal_form(plain::pack(plain::threshold(8, 8)));
  EXPECT_EQ(all.count_ones(), 1u);
  EXPECT_TRUE(all[255]);
  EXPECT_EQ(varnel::algebraic_normal_form(plain::pack(plain::threshold(8, 1))).count_ones(), 255u);
}
