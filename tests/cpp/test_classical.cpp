// The classical measures against the plain reference implementations on
// seeded random and structured functions, bit for bit, on both kernel paths
// (AVX2 and the x86-64-v2 baseline).
#include <gtest/gtest.h>

#include "corpus_sweep.hpp"
#include "expect_panic.hpp"

#include <bit>
#include <cmath>
#include <optional>
#include <random>

#include "classical.hpp"
#include "toolkit.hpp"
#include "error.hpp"
#include "families_plain.hpp"
#include "metrics/certificate.hpp"
#include "metrics/frontier.hpp"
#include "metrics/influence.hpp"
#include "metrics/sensitivity.hpp"
#include "metrics/spectral.hpp"
#include "plain.hpp"
#include "simd.hpp"

using varnel::FValue;

namespace {

using plain::float_bits;
using plain::kSanitized;

// Caps the vector level of every kernel at the baseline, or lifts the cap.
void force_baseline(bool on) {
  varnel::simd::force(on ? varnel::simd::Level::baseline : varnel::simd::Level::avx512);
}

// Runs the body once on the dispatched path (AVX2 where available) and once on
// the baseline.
class BothPaths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { force_baseline(GetParam()); }
  void TearDown() override { force_baseline(false); }
};

std::string path_name(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "baseline" : "dispatched";
}

}  // namespace

// --- spectrum ----------------------------------------------------------------

TEST_P(BothPaths, SpectralMeasuresMatchTheReference) {
  sweep_corpus(11, 0, 12, 4, [&](unsigned, const plain::Case& c, const FValue& f) {
    const std::vector<float> want = plain::coefficients(c.table);
    const std::vector<float> got = varnel::fourier_coeficients(f);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t s = 0; s < want.size(); ++s)
      ASSERT_EQ(float_bits(got[s]), float_bits(want[s])) << s;
    EXPECT_SAME_FLOAT(varnel::spectral_entropy(f), plain::spectral_entropy(c.table));
    EXPECT_EQ(varnel::no_linearity(f), plain::no_linearity(c.table));
    EXPECT_EQ(varnel::degree(f), plain::degree(c.table));
  });
}

TEST_P(BothPaths, SpectrumOfLargeTablesMatchesTheReference) {
  // 18 and more variables pass through all three blocking levels.
  std::mt19937_64 rng(12);
  for (unsigned n : {3u, 8u, 13u, 16u, 17u, 18u, 20u}) {
    const plain::Table t = plain::random_table(n, rng);
    const FValue f = plain::pack(t);
    const std::vector<std::int64_t> want = plain::walsh(t);
    const varnel::WalshSpectrum got(f);
    const varnel::WalshSpectrum wide(f, varnel::WalshSpectrum::Width::wide);
    for (std::size_t s = 0; s < want.size(); ++s) {
      ASSERT_EQ(got[s], want[s]) << "n=" << n << " s=" << s;
      ASSERT_EQ(wide[s], want[s]) << "n=" << n << " s=" << s;
    }
    EXPECT_SAME_FLOAT(varnel::spectral_entropy(f), plain::spectral_entropy_mended(t));
    EXPECT_EQ(varnel::no_linearity(f), plain::no_linearity(t));
    if (n <= varnel::kInfluenceFromSpectrumUpTo) {
      EXPECT_SAME_FLOAT(varnel::total_influence(f), plain::total_influence(t));
      EXPECT_SAME_FLOAT(varnel::influence(f, n - 1), plain::influence(t, n - 1));
    }
  }
  for (unsigned n : {14u, 19u}) {
    const plain::Table t = plain::threshold(n, n / 2);
    EXPECT_EQ(varnel::degree(plain::pack(t)), plain::degree(t));
  }
}

