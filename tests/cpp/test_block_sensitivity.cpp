// Block sensitivity against the exhaustive recursion over blocks, per input
// and overall, and the minimal sensitive blocks against their definition.
#include <gtest/gtest.h>

#include <random>

#include "corpus_sweep.hpp"
#include "boolean_plain.hpp"
#include "error.hpp"
#include "families_plain.hpp"
#include "metrics/block_sensitivity.hpp"

using varnel::FValue;

TEST(BlockSensitivity, MatchesTheExhaustiveRecursion) {
  sweep_corpus(71, 0, 8, 4, [&](unsigned, const plain::Case& c, const FValue& f) {
    for (std::size_t x = 0; x < c.table.size(); x += 1 + c.table.size() / 16) {
      ASSERT_EQ(varnel::point_block_sensitivity(f, x), plain::point_block_sensitivity(c.table, x))
          << x;
    }
    EXPECT_EQ(varnel::block_sensitivity(f), plain::block_sensitivity(c.table));
  });
}

TEST(BlockSensitivity, MinimalBlocksAreTheMinimalSensitiveSets) {
  std::mt19937_64 rng(72);
  for (unsigned n : {3u, 6u, 7u, 9u}) {
    const plain::Table t = plain::biased(n, 0.3, rng);
    const FValue f = plain::pack(t);
    for (std::size_t x = 0; x < t.size(); x += 5) {
      std::vector<std::uint32_t> want;
      for (std::uint32_t b = 1; b < t.size(); ++b) {
        if (t[x ^ b] == t[x]) continue;
        bool minimal = true;
        for (std::uint32_t sub = (b - 1) & b; sub != 0 && minimal; sub = (sub - 1) & b) {
          if (t[x ^ sub] != t[x]) minimal = false;
        }
        if (minimal) want.push_back(b);
      }
      ASSERT_EQ(varnel::minimal_sensitive_blocks(f, x), want) << n << " " << x;
    }
  }
}

TEST(BlockSensitivity, ClosedForms) {
  // Tribes with blocks of width w: bs = n / w on the all-zero input side is
  // reached by one block per tribe; OR of n: bs = n at input 0.
  EXPECT_EQ(varnel::block_sensitivity(plain::pack(plain::threshold(10, 1))), 10u);
  EXPECT_EQ(varnel::block_sensitivity(plain::pack(plain::tribes(12, 3))), 4u);
  // Majority of 2k + 1 variables: s = bs = k + 1.
  EXPECT_EQ(varnel::block_sensitivity(plain::pack(plain::threshold(9, 5))), 5u);
  EXPECT_THROW(varnel::block_sensitivity(
                   FValue::zeros(std::uint64_t{1} << (varnel::kMaxBlockSensitivityVars + 1))),
               varnel::ValueError);
}
