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
#include "toolkit.hpp"

using plain::kSanitized;

TEST(FrontierLarge, EdgeCountMatchesTheEdgeList) {
  // From 19 variables the variables above 17 pair whole blocks of the table.
  std::mt19937_64 rng(51);
  const std::vector<unsigned> sizes =
      kSanitized ? std::vector<unsigned>{17, 19} : std::vector<unsigned>{17, 18, 19, 20, 22};
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

TEST(FrontierLarge, ParityAndDictatorsOfManyVariables) {
  // Parity: every hypercube edge; a dictator of variable i: the 2^(n-1) edges
  // along i, whichever block level i falls in.
  for (unsigned n : kSanitized ? std::vector<unsigned>{19} : std::vector<unsigned>{19, 24}) {
    varnel::FValue parity = varnel::FValue::zeros(std::uint64_t{1} << n);
    auto w = parity.mutable_words();
    for (std::size_t k = 0; k < w.size(); ++k) {
      w[k] = (std::popcount(k) & 1) ? ~0x6996966996696996u : 0x6996966996696996u;
    }
    EXPECT_EQ(varnel::frontier_graph(parity).edge_count(), std::uint64_t{n} << (n - 1));
    for (unsigned i : {0u, 5u, 6u, 17u, 18u, n - 1}) {
      varnel::FValue dictator = varnel::FValue::zeros(std::uint64_t{1} << n);
      auto d = dictator.mutable_words();
      for (std::size_t k = 0; k < d.size(); ++k) {
        for (unsigned b = 0; b < 64; ++b) {
          if ((((k << 6) | b) >> i) & 1) d[k] |= std::uint64_t{1} << b;
        }
      }
      EXPECT_EQ(varnel::frontier_graph(dictator).edge_count(), std::uint64_t{1} << (n - 1))
          << n << " " << i;
      EXPECT_EQ(varnel::FrontierGraph::node_count(dictator), std::uint64_t{1} << n)
          << n << " " << i;
    }
  }
}
