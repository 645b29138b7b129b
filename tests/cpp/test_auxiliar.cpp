#include <gtest/gtest.h>

#include <random>

#include "auxiliar.hpp"
#include "error.hpp"
#include "restriction_plain.hpp"

using varnel::SubsetIterator;
using varnel::VarList;

namespace {

std::vector<std::pair<VarList, VarList>> all_pairs(std::uint64_t n) {
  SubsetIterator it(n);
  std::vector<std::pair<VarList, VarList>> out;
  while (auto p = it.next()) out.push_back(std::move(*p));
  return out;
}

std::uint64_t binomial(std::uint64_t n, std::uint64_t k) {
  std::uint64_t r = 1;
  for (std::uint64_t i = 1; i <= k; ++i) r = r * (n - k + i) / i;
  return r;
}

}  // namespace

TEST(SubsetIterator, SmallCases) {
  using P = std::vector<std::pair<VarList, VarList>>;
  EXPECT_EQ(all_pairs(1), (P{{{}, {0}}}));
  EXPECT_EQ(all_pairs(2), (P{{{0}, {1}}}));
  EXPECT_EQ(all_pairs(3), (P{{{0}, {1, 2}}, {{1}, {0, 2}}, {{2}, {0, 1}}}));
  EXPECT_EQ(all_pairs(4), (P{{{0, 1}, {2, 3}}, {{0, 2}, {1, 3}}, {{0, 3}, {1, 2}}}));
  const P five = all_pairs(5);
  ASSERT_EQ(five.size(), 10u);
  EXPECT_EQ(five.front(), (std::pair<VarList, VarList>{{0, 1}, {2, 3, 4}}));
  EXPECT_EQ(five.back(), (std::pair<VarList, VarList>{{3, 4}, {0, 1, 2}}));
  const P six = all_pairs(6);
  ASSERT_EQ(six.size(), 10u);
  for (auto& [s, c] : six) EXPECT_EQ(s.front(), 0u);
}

TEST(SubsetIterator, MatchesTheDefinitionAndCountsEverySplitOnce) {
  for (std::uint64_t n = 1; n <= 16; ++n) {
    const auto pairs = all_pairs(n);
    ASSERT_EQ(pairs, plain::bipartitions(n)) << "n = " << n;
    const std::uint64_t expected = n % 2 == 1 ? binomial(n, n / 2) : binomial(n, n / 2) / 2;
    ASSERT_EQ(pairs.size(), expected);
    for (auto& [s, c] : pairs) {
      ASSERT_EQ(s.size(), n / 2);
      ASSERT_EQ(c.size(), n - n / 2);
    }
    const auto masks = varnel::balanced_subset_masks(static_cast<unsigned>(n));
    ASSERT_EQ(masks.size(), pairs.size());
    for (std::size_t i = 0; i < masks.size(); ++i) {
      std::uint64_t m = 0;
      for (auto v : pairs[i].first) m |= std::uint64_t{1} << v;
      ASSERT_EQ(masks[i], m);
    }
  }
}

TEST(SubsetIterator, ZeroVariablesIsACapacityOverflow) {
  try {
    SubsetIterator it(0);
    FAIL() << "expected a panic";
  } catch (const varnel::Panic& p) {
    EXPECT_STREQ(p.what(), "capacity overflow");
  }
}

TEST(Deposit, Examples) {
  const VarList a{3, 0, 2}, none{}, twice{1, 1};
  EXPECT_EQ(varnel::deposit(0b101, a), 0b1100u);
  EXPECT_EQ(varnel::deposit(5, none), 0u);
  EXPECT_EQ(varnel::deposit(3, twice), 0b10u);
  const VarList wraps{64, 65};  // positions modulo 64
  EXPECT_EQ(varnel::deposit(0b11, wraps), 0b11u);
}

TEST(Deposit, MatchesTheDefinitionOnRandomLists) {
  std::mt19937_64 rng(7);
  for (int rep = 0; rep < 5000; ++rep) {
    VarList positions(rng() % 80);
    for (auto& p : positions) p = rng() % (rep % 2 ? 64 : 200);
    const std::uint64_t value = rng();
    ASSERT_EQ(varnel::deposit(value, positions), plain::deposit(value, positions));
  }
}

// Every subset list is one enumeration: the k-subsets of a range of
// consecutive variables in lexicographic order, read by rank or by steps.
TEST(KSubsets, EveryListIsTheLexicographicEnumeration) {
  for (unsigned n = 1; n <= 14; ++n) {
    // The balanced bipartitions: odd n, the floor(n/2)-subsets of 0..n-1;
    // even n, variable 0 and the (n/2 - 1)-subsets of 1..n-1.
    const std::vector<std::uint64_t> balanced = varnel::balanced_subset_masks(n);
    const unsigned k = n % 2 == 1 ? n / 2 : n / 2 - 1;
    const std::vector<std::uint64_t> level = varnel::level_masks(n % 2 == 1 ? n : n - 1, k);
    ASSERT_EQ(balanced.size(), level.size()) << n;
    for (std::size_t i = 0; i < level.size(); ++i) {
      ASSERT_EQ(balanced[i], n % 2 == 1 ? level[i] : 1 | (level[i] << 1)) << n << " " << i;
    }
    for (unsigned first = 0; first + n <= 20; first += 3) {
      for (unsigned size = 0; size <= n; ++size) {
        const std::vector<std::uint64_t> base = varnel::level_masks(n, size);
        varnel::KSubsets subsets(first, n, size);
        ASSERT_EQ(subsets.count(), base.size());
        for (std::uint64_t r = 0; r < base.size(); ++r) {
          ASSERT_EQ(r == 0 ? subsets.seek(0) : subsets.next(), base[r] << first);
        }
        for (std::uint64_t r = 0; r < base.size(); r += 1 + base.size() / 11) {
          ASSERT_EQ(subsets.seek(r), base[r] << first);
          ASSERT_EQ(varnel::level_mask_at(n, size, r), base[r]);
        }
      }
    }
  }
}

TEST(KSubsets, BinomialsUpToSixtyFour) {
  for (unsigned a = 0; a <= 64; ++a) {
    for (unsigned b = 0; b <= a + 1; ++b) {
      // C(a, b) = C(a, b - 1) * (a - b + 1) / b, exact in 128 bits.
      unsigned __int128 want = b > a ? 0 : 1;
      for (unsigned i = 1; i <= b && b <= a; ++i) want = want * (a - i + 1) / i;
      ASSERT_EQ(varnel::binomial(a, b), static_cast<std::uint64_t>(want)) << a << " " << b;
    }
  }
  EXPECT_EQ(varnel::binomial(64, 32), 1832624140942590534ull);
}
