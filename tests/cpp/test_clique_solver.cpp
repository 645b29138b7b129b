// The clique search: its stated edge cases, and the pruned search against the
// literal enumeration of k-subsets (tests/reference/families.hpp) on random
// graphs, including flag lists shorter or longer than the graph's pair count.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "clique_solver.hpp"
#include "families.hpp"

using varnel::find_clique;
using Clique = std::optional<std::vector<std::size_t>>;
using Flags = std::vector<std::uint8_t>;

namespace {

Clique some(std::initializer_list<std::size_t> v) { return std::vector<std::size_t>(v); }

}  // namespace

TEST(FindClique, StatedCases) {
  Flags only_23(6, 0);
  only_23[5] = 1;  // the pair (2, 3) of four vertices
  EXPECT_EQ(find_clique(only_23, 4, 2), some({2, 3}));
  const Flags none;
  EXPECT_EQ(find_clique(none, 4, 2), std::nullopt);
  EXPECT_EQ(find_clique(none, 4, 3), std::nullopt);
  EXPECT_EQ(find_clique(none, 4, 1), some({0}));
  EXPECT_EQ(find_clique(none, 4, 0), some({}));
  EXPECT_EQ(find_clique(Flags{1, 1, 1}, 3, 3), some({0, 1, 2}));
  EXPECT_EQ(find_clique(Flags{1, 0, 1}, 3, 3), std::nullopt);
  EXPECT_EQ(find_clique(none, 0, 0), some({}));
}

TEST(FindClique, KOneNeverLooksAtTheGraph) {
  EXPECT_EQ(find_clique({}, 0, 1), some({0}));
  EXPECT_EQ(find_clique({}, ~std::size_t{0}, 1), some({0}));
}

TEST(FindClique, MoreVerticesThanTheGraphHasIsNothing) {
  const Flags full(45, 1);
  for (std::size_t n = 0; n <= 10; ++n) {
    for (std::size_t k = n + 1; k <= n + 3; ++k) {
      if (k != 1) {
        EXPECT_EQ(find_clique(full, n, k), std::nullopt) << n << " " << k;
      }
    }
  }
}

TEST(FindClique, EdgeNumbering) {
  // e(lo, hi) runs through the upper triangle row by row.
  for (std::uint64_t n = 2; n <= 12; ++n) {
    std::uint64_t e = 0;
    for (std::uint64_t lo = 0; lo < n; ++lo) {
      for (std::uint64_t hi = lo + 1; hi < n; ++hi) {
        ASSERT_EQ(varnel::edge_index(lo, hi, n), e++);
        Flags one(n * (n - 1) / 2, 0);
        one[varnel::edge_index(lo, hi, n)] = 1;
        ASSERT_EQ(find_clique(one, n, 2), some({lo, hi}));
      }
    }
  }
}

TEST(FindClique, MatchesLiteralSearchOnRandomGraphs) {
  std::mt19937_64 rng(42);
  for (int rep = 0; rep < 4000; ++rep) {
    const std::size_t n = rng() % 10;
    const std::size_t m = n * (n == 0 ? 0 : n - 1) / 2;
    // Mostly the full pair count; sometimes a list cut short or running past it.
    std::size_t len = m;
    if (rep % 5 == 1) len = m == 0 ? 0 : rng() % m;
    if (rep % 5 == 2) len = m + rng() % 5;
    const unsigned density = 1 + rng() % 7;  // presence odds density / 8
    Flags edges(len);
    for (auto& e : edges) {
      e = static_cast<std::uint8_t>((rng() % 8) < density ? 1 + rng() % 255 : 0);
    }
    for (std::size_t k = 0; k <= n + 1; ++k) {
      ASSERT_EQ(find_clique(edges, n, k), plain::find_clique(edges, n, k))
          << "n=" << n << " k=" << k << " len=" << len;
    }
  }
}

TEST(FindClique, HugeVertexCountsEndAtTheFlagList) {
  // Pairs beyond the list are absent, so the search stops where the list ends.
  const std::size_t huge = std::size_t{1} << 40;
  EXPECT_EQ(find_clique(Flags{}, huge, 2), std::nullopt);
  EXPECT_EQ(find_clique(Flags{1}, huge, 2), some({0, 1}));
  EXPECT_EQ(find_clique(Flags{1}, huge, 3), std::nullopt);
  EXPECT_EQ(find_clique(Flags(10, 1), huge, huge), std::nullopt);
  EXPECT_EQ(find_clique(Flags{1}, ~std::size_t{0}, 2), some({0, 1}));
  EXPECT_EQ(find_clique(Flags{0, 1}, ~std::size_t{0}, 2), some({0, 2}));
  EXPECT_EQ(find_clique(Flags{0, 0}, ~std::size_t{0}, 5), std::nullopt);
}
