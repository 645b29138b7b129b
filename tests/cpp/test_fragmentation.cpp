#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "fragmentation_plain.hpp"
#include "toolkit.hpp"
#include "metrics/fragmentation.hpp"
#include "subset_descent.hpp"
#include "restriction.hpp"
#include "subset_walk.hpp"

using varnel::FValue;
using varnel::VarMask;

namespace {

using plain::float_bits;

void expect_same(const std::vector<float>& a, const std::vector<float>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(float_bits(a[i]), float_bits(b[i]))
        << what << "[" << i << "]: " << a[i] << " vs " << b[i];
  }
}

// Functions of every kind the profile's route tells apart: random (nearly
// every subset has distinct forms), constant, parity, majority (forms repeat
// everywhere), biased, a random function of some of the variables (dummies),
// and the exclusive or of random functions of two disjoint halves (forms
// repeat without any pair of variables showing it).
plain::Table kind_table(unsigned n, unsigned kind, std::mt19937_64& rng) {
  using plain::Shape;
  static constexpr Shape kinds[] = {Shape::random,       Shape::constant, Shape::parity,
                                    Shape::majority,     Shape::biased,   Shape::junta,
                                    Shape::xor_of_halves};
  return plain::shaped_table(n, kinds[kind % 7], rng);
}

auto plain_entropy = [](const plain::Table& t, const plain::Vars& s) {
  return plain::set_entropy(t, s);
};

}  // namespace

TEST(Fragmentation, LevelMasksInLexicographicOrder) {
  for (unsigned n = 0; n <= 9; ++n) {
    for (unsigned k = 0; k <= n + 1; ++k) {
      const auto masks = varnel::level_masks(n, k);
      const auto lists = plain::level_list(n, k);
      ASSERT_EQ(masks.size(), lists.size()) << n << " " << k;
      for (std::size_t i = 0; i < masks.size(); ++i) {
        VarMask m = 0;
        for (auto v : lists[i]) m |= VarMask{1} << v;
        ASSERT_EQ(masks[i], m) << "n=" << n << " k=" << k << " i=" << i;
        ASSERT_EQ(varnel::level_mask_at(n, k, i), m) << "n=" << n << " k=" << k << " i=" << i;
      }
    }
  }
  EXPECT_EQ(varnel::level_masks(4, 2),
            (std::vector<VarMask>{0b0011, 0b0101, 0b1001, 0b0110, 0b1010, 0b1100}));
  EXPECT_EQ(varnel::level_masks(0, 0), std::vector<VarMask>{0});
  EXPECT_EQ(varnel::level_masks(20, 10).size(), 184756u);
}

TEST(Fragmentation, LevelSumGrouping) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<float> dist(0.0f, 20.0f);
  for (std::size_t len : {0, 1, 2, 7, 1000, 1024, 1025, 3003, 184756}) {
    std::vector<float> v(len);
    for (auto& x : v) x = dist(rng);
    float sequential = -0.0f;
    for (float x : v) sequential = sequential + x;
    const float tree = plain::tree_sum(v, 0, v.size(), varnel::kLeafSubsets);
    EXPECT_EQ(float_bits(varnel::level_sum(v)), float_bits(tree)) << len;
    if (len <= varnel::kLeafSubsets) {
      EXPECT_EQ(float_bits(varnel::level_sum(v)), float_bits(sequential)) << len;
    }
    if (len > 0) {
      EXPECT_NEAR(varnel::level_sum(v), sequential, 1e-4 * sequential) << len;
    }
  }
  EXPECT_TRUE(std::signbit(varnel::level_sum(std::vector<float>{})));
  EXPECT_TRUE(std::signbit(varnel::level_sum(std::vector<float>(3000, -0.0f))));
}

TEST(Fragmentation, DifferencesAndPeak) {
  EXPECT_TRUE(varnel::differences(std::vector<float>{}).empty());
  EXPECT_TRUE(varnel::differences(std::vector<float>{-0.0f}).empty());
  const auto d = varnel::differences(std::vector<float>{-0.0f, -0.0f});
  ASSERT_EQ(d.size(), 1u);
  EXPECT_FALSE(std::signbit(d[0]));  // -0.0 - (-0.0) = +0.0
  using Peak = std::pair<std::uint64_t, float>;
  EXPECT_EQ(varnel::first_peak(std::vector<float>{-0.0f, 1.0f, 1.0f, 1.0f}), Peak(1, 1.0f));
  EXPECT_EQ(varnel::first_peak(std::vector<float>{-0.0f, -0.0f}), Peak(0, -0.0f));
  EXPECT_TRUE(std::signbit(varnel::first_peak(std::vector<float>{-0.0f, 0.0f}).second));
  EXPECT_EQ(varnel::first_peak(std::vector<float>{}).second, -INFINITY);
}