TEST_P(BothPaths, FwhtSliceMatchesTheReference) {
  std::mt19937_64 rng(13);
  std::uniform_int_distribution<std::int64_t> value(-1000000, 1000000);
  for (std::size_t len : {1, 2, 4, 8, 16, 64, 1024, 8192, 1 << 15, 1 << 17}) {
    std::vector<std::int64_t> v(len);
    for (auto& e : v) e = value(rng);
    std::vector<std::int64_t> want = v;
    plain::fwht(want);
    ASSERT_FALSE(varnel::fwht_slice(v).has_value());
    ASSERT_EQ(v, want) << len;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BothPaths, ::testing::Values(false, true), path_name);

TEST(Spectral, FwhtSliceRejectsLengthsThatAreNotPowersOfTwo) {
  std::vector<std::int64_t> empty;
  EXPECT_FALSE(varnel::fwht_slice(empty).has_value());
  for (std::size_t len : {3, 6, 12, 100}) {
    std::vector<std::int64_t> v(len, 7);
    const auto error = varnel::fwht_slice(v);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "Input length must be a power of 2");
    EXPECT_EQ(v, std::vector<std::int64_t>(len, 7));
  }
}

TEST(Spectral, FwhtSliceWrapsInsteadOfOverflowing) {
  std::vector<std::int64_t> v(16, INT64_MAX);
  ASSERT_FALSE(varnel::fwht_slice(v).has_value());
  EXPECT_EQ(v[0], static_cast<std::int64_t>(static_cast<std::uint64_t>(INT64_MAX) * 16));
  for (std::size_t s = 1; s < 16; ++s) EXPECT_EQ(v[s], 0);
}

TEST(Spectral, KnownValues) {
  // Bent functions: non-linearity 2^(n-1) - 2^(n/2-1), entropy n ln 2 (every
  // coefficient has the same square 2^-n).
  for (unsigned n = 2; n <= 16; n += 2) {
    const FValue f = plain::pack(plain::inner_product(n));
    EXPECT_EQ(varnel::no_linearity(f), (1u << (n - 1)) - (1u << (n / 2 - 1))) << n;
    EXPECT_NEAR(varnel::spectral_entropy(f), n * std::log(2.0), 1e-3 * n) << n;
    EXPECT_EQ(varnel::degree(f), n) << n;  // every coefficient of a bent function is non-zero
  }
  for (unsigned n = 1; n <= 14; ++n) {
    const FValue parity =
        plain::pack(plain::make_table(n, [](std::size_t x) { return std::popcount(x) & 1; }));
    EXPECT_EQ(varnel::degree(parity), n);
    EXPECT_EQ(varnel::no_linearity(parity), 0u);
    EXPECT_SAME_FLOAT(varnel::spectral_entropy(parity), -0.0f);
  }
}

TEST(Spectral, EdgeCases) {
  const FValue zero_vars = plain::pack({1});
  EXPECT_EQ(varnel::no_linearity(zero_vars), 0u);
  EXPECT_EQ(varnel::degree(zero_vars), 0u);
  EXPECT_SAME_FLOAT(varnel::spectral_entropy(zero_vars), -0.0f);
  const FValue and2 = plain::pack({0, 0, 0, 1});
  EXPECT_EQ(varnel::fourier_coeficients(and2), (std::vector<float>{-0.5f, -0.5f, -0.5f, 0.5f}));
  EXPECT_EQ(static_cast<double>(varnel::spectral_entropy(and2)), 1.3862943649291992);
  EXPECT_EQ(varnel::no_linearity(and2), 1u);
  EXPECT_EQ(varnel::degree(and2), 2u);
  const FValue maj3 = plain::pack({0, 0, 0, 1, 0, 1, 1, 1});
  const varnel::WalshSpectrum w(maj3);
  const std::int64_t want[8] = {0, -4, -4, 0, -4, 0, 0, 4};
  for (int s = 0; s < 8; ++s) EXPECT_EQ(w[s], want[s]);
  EXPECT_EQ(varnel::no_linearity(maj3), 2u);
  EXPECT_EQ(varnel::degree(maj3), 3u);
  const FValue false3 = plain::pack(plain::Table(8, 0));
  EXPECT_EQ(varnel::fourier_coeficients(false3)[0], -1.0f);
  EXPECT_SAME_FLOAT(varnel::spectral_entropy(false3), -0.0f);
}

// --- influence and sensitivity ---------------------------------------------

TEST_P(BothPaths, InfluenceAndSensitivityMatchTheReference) {
  sweep_corpus(21, 0, 12, 4, [&](unsigned n, const plain::Case& c, const FValue& f) {
    for (std::uint64_t var = 0; var <= n + 1; ++var) {
      EXPECT_SAME_FLOAT(varnel::influence(f, var), plain::influence(c.table, var));
    }
    EXPECT_SAME_FLOAT(varnel::total_influence(f), plain::total_influence(c.table));
    EXPECT_EQ(varnel::max_sensitivity(f), plain::max_sensitivity(c.table));
    EXPECT_SAME_FLOAT(varnel::mean_sensitivity(f), plain::mean_sensitivity(c.table));
  });
}

