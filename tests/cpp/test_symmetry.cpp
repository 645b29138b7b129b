// Symmetric functions against the definition.
#include <gtest/gtest.h>

#include <random>

#include "boolean_plain.hpp"
#include "families_plain.hpp"
#include "metrics/symmetry.hpp"

TEST(Symmetry, MatchesTheDefinitionOnTheCorpus) {
  std::mt19937_64 rng(73);
  for (unsigned n = 0; n <= 10; ++n) {
    for (const auto& c : plain::corpus(n, rng, 2)) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(varnel::is_symmetric(plain::pack(c.table)), plain::is_symmetric(c.table));
    }
  }
}