// The operations against the literal definitions, bit for bit, on every kind
// of function up to ten variables.
TEST(Fragmentation, MatchesDefinition) {
  std::mt19937_64 rng(20261208);
  for (unsigned n = 0; n <= 10; ++n) {
    const unsigned functions = n <= 6 ? 21 : (n <= 8 ? 14 : 7);
    for (unsigned i = 0; i < functions; ++i) {
      const plain::Table t = kind_table(n, i, rng);
      const FValue f = plain::pack(t);
      SCOPED_TRACE("n=" + std::to_string(n) + " kind=" + std::to_string(i % 7));
      const std::vector<float> p = plain::profile(t);
      expect_same(varnel::fragmentation_profile(f), p, "profile");
      for (unsigned k = 0; k <= n + 2; ++k) {
        EXPECT_EQ(float_bits(varnel::fragmentation_k(f, k)),
                  float_bits(plain::fragmentation_k(t, k, plain_entropy)))
            << "k=" << k;
      }
      expect_same(varnel::fragmentation_delta(f), plain::differences(p), "delta");
      expect_same(varnel::fragmentation_delta2(f), plain::differences(plain::differences(p)),
                  "delta2");
      const auto peak = varnel::fragmentation_peak(f);
      EXPECT_EQ(peak.first, plain::peak(p).first);
      EXPECT_EQ(float_bits(peak.second), float_bits(plain::peak(p).second));
    }
  }
}

// Beyond ten variables: every subset's entropy by the profile's route, and
// every level's by fragmentation_k's route, equal form_stats subset by
// subset, on the pool and off it.
TEST(Fragmentation, SubsetEntropiesMatchDirectComputation) {
  std::mt19937_64 rng(77);
  for (unsigned n : {11u, 12u, 14u}) {
    for (unsigned kind = 0; kind < 7; ++kind) {
      const FValue f = plain::pack(kind_table(n, kind, rng));
      SCOPED_TRACE("n=" + std::to_string(n) + " kind=" + std::to_string(kind));
      std::vector<varnel::FormStats> direct(std::size_t{1} << n);
      for (VarMask m = 0; m < direct.size(); ++m) direct[m] = varnel::form_stats(f, m);
      for (bool parallel : {false, true}) {
        const auto all = varnel::all_subset_stats(f, parallel);
        ASSERT_EQ(all.size(), direct.size());
        for (VarMask m = 0; m < all.size(); ++m) {
          ASSERT_EQ(all[m].forms, direct[m].forms) << "mask=" << m;
          ASSERT_EQ(float_bits(all[m].entropy), float_bits(direct[m].entropy)) << "mask=" << m;
        }
      }
      for (unsigned k = 0; k <= n; ++k) {
        const auto masks = varnel::level_masks(n, k);
        for (auto route : {varnel::LevelRoute::automatic, varnel::LevelRoute::direct,
                           varnel::LevelRoute::from_above, varnel::LevelRoute::walk}) {
          const auto h = varnel::level_entropies(f, k, (k & 1) != 0, route);
          ASSERT_EQ(h.size(), masks.size());
          for (std::size_t i = 0; i < masks.size(); ++i) {
            ASSERT_EQ(float_bits(h[i]), float_bits(direct[masks[i]].entropy))
                << "k=" << k << " mask=" << masks[i] << " route=" << static_cast<int>(route);
          }
        }
      }
    }
  }
}