// Up to 11 variables every term and partial sum of the single-precision sums
// over the spectrum is exact, so counting gives the same bits: checked on every
// function of up to 4 variables and on random and structured ones up to 11.
TEST_P(BothPaths, CountedInfluencesEqualTheSpectralSumsUpToElevenVariables) {
  auto check = [](const FValue& f) {
    const unsigned n = f.n_vars();
    for (unsigned var = 0; var < n; ++var) {
      ASSERT_EQ(float_bits(varnel::influence(f, var)),
                float_bits(varnel::fraction_of_inputs(varnel::changes_along(f, var), n)))
          << "n=" << n << " var=" << var;
    }
    if (n > 0) {
      ASSERT_EQ(float_bits(varnel::total_influence(f)),
                float_bits(varnel::fraction_of_inputs(varnel::sensitivity_sum(f), n)))
          << "n=" << n;
    }
  };
  for (unsigned n = 0; n <= 4; ++n) {
    const std::uint64_t functions = std::uint64_t{1} << (1u << n);
    for (std::uint64_t bits_of_f = 0; bits_of_f < functions; ++bits_of_f) {
      check(varnel::from_number(bits_of_f, n));
    }
  }
  std::mt19937_64 rng(25);
  for (unsigned n = 5; n <= 11; ++n) {
    for (const auto& c : plain::corpus(n, rng, kSanitized ? 4 : 40)) {
      SCOPED_TRACE(c.name);
      check(plain::pack(c.table));
    }
  }
}

// From 13 variables on the influences are the counts of the definition,
// rounded once, and the total influence equals the mean sensitivity.
TEST_P(BothPaths, InfluencesOfLargeTablesAreTheRoundedCounts) {
  std::mt19937_64 rng(26);
  for (unsigned n : {13u, 14u, 17u, 20u}) {
    if (kSanitized && n > 17) continue;
    for (const auto& c : plain::corpus(n, rng, 1)) {
      SCOPED_TRACE(c.name);
      const FValue f = plain::pack(c.table);
      std::uint64_t sum = 0;
      for (unsigned var = 0; var < n; ++var) {
        const std::uint64_t count = plain::changes_along(c.table, var);
        sum += count;
        ASSERT_EQ(varnel::changes_along(f, var), count) << var;
        EXPECT_SAME_FLOAT(varnel::influence(f, var), plain::counted_fraction(count, n));
      }
      EXPECT_SAME_FLOAT(varnel::influence(f, n), -0.0f);
      EXPECT_SAME_FLOAT(varnel::total_influence(f), plain::counted_fraction(sum, n));
      EXPECT_SAME_FLOAT(varnel::total_influence(f), varnel::mean_sensitivity(f));
    }
  }
}

TEST_P(BothPaths, SensitivityOfLargeTablesMatchesTheReference) {
  std::mt19937_64 rng(22);
  for (unsigned n : {13u, 16u, 18u}) {
    for (const auto& t :
         {plain::random_table(n, rng), plain::biased(n, 0.02, rng), plain::threshold(n, n / 2)}) {
      const FValue f = plain::pack(t);
      EXPECT_EQ(varnel::max_sensitivity(f), plain::max_sensitivity(t)) << n;
      EXPECT_SAME_FLOAT(varnel::mean_sensitivity(f), plain::mean_sensitivity(t));
    }
  }
}

TEST(Influence, VariablesBeyondTheTableGiveNegativeZero) {
  std::mt19937_64 rng(23);
  for (unsigned n : {0u, 1u, 5u, 9u}) {
    const FValue f = plain::pack(plain::random_table(n, rng));
    for (std::uint64_t var : {std::uint64_t{n}, std::uint64_t{63}, std::uint64_t{64},
                              std::uint64_t{1000}, ~std::uint64_t{0}}) {
      EXPECT_SAME_FLOAT(varnel::influence(f, var), -0.0f);
    }
  }
  // A constant function: +0.0 for its own variables, whose sums are not empty.
  const FValue constant = plain::pack(plain::Table(16, 1));
  for (unsigned var = 0; var < 4; ++var) EXPECT_SAME_FLOAT(varnel::influence(constant, var), 0.0f);
  EXPECT_SAME_FLOAT(varnel::total_influence(constant), 0.0f);
  EXPECT_SAME_FLOAT(varnel::total_influence(plain::pack({0})), -0.0f);
  EXPECT_SAME_FLOAT(varnel::mean_sensitivity(plain::pack({0})), 0.0f);
}

