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