// Functions whose forms repeat only on larger subsets (exclusive ors of
// functions of disjoint parts, a triangle in a graph, sparse functions) or
// where pairs already show it (symmetric, parity of some variables,
// dummies): every subset's stats by the profile's route, and every level by
// each of fragmentation_k's routes, equal form_stats subset by subset.
TEST(Fragmentation, HardShapesMatchDirectComputation) {
  using plain::Shape;
  std::mt19937_64 rng(2027);
  for (unsigned n : {12u, 14u}) {
    for (Shape shape : {Shape::xor_of_halves, Shape::xor_of_thirds, Shape::unbalanced_xor,
                        Shape::parity_and_random, Shape::symmetric, Shape::triangle,
                        Shape::half_junta, Shape::sparse, Shape::very_sparse}) {
      const FValue f = plain::pack(plain::shaped_table(n, shape, rng));
      SCOPED_TRACE("n=" + std::to_string(n) + " shape=" + std::to_string(static_cast<int>(shape)));
      std::vector<varnel::FormStats> direct(std::size_t{1} << n);
      for (VarMask m = 0; m < direct.size(); ++m) direct[m] = varnel::form_stats(f, m);
      for (bool parallel : {false, true}) {
        const auto all = varnel::all_subset_stats(f, parallel);
        for (VarMask m = 0; m < all.size(); ++m) {
          ASSERT_EQ(all[m].forms, direct[m].forms) << "mask=" << m;
          ASSERT_EQ(float_bits(all[m].entropy), float_bits(direct[m].entropy)) << "mask=" << m;
        }
      }
      for (unsigned k = 3; k + 2 <= n; k += n == 12 ? 1 : 3) {
        const auto masks = varnel::level_masks(n, k);
        for (auto route : {varnel::LevelRoute::automatic, varnel::LevelRoute::from_above}) {
          const auto h = varnel::level_entropies(f, k, true, route);
          for (std::size_t i = 0; i < masks.size(); ++i) {
            ASSERT_EQ(float_bits(h[i]), float_bits(direct[masks[i]].entropy))
                << "k=" << k << " mask=" << masks[i] << " route=" << static_cast<int>(route);
          }
        }
      }
    }
  }
}

// The profile counts only the subsets that leave at most four variables
// free from the table; every other subset is derived from a superset once,
// or known from an all-distinct superset without a visit. The all-distinct
// subsets of an exclusive or of functions of two halves lie well below the
// top; most of them are never visited.
TEST(Fragmentation, ProfileVisitsEverySubsetOnce) {
  std::mt19937_64 rng(4);
  const unsigned n = 16;
  for (bool parallel : {false, true}) {
    const FValue f = plain::pack(plain::shaped_table(n, plain::Shape::xor_of_halves, rng));
    varnel::SubsetRoutes routes;
    const auto all = varnel::all_subset_stats(f, parallel, &routes);
    std::uint64_t top = 0;
    for (unsigned k = n - varnel::kDescentFreeVars; k <= n; ++k) top += varnel::binomial(n, k);
    EXPECT_EQ(routes.computed, top);
    EXPECT_EQ(routes.computed + routes.derived + routes.implied, all.size());
    std::uint64_t distinct = 0;
    for (VarMask m = 0; m < all.size(); ++m) {
      distinct += all[m].forms == std::uint64_t{1} << std::popcount(m);
    }
    EXPECT_GT(distinct, all.size() / 4);
    EXPECT_GT(routes.implied, distinct / 8);
  }
}

// The refining walk over a table of which some entries are given: any
// pattern of given entries leaves every subset with its own stats.
TEST(Fragmentation, WalkCompletesPartlyKnownStats) {
  std::mt19937_64 rng(21);
  for (unsigned n : {3u, 9u, 11u}) {
    for (unsigned kind = 0; kind < 7; ++kind) {
      const FValue f = plain::pack(kind_table(n, kind, rng));
      std::vector<varnel::FormStats> direct(std::size_t{1} << n);
      for (VarMask m = 0; m < direct.size(); ++m) direct[m] = varnel::form_stats(f, m);
      for (unsigned share : {0u, 1u, 4u, 8u}) {  // eighths of the entries given
        for (bool parallel : {false, true}) {
          std::vector<varnel::FormStats> stats(direct.size(), varnel::FormStats{7, 7.0f});
          std::vector<std::uint8_t> known(direct.size(), 0);
          for (VarMask m = 0; m < direct.size(); ++m) {
            if (rng() % 8 < share) {
              stats[m] = direct[m];
              known[m] = 1;
            }
          }
          varnel::complete_subset_stats(f, n, stats, known, true, parallel);
          for (VarMask m = 0; m < direct.size(); ++m) {
            ASSERT_EQ(stats[m].forms, direct[m].forms)
                << "n=" << n << " kind=" << kind << " m=" << m;
            ASSERT_EQ(float_bits(stats[m].entropy), float_bits(direct[m].entropy))
                << "n=" << n << " m=" << m;
          }
        }
      }
    }
  }
}