TEST(Sensitivity, RelationsHold) {
  sweep_corpus(24, 1, 14, 2, [&](unsigned n, const plain::Case&, const FValue& f) {
    const float mean = varnel::mean_sensitivity(f);
    EXPECT_NEAR(mean, varnel::total_influence(f), 1e-4 * (n + 1));
    EXPECT_EQ(static_cast<double>(mean) * static_cast<double>(f.size()),
              2.0 * static_cast<double>(varnel::FrontierGraph(f).edge_count()));
    EXPECT_EQ(varnel::sensitivity_sum(f), 2 * varnel::FrontierGraph(f).edge_count());
  });
}

// --- frontier ----------------------------------------------------------------

TEST(Frontier, GraphMatchesTheReferenceEdgeList) {
  sweep_corpus(31, 0, 12, 4, [&](unsigned, const plain::Case& c, const FValue& f) {
    const plain::Graph want = plain::frontier_graph(c.table);
    const varnel::FrontierGraph got = varnel::frontier_graph(f);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
    got.for_each_edge(f, [&](std::uint64_t x, std::uint64_t y) {
      edges.emplace_back(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
    });
    ASSERT_EQ(edges, want.edges);
    EXPECT_EQ(got.edge_count(), want.edges.size());
    EXPECT_EQ(varnel::FrontierGraph::node_count(f), want.nodes.size());
    EXPECT_EQ(varnel::max_frontier_size(f), plain::max_frontier_size(c.table));
    EXPECT_EQ(varnel::b_0(f) + varnel::b_1(f), f.size());
  });
}

TEST(Frontier, KnownGraphs) {
  const FValue maj3 = plain::pack({0, 0, 0, 1, 0, 1, 1, 1});
  std::vector<std::pair<std::uint64_t, std::uint64_t>> edges;
  varnel::frontier_graph(maj3).for_each_edge(maj3,
                                             [&](auto x, auto y) { edges.emplace_back(x, y); });
  EXPECT_EQ(edges, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{
                       {1, 3}, {1, 5}, {2, 3}, {2, 6}, {4, 5}, {4, 6}}));
  EXPECT_EQ(varnel::max_frontier_size(maj3), 12u);
  for (unsigned n = 1; n <= 14; ++n) {
    const FValue parity =
        plain::pack(plain::make_table(n, [](std::size_t x) { return std::popcount(x) & 1; }));
    const std::uint64_t all = std::uint64_t{n} << (n - 1);
    EXPECT_EQ(varnel::frontier_graph(parity).edge_count(), all);
    EXPECT_EQ(varnel::max_frontier_size(parity), all);
  }
  const FValue constant = plain::pack(plain::Table(32, 1));
  EXPECT_EQ(varnel::frontier_graph(constant).edge_count(), 0u);
  EXPECT_EQ(varnel::FrontierGraph::node_count(constant), 0u);
}

TEST(Frontier, CacheIsFilledOnceAndKept) {
  const FValue f = plain::pack({0, 0, 0, 1});
  std::optional<varnel::FrontierGraph> cache;
  EXPECT_EQ(varnel::frontier_size(cache, f), 2u);
  ASSERT_TRUE(cache.has_value());
  // A filled cache is used as it is: a graph planted from another table is
  // what the count comes from, so nothing was rebuilt.
  cache.emplace(
      plain::pack(plain::make_table(3, [](std::size_t x) { return std::popcount(x) & 1; })));
  EXPECT_EQ(varnel::frontier_size(cache, f), 12u);
}

TEST(Frontier, WideArithmeticBeyondThirtyTwoBits) {
  // n * min(b_0, b_1) from 29 variables no longer fits 32 bits.
  FValue f = FValue::zeros(std::uint64_t{1} << 29);
  auto w = f.mutable_words();
  for (std::size_t k = 0; k < w.size(); k += 2) w[k] = ~std::uint64_t{0};
  EXPECT_EQ(varnel::max_frontier_size(f), std::uint64_t{29} << 28);
}

