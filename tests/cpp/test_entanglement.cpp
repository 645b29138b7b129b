#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <random>

#include "auxiliar.hpp"
#include "entanglement_plain.hpp"
#include "error.hpp"
#include "metrics/bipartition_walk.hpp"
#include "metrics/entanglement.hpp"
#include "restriction.hpp"
#include "expect_panic.hpp"
#include "toolkit.hpp"

using varnel::FValue;
using varnel::VarMask;

namespace {

// Uniformly random functions, and functions whose forms repeat: a random
// function of some of the variables, a biased one, parity, a constant.
plain::Table test_table(unsigned n, std::mt19937_64& rng) {
  using plain::Shape;
  return plain::mixed_table(
      n,
      {Shape::random, Shape::random, Shape::junta, Shape::biased, Shape::parity, Shape::constant},
      rng);
}

bool same_bits(float a, float b) { return plain::float_bits(a) == plain::float_bits(b); }

}  // namespace

// ---------------------------------------------------------------------------
// Building blocks of the parallel walk

TEST(SwapIndexBits, MatchesTheEntryByEntryPermutation) {
  std::mt19937_64 rng(5);
  for (unsigned n = 2; n <= 12; ++n) {
    const plain::Table t = plain::random_table(n, rng);
    for (unsigned p = 0; p < n; ++p) {
      for (unsigned q = p + 1; q < n; ++q) {
        const FValue packed = plain::pack(t);
        std::vector<std::uint64_t> words(packed.words().begin(), packed.words().end());
        varnel::swap_index_bits(words, n, q, p);
        const FValue got(std::move(words), t.size());
        for (std::uint64_t x = 0; x < t.size(); ++x) {
          const std::uint64_t bp = (x >> p) & 1u, bq = (x >> q) & 1u;
          const std::uint64_t y = (x & ~((1ull << p) | (1ull << q))) | (bp << q) | (bq << p);
          ASSERT_EQ(got[y], t[x] != 0) << "n=" << n << " p=" << p << " q=" << q << " x=" << x;
        }
      }
    }
  }
}

TEST(BalancedMasks, SeekAndStepFollowTheEnumeration) {
  for (unsigned n = 1; n <= 18; ++n) {
    const std::vector<std::uint64_t> expected = varnel::balanced_subset_masks(n);
    varnel::BalancedMasks masks(n);
    ASSERT_EQ(masks.count(), expected.size()) << n;
    for (std::uint64_t r = 0; r < expected.size(); ++r) {
      const VarMask m = r == 0 ? masks.seek(0) : masks.next();
      ASSERT_EQ(m, expected[r]) << "n=" << n << " rank " << r;
    }
    for (std::uint64_t r = 0; r < expected.size(); r += 1 + expected.size() / 37) {
      ASSERT_EQ(masks.seek(r), expected[r]) << "n=" << n << " rank " << r;
    }
  }
}

TEST(BalancedMasks, CountsOfLargeEnumerations) {
  EXPECT_EQ(varnel::BalancedMasks(20).count(), 92378u);                 // C(19, 9)
  EXPECT_EQ(varnel::BalancedMasks(21).count(), 352716u);                // C(21, 10)
  EXPECT_EQ(varnel::BalancedMasks(63).count(), 916312070471295267ull);  // C(63, 31)
  varnel::BalancedMasks masks(40);
  const std::uint64_t last = masks.count() - 1;
  EXPECT_EQ(masks.seek(last), 1ull | (((1ull << 19) - 1) << 21));  // {0} and the 19 largest
  expect_panic([] { varnel::BalancedMasks(0); }, "capacity overflow");
}