// Levels whose forms have at most 32 entries are counted from the forms as
// keys (histogram or sort); each width and both ways, on functions whose
// forms repeat and ones whose forms do not.
TEST(Fragmentation, NarrowLevelsMatchDirectComputation) {
  std::mt19937_64 rng(11);
  struct Case {
    unsigned n, k;
  };
  // Keys of 32 bits (sorted), 16 bits (sorted, and as a histogram), 8 bits.
  for (const Case c : {Case{15, 10}, Case{15, 11}, Case{18, 14}, Case{15, 12}}) {
    for (unsigned kind : {0u, 1u, 4u, 5u, 6u}) {
      if (c.n == 18 && (kind == 1 || kind == 6)) continue;
      const FValue f = plain::pack(kind_table(c.n, kind, rng));
      SCOPED_TRACE("n=" + std::to_string(c.n) + " k=" + std::to_string(c.k) +
                   " kind=" + std::to_string(kind));
      const auto masks = varnel::level_masks(c.n, c.k);
      const auto h = varnel::level_entropies(f, c.k, true, varnel::LevelRoute::direct);
      for (std::size_t i = 0; i < masks.size(); i += c.n == 18 ? 7 : 3) {
        ASSERT_EQ(float_bits(h[i]), float_bits(varnel::form_stats(f, masks[i]).entropy))
            << "mask=" << masks[i];
      }
    }
  }
}

// With more variables the levels are summed as the fixed tree; the profile
// and fragmentation_k agree with each other, and every relation holds.
TEST(Fragmentation, RelationsOnLargerFunctions) {
  std::mt19937_64 rng(3);
  for (unsigned n : {13u, 15u}) {
    for (unsigned kind :
         n == 13 ? std::vector<unsigned>{0, 3, 5, 6} : std::vector<unsigned>{0, 6}) {
      const plain::Table t = kind_table(n, kind, rng);
      const FValue f = plain::pack(t);
      SCOPED_TRACE("n=" + std::to_string(n) + " kind=" + std::to_string(kind));
      const auto p = varnel::fragmentation_profile(f);
      ASSERT_EQ(p.size(), n + 1);
      for (unsigned k = 0; k <= n; ++k) {
        EXPECT_EQ(float_bits(varnel::fragmentation_k(f, k)), float_bits(p[k])) << "k=" << k;
      }
      EXPECT_EQ(float_bits(p[0]), float_bits(-0.0f));
      // F(n): the binary entropy of the share of true outputs.
      EXPECT_EQ(float_bits(p[n]), float_bits(varnel::form_stats(f, varnel::all_vars(n)).entropy));
      expect_same(varnel::fragmentation_delta(f), plain::differences(p), "delta");
      expect_same(varnel::fragmentation_delta2(f), plain::differences(plain::differences(p)),
                  "delta2");
      EXPECT_EQ(varnel::fragmentation_peak(f), plain::peak(p));
      // The tree sum stays close to the sum in list order.
      const auto masks = varnel::level_masks(n, n / 2);
      float sequential = -0.0f;
      for (VarMask m : masks) sequential = sequential + varnel::form_stats(f, m).entropy;
      EXPECT_NEAR(p[n / 2], sequential / static_cast<float>(masks.size()), 1e-4 * p[n / 2] + 1e-6);
    }
  }
}

TEST(Fragmentation, EdgeCases) {
  // Zero variables, both constants.
  for (bool c : {false, true}) {
    const FValue f = FValue::from_bytes(std::vector<std::uint8_t>{c});
    expect_same(varnel::fragmentation_profile(f), {-0.0f}, "profile");
    EXPECT_TRUE(varnel::fragmentation_delta(f).empty());
    EXPECT_TRUE(varnel::fragmentation_delta2(f).empty());
    EXPECT_EQ(varnel::fragmentation_peak(f), std::make_pair(std::uint64_t{0}, -0.0f));
    EXPECT_EQ(float_bits(varnel::fragmentation_k(f, 0)), float_bits(-0.0f));
    EXPECT_EQ(float_bits(varnel::fragmentation_k(f, 1)), float_bits(0.0f));
  }
  // Levels above n, however far.
  const FValue maj3 = FValue::from_bytes(std::vector<std::uint8_t>{0, 0, 0, 1, 0, 1, 1, 1});
  for (std::uint64_t k : {4ull, 5ull, 64ull, ~0ull})
    EXPECT_EQ(float_bits(varnel::fragmentation_k(maj3, k)), 0u);
  expect_same(varnel::fragmentation_profile(maj3), {-0.0f, 1.0f, 1.5f, 1.0f}, "majority");
  expect_same(varnel::fragmentation_delta2(maj3), {-0.5f, -1.0f}, "majority delta2");
  // Parity: every non-empty subset has two equally frequent forms, at any n
  // (the tree sums of 1.0 are exact).
  for (unsigned n : {1u, 3u, 14u}) {
    plain::Table t(std::size_t{1} << n);
    for (std::size_t x = 0; x < t.size(); ++x) t[x] = std::popcount(x) & 1;
    std::vector<float> expected(n + 1, 1.0f);
    expected[0] = -0.0f;
    expect_same(varnel::fragmentation_profile(plain::pack(t)), expected, "parity");
  }
}