TEST(Sensitivity, SumBeyondThirtyTwoBits) {
  // Parity of 28 variables: the sum of sensitivities is 28 * 2^28 > 2^32.
  FValue f = FValue::zeros(std::uint64_t{1} << 28);
  auto w = f.mutable_words();
  for (std::size_t k = 0; k < w.size(); ++k) {
    w[k] = (std::popcount(k) & 1) ? ~0x6996966996696996u : 0x6996966996696996u;
  }
  EXPECT_EQ(varnel::sensitivity_sum(f), std::uint64_t{28} << 28);
  EXPECT_SAME_FLOAT(varnel::mean_sensitivity(f), 28.0f);
  EXPECT_EQ(varnel::max_sensitivity(f), 28u);
}

// --- certificate complexity ----------------------------------------------------

TEST(Certificate, ReferenceAgreesWithTheDefinition) {
  std::mt19937_64 rng(41);
  for (unsigned n = 0; n <= 6; ++n) {
    for (const auto& c : plain::corpus(n, rng)) {
      ASSERT_EQ(plain::certificate_complexity(c.table), plain::certificate_by_subcubes(c.table))
          << c.name;
    }
  }
}

TEST(Certificate, MatchesTheReferenceOnBothPaths) {
  // The reference costs about 4^n reads per function: the whole corpus up to
  // 10 variables, the cheaper shapes at 11 and 12.
  std::mt19937_64 rng(42);
  const unsigned full = kSanitized ? 8 : 10;  // the whole corpus up to here
  for (unsigned n = 0; n <= (kSanitized ? 10u : 12u); ++n) {
    for (const auto& c : plain::corpus(n, rng, n <= full ? 4 : 0)) {
      const bool cheap = c.name.ends_with("tribes") || c.name.ends_with("junta") ||
                         c.name.ends_with("dictator") || c.name.ends_with("one point");
      const bool medium =
          c.name.ends_with("threshold") || (n == full + 1 && c.name.ends_with("majority"));
      if (n > full && !(cheap || (medium && !kSanitized))) continue;
      SCOPED_TRACE(c.name);
      const FValue f = plain::pack(c.table);
      const std::uint32_t want = plain::certificate_complexity(c.table);
      for (bool baseline : {false, true}) {
        force_baseline(baseline);
        EXPECT_EQ(varnel::certificate_complexity(f), want);
        EXPECT_EQ(varnel::certificate_complexity_on(f, 1), want);
      }
      force_baseline(false);
    }
  }
}

TEST(Certificate, JuntasKeepTheCertificateComplexityOfTheirCore) {
  // A function of k of the n variables has the certificate complexity of its
  // k-variable core. The unused variables make the search deep, and the core's
  // variables are spread over the low (in-word) and high (word) positions.
  std::mt19937_64 rng(46);
  for (unsigned n : {12u, 15u, 16u}) {
    for (unsigned k : {4u, 6u, 8u}) {
      std::vector<unsigned> pos;
      for (unsigned i = 0; i < k; ++i) pos.push_back(i % 2 == 0 ? i : n - i);
      for (const plain::Table& core : {plain::random_table(k, rng), plain::biased(k, 0.15, rng),
                                       plain::threshold(k, k / 2), plain::tribes(k, 2)}) {
        const plain::Table t = plain::make_table(n, [&](std::size_t x) {
          std::size_t y = 0;
          for (unsigned i = 0; i < k; ++i) y |= ((x >> pos[i]) & 1u) << i;
          return core[y] != 0;
        });
        EXPECT_EQ(varnel::certificate_complexity(plain::pack(t)),
                  plain::certificate_complexity(core))
            << n << " " << k;
      }
    }
  }
}

TEST(Certificate, Tribes) {
  // OR of t ANDs of width w: one full block certifies a 1, a zero in every
  // block certifies a 0, so C = max(w, t).
  for (auto [n, w] : {std::pair{16u, 4u}, {15u, 3u}, {16u, 2u}, {18u, 6u}, {12u, 6u}}) {
    EXPECT_EQ(varnel::certificate_complexity(plain::pack(plain::tribes(n, w))), std::max(w, n / w))
        << n << " " << w;
  }
}

