// The frontier size (and the sum of sensitivities it comes from) beyond the
// blocks of the counting kernel, against the plain edge list.
#include <gtest/gtest.h>

#include <bit>
#include <optional>
#include <random>
#include <vector>

#include "classical.hpp"
#include "families_plain.hpp"
#include "metrics/frontier.hpp"
#include "metrics/sensitivity.hpp"
#include "plain.hpp"
#include "simd.hpp"
#include "toolkit.hpp"
#include "word_masks.hpp"

using plain::kSanitized;

namespace {

// Runs the body on the dispatched kernels (eight words at a time where the
// processor counts bits in vectors) and once more on the baseline.
class FrontierPaths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    varnel::simd::force(GetParam() ? varnel::simd::Level::baseline : varnel::simd::Level::avx512);
  }
  void TearDown() override { varnel::simd::force(varnel::simd::Level::avx512); }
};

// A dictator of variable i, built word by word.
varnel::FValue dictator(unsigned n, unsigned i) {
  varnel::FValue f = varnel::FValue::zeros(std::uint64_t{1} << n);
  auto d = f.mutable_words();
  for (std::size_t k = 0; k < d.size(); ++k) {
    d[k] = i < 6 ? varnel::bit_set_positions(i) : ((k >> (i - 6)) & 1) ? ~std::uint64_t{0} : 0;
  }
  return f;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Paths, FrontierPaths, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "baseline" : "dispatched"; });

TEST_P(FrontierPaths, EdgeCountMatchesTheEdgeList) {
  // From 9 variables a block holds whole vectors of eight words; from 19 the
  // variables above 17 pair whole blocks of the table.
  std::mt19937_64 rng(51);
  const std::vector<unsigned> sizes = kSanitized
                                          ? std::vector<unsigned>{8, 9, 10, 17, 19}
                                          : std::vector<unsigned>{8, 9, 10, 11, 17, 18, 19, 20, 22};
  for (unsigned n : sizes) {
    for (const plain::Table& t : {plain::random_table(n, rng), plain::biased(n, 0.01, rng),
                                  plain::threshold(n, n / 2), plain::tribes(n, 4)}) {
      const varnel::FValue f = plain::pack(t);
      const plain::Graph want = plain::frontier_graph(t);
      std::optional<varnel::FrontierGraph> cache;
      EXPECT_EQ(varnel::frontier_size(cache, f), want.edges.size()) << n;
      EXPECT_EQ(varnel::sensitivity_sum(f), 2 * want.edges.size()) << n;
      EXPECT_EQ(varnel::FrontierGraph::node_count(f), want.nodes.size()) << n;
    }
  }
}

TEST_P(FrontierPaths, ParityAndDictatorsOfManyVariables) {
  // Parity: every hypercube edge; a dictator of variable i: the 2^(n-1) edges
  // along i, whichever block level i falls in. From 27 variables the rows
  // gathered for the variables above a block no longer fit one tile.
  for (unsigned n :
       kSanitized ? std::vector<unsigned>{19, 27} : std::vector<unsigned>{19, 24, 27}) {
    varnel::FValue parity = varnel::FValue::zeros(std::uint64_t{1} << n);
    auto w = parity.mutable_words();
    for (std::size_t k = 0; k < w.size(); ++k) {
      w[k] = (std::popcount(k) & 1) ? ~0x6996966996696996u : 0x6996966996696996u;
    }
    EXPECT_EQ(varnel::frontier_graph(parity).edge_count(), std::uint64_t{n} << (n - 1));
    for (unsigned i : {0u, 5u, 6u, 8u, 9u, 17u, 18u, 25u, n - 1}) {
      if (i >= n) continue;
      const varnel::FValue d = dictator(n, i);
      EXPECT_EQ(varnel::frontier_graph(d).edge_count(), std::uint64_t{1} << (n - 1))
          << n << " " << i;
      EXPECT_EQ(varnel::FrontierGraph::node_count(d), std::uint64_t{1} << n) << n << " " << i;
    }
  }
}

TEST(FrontierLarge, VectorAndBaselineKernelsAgreeBeyondOneTile) {
  // Random and sparse tables too large for the edge list: the dispatched
  // kernels against the baseline ones (checked against the edge list above).
  std::mt19937_64 rng(52);
  for (unsigned n : kSanitized ? std::vector<unsigned>{27} : std::vector<unsigned>{26, 27, 28}) {
    for (int sparse = 0; sparse < 2; ++sparse) {
      varnel::FValue f = varnel::FValue::zeros(std::uint64_t{1} << n);
      for (auto& w : f.mutable_words()) w = sparse ? rng() & rng() & rng() & rng() : rng();
      const std::uint64_t dispatched = varnel::sensitivity_sum(f);
      varnel::simd::force(varnel::simd::Level::baseline);
      const std::uint64_t baseline = varnel::sensitivity_sum(f);
      varnel::simd::force(varnel::simd::Level::avx512);
      EXPECT_EQ(dispatched, baseline) << n << " " << sparse;
    }
  }
}