// Every strategy of the row tally (by width, by order, weighted or not) on
// matrices whose rows repeat, or differ only in one bit of their last word.
TEST(RowTallier, EveryStrategyMatchesTheDefinition) {
  std::mt19937_64 rng(8);
  varnel::RowTallier tally;  // reused, as the measures reuse theirs
  for (unsigned row_bits = 0; row_bits <= 12; ++row_bits) {
    for (unsigned col_bits = 0; col_bits <= 9; ++col_bits) {
      const std::uint64_t rows = std::uint64_t{1} << row_bits;
      const std::uint64_t words = varnel::words_for(rows << col_bits);
      for (int kind = 0; kind < 3; ++kind) {
        std::vector<std::uint64_t> m(words);
        for (auto& w : m) w = rng();
        if (col_bits >= 6) {
          const std::uint64_t width = std::uint64_t{1} << (col_bits - 6);
          for (std::uint64_t r = 1; r < rows; ++r) {
            if (kind == 1) std::copy_n(m.data(), width, m.data() + r * width);
            if (kind == 2) {
              std::copy_n(m.data(), width, m.data() + r * width);
              m[r * width + width - 1] ^= std::uint64_t{1} << (rng() % 64);
            }
          }
        } else if (kind != 0) {
          for (auto& w : m) w &= rng() & rng();
        }
        if (rows << col_bits < 64) m[0] &= varnel::low_mask(rows << col_bits);
        // The definition: rows as bit strings, tallied in order of first appearance.
        std::vector<std::vector<bool>> row_bits_of(rows);
        for (std::uint64_t r = 0; r < rows; ++r) {
          for (std::uint64_t c = 0; c < (std::uint64_t{1} << col_bits); ++c) {
            const std::uint64_t x = (r << col_bits) | c;
            row_bits_of[r].push_back((m[x >> 6] >> (x & 63)) & 1u);
          }
        }
        std::vector<std::uint64_t> weights(rows);
        for (auto& w : weights) w = 1 + rng() % 5;
        for (bool weighted : {false, true}) {
          std::vector<std::uint64_t> want_counts, want_first;
          std::map<std::vector<bool>, std::size_t> id_of;
          for (std::uint64_t r = 0; r < rows; ++r) {
            const auto [it, fresh] = id_of.emplace(row_bits_of[r], want_first.size());
            if (fresh) {
              want_first.push_back(r);
              want_counts.push_back(0);
            }
            want_counts[it->second] += weighted ? weights[r] : 1;
          }
          SCOPED_TRACE(::testing::Message()
                       << row_bits << " " << col_bits << " " << kind << " " << weighted);
          const varnel::RowList list{m.data(), rows, col_bits, true};
          const varnel::RowWeights w =
              weighted ? varnel::RowWeights{weights.data(), 0} : varnel::RowWeights{};
          tally.run(list, w);
          ASSERT_EQ(tally.counts, want_counts);
          ASSERT_EQ(tally.first_row, want_first);
          tally.run(list, w, varnel::RowOrder::counts_only);
          std::vector<std::uint64_t> got = tally.counts, sorted = want_counts;
          std::sort(got.begin(), got.end());
          std::sort(sorted.begin(), sorted.end());
          ASSERT_EQ(got, sorted);
          if (!weighted) {
            const varnel::FormStats s = tally.stats(row_bits, true);
            ASSERT_EQ(s.forms, want_counts.size());
            ASSERT_TRUE(same_bits(s.entropy, varnel::entropy_from_counts(want_counts, row_bits)));
          }
        }
      }
    }
  }
}

TEST(BipartitionWalker, EqualsBipartitionStatsAlongAnyWalk) {
  std::mt19937_64 rng(11);
  for (unsigned n = 2; n <= 14; ++n) {
    for (int rep = 0; rep < 3; ++rep) {
      const FValue f = plain::pack(test_table(n, rng));
      const std::vector<std::uint64_t> masks = varnel::balanced_subset_masks(n);
      varnel::BipartitionWalker walker(f);
      // In enumeration order (mostly single exchanges), then by random jumps,
      // including moves of one variable and back.
      std::vector<VarMask> route(masks.begin(), masks.end());
      for (int j = 0; j < 40; ++j) route.push_back(masks[rng() % masks.size()]);
      for (std::size_t i = 0; i < route.size(); ++i) {
        walker.move_to(route[i]);
        const bool with_entropy = i % 3 != 2;
        const varnel::BipartitionStats got = walker.stats(with_entropy);
        const varnel::BipartitionStats want = varnel::bipartition_stats(f, route[i], with_entropy);
        ASSERT_EQ(got.first.forms, want.first.forms) << "n=" << n << " step " << i;
        ASSERT_EQ(got.second.forms, want.second.forms) << "n=" << n << " step " << i;
        ASSERT_TRUE(same_bits(got.first.entropy, want.first.entropy)) << "n=" << n << " step " << i;
        ASSERT_TRUE(same_bits(got.second.entropy, want.second.entropy))
            << "n=" << n << " step " << i;
      }
      // Unbalanced sides work too.
      walker.move_to(1);
      EXPECT_EQ(walker.stats(true), varnel::bipartition_stats(f, 1));
    }
  }
}

// ---------------------------------------------------------------------------
// The measures against the definitions

TEST(Entanglement, MatchesThePlainDefinitions) {
  std::mt19937_64 rng(2024);
  for (unsigned n = 1; n <= 14; ++n) {
    const int reps = n <= 10 ? 6 : n <= 12 ? 3 : 1;
    for (int rep = 0; rep < reps; ++rep) {
      const plain::Table t = test_table(n, rng);
      const FValue f = plain::pack(t);
      const std::vector<plain::PairValue> want = plain::bipartition_values(t);

      const auto entropy_sets = varnel::entropy_sets(f);
      const auto entanglement_sets = varnel::entanglement_sets(f);
      ASSERT_EQ(entropy_sets.size(), want.size());
      ASSERT_EQ(entanglement_sets.size(), want.size());
      for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(entropy_sets[i].set1, want[i].set1) << "n=" << n << " record " << i;
        ASSERT_EQ(entropy_sets[i].set2, want[i].set2) << "n=" << n << " record " << i;
        ASSERT_TRUE(same_bits(entropy_sets[i].entropy, want[i].entropy))
            << "n=" << n << " record " << i << ": " << entropy_sets[i].entropy << " vs "
            << want[i].entropy;
        ASSERT_EQ(entanglement_sets[i].set1, want[i].set1);
        ASSERT_EQ(entanglement_sets[i].set2, want[i].set2);
        ASSERT_EQ(entanglement_sets[i].entanglement, want[i].entanglement) << "n=" << n;
      }
      ASSERT_TRUE(same_bits(varnel::entropy(f), plain::entropy(t))) << "n=" << n;
      ASSERT_EQ(varnel::entanglement(f), plain::entanglement(t)) << "n=" << n;
    }
  }
}