TEST(Certificate, ManyBiasedFunctionsOnOneAndSeveralThreads) {
  // Biased tables leave many inputs with low sensitivity, so the search goes
  // deep; every bias from sparse to dense.
  std::mt19937_64 rng(43);
  for (int rep = 0; rep < (kSanitized ? 100 : 300); ++rep) {
    const unsigned n = 4 + rng() % 6;
    const double p = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    const plain::Table t = plain::biased(n, p * p, rng);
    const FValue f = plain::pack(t);
    const std::uint32_t want = plain::certificate_complexity(t);
    ASSERT_EQ(varnel::certificate_complexity_on(f, 1), want) << rep;
    ASSERT_EQ(varnel::certificate_complexity_on(f, 3), want) << rep;
  }
}

TEST(Certificate, ThresholdFunctions) {
  // f = [popcount(x) >= k]: C = max(k, n - k + 1).
  for (unsigned n = 1; n <= 15; ++n) {
    for (unsigned k = 1; k <= n; ++k) {
      const FValue f = plain::pack(plain::threshold(n, k));
      EXPECT_EQ(varnel::certificate_complexity(f), std::max(k, n - k + 1)) << n << " " << k;
    }
  }
}

TEST(Certificate, EdgeCasesAndBounds) {
  EXPECT_EQ(varnel::certificate_complexity(plain::pack({1})), 0u);
  EXPECT_EQ(varnel::certificate_complexity(plain::pack(plain::Table(64, 0))), 0u);
  EXPECT_EQ(varnel::certificate_complexity(plain::pack({0, 1, 0, 1})), 1u);
  const FValue and2 = plain::pack({0, 0, 0, 1});
  const std::uint32_t points[4] = {1, 1, 1, 2};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(varnel::point_certificate_complexity(and2, x), points[x]);
  EXPECT_EQ(varnel::certificate_complexity(and2), 2u);
  EXPECT_EQ(varnel::certificate_complexity(plain::pack({0, 0, 0, 1, 0, 1, 1, 1})), 2u);
  EXPECT_EQ(varnel::certificate_complexity(plain::pack({0, 1, 1, 0, 1, 0, 0, 1})), 3u);
  EXPECT_EQ(varnel::certificate_complexity(plain::pack({0, 1, 1, 1, 1, 1, 1, 1})), 3u);

  std::mt19937_64 rng(44);
  for (unsigned n = 1; n <= 16; ++n) {
    for (const auto& c : plain::corpus(n, rng, 1)) {
      const FValue f = plain::pack(c.table);
      const std::uint32_t cc = varnel::certificate_complexity(f);
      EXPECT_GE(cc, varnel::max_sensitivity(f)) << c.name;
      EXPECT_LE(cc, n) << c.name;
    }
  }
}

TEST(Certificate, PointValuesMatchTheReference) {
  sweep_corpus(45, 0, 8, 2, [&](unsigned, const plain::Case& c, const FValue& f) {
    for (std::size_t x = 0; x < c.table.size(); ++x) {
      ASSERT_EQ(varnel::point_certificate_complexity(f, x),
                plain::point_certificate_complexity(c.table, x))
          << c.name << " x=" << x;
    }
  });
}

TEST(Certificate, InvalidInputsAreInternalFailures) {
  expect_panic(
      [] {
        varnel::point_certificate_complexity(plain::pack({0, 1}), 2);
      },
      "index out of bounds: the len is 2 but the index is 2");
  const std::vector<std::uint64_t> with_zero = {1, 0};
  expect_panic([&] { varnel::minimum_certificate_size(with_zero, 3); },
               "a difference mask without variables cannot be met");
  const std::vector<std::uint64_t> beyond = {8};
  expect_panic([&] { varnel::minimum_certificate_size(beyond, 3); },
               "a difference mask without variables cannot be met");
  const std::vector<std::uint64_t> one = {1};
  expect_panic([&] { varnel::minimum_certificate_size(one, 0); },
               "no variable to choose for a certificate");
  EXPECT_EQ(varnel::minimum_certificate_size({}, 0), 0u);
  EXPECT_EQ(varnel::minimum_certificate_size(std::vector<std::uint64_t>{3, 5, 6}, 3), 2u);
}