TEST(Entanglement, RepeatedCallsAgree) {
  std::mt19937_64 rng(3);
  const FValue f = plain::pack(plain::random_table(13, rng));
  const float h = varnel::entropy(f);
  const std::uint64_t w = varnel::entanglement(f);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(same_bits(varnel::entropy(f), h));
    EXPECT_EQ(varnel::entanglement(f), w);
  }
}

TEST(Entanglement, ConstantAndParity) {
  for (unsigned n = 1; n <= 12; ++n) {
    const FValue zero = FValue::zeros(std::uint64_t{1} << n);
    const float h = varnel::entropy(zero);
    EXPECT_TRUE(h == 0.0f && std::signbit(h)) << n;
    EXPECT_EQ(varnel::entanglement(zero), 2u);
    for (const auto& r : varnel::entropy_sets(zero)) EXPECT_TRUE(std::signbit(r.entropy));
    if (n >= 2) {
      plain::Table t(std::size_t{1} << n);
      for (std::size_t x = 0; x < t.size(); ++x) t[x] = std::popcount(x) & 1;
      const FValue parity = plain::pack(t);
      EXPECT_EQ(varnel::entropy(parity), 2.0f);
      EXPECT_EQ(varnel::entanglement(parity), 4u);
      for (const auto& r : varnel::entanglement_sets(parity)) EXPECT_EQ(r.entanglement, 4u);
    }
  }
}

TEST(Entanglement, NoVariablesIsCapacityOverflow) {
  const FValue f = plain::pack(plain::Table{1});
  expect_panic([&] { varnel::entropy(f); }, "capacity overflow");
  expect_panic([&] { varnel::entropy_sets(f); }, "capacity overflow");
  expect_panic([&] { varnel::entanglement(f); }, "capacity overflow");
  expect_panic([&] { varnel::entanglement_sets(f); }, "capacity overflow");
}

// One tallier reused for tallies of alternating sizes (a large table left
// by a big tally is then used in part, and a tally of 2^19 distinct rows
// grows its table past the first size), each against a sort of the rows.
TEST(RowTallier, ReusedAcrossSizesAndGrowth) {
  std::mt19937_64 rng(21);
  varnel::RowTallier tally;
  for (int round = 0; round < 20; ++round) {
    const bool big = round % 10 == 0;
    const unsigned row_bits = big ? 19 : 4 + static_cast<unsigned>(rng() % 10);
    const unsigned col_bits = big ? 6 : 6 + static_cast<unsigned>(rng() % 3);
    const std::uint64_t rows = std::uint64_t{1} << row_bits;
    const std::uint64_t width = std::uint64_t{1} << (col_bits - 6);
    // Rows drawn from a pool: all distinct, or repeating heavily.
    const std::uint64_t pool = round % 2 == 0 ? rows : 1 + rng() % 300;
    std::vector<std::uint64_t> distinct(pool * width), m(rows * width);
    for (auto& w : distinct) w = rng();
    std::vector<std::vector<std::uint64_t>> sorted(rows);
    for (std::uint64_t r = 0; r < rows; ++r) {
      const std::uint64_t p = pool == rows ? r : rng() % pool;
      std::copy_n(distinct.data() + p * width, width, m.data() + r * width);
      sorted[r].assign(m.data() + r * width, m.data() + (r + 1) * width);
    }
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::uint64_t> want_counts;
    for (std::uint64_t r = 0; r < rows; ++r) {
      if (r == 0 || sorted[r] != sorted[r - 1]) want_counts.push_back(0);
      ++want_counts.back();
    }
    std::sort(want_counts.begin(), want_counts.end());
    for (auto order : {varnel::RowOrder::counts_only, varnel::RowOrder::first_seen}) {
      tally.run(varnel::RowList{m.data(), rows, col_bits, true}, {}, order);
      std::vector<std::uint64_t> got = tally.counts;
      std::sort(got.begin(), got.end());
      ASSERT_EQ(got, want_counts) << "round " << round;
      if (order == varnel::RowOrder::first_seen) {
        ASSERT_EQ(tally.first_row.size(), want_counts.size());
        ASSERT_EQ(tally.first_row[0], 0u);
      }
    }
  }
}
