// The spectral family (entropy, non-linearity, degree) against the plain
// references: the single-precision recipe up to 12 variables, bit for bit
// (every function of up to 4 variables, many random ones up to 12), the
// double-precision sum and the exact non-linearity beyond, on both kernel paths
// and on one to three threads; and closed forms of symmetric and bent
// functions from 20 to 28 variables.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "classical.hpp"
#include "corpus_sweep.hpp"
#include "families_plain.hpp"
#include "simd.hpp"
#include "metrics/scratch.hpp"
#include "metrics/spectral.hpp"
#include "plain.hpp"
#include "toolkit.hpp"

using varnel::FValue;

namespace {

using plain::float_bits;
using plain::kSanitized;

// --- closed forms of symmetric functions -------------------------------------

std::int64_t binomial(unsigned n, unsigned k) {
  if (k > n) return 0;
  std::int64_t c = 1;
  for (unsigned i = 1; i <= k; ++i) c = c * (n - k + i) / i;
  return c;
}

// The spectrum of a symmetric function g(weight) of n variables: W depends only
// on k = |s|, W_k = sum over weights j of sign(g(j)) K_k(j), with the
// Krawtchouk value K_k(j) = sum_i (-1)^i C(k, i) C(n - k, j - i) (the inputs x
// of weight j that share i ones with s).
std::vector<std::int64_t> symmetric_spectrum(unsigned n, const std::vector<bool>& g) {
  std::vector<std::int64_t> w(n + 1, 0);
  for (unsigned k = 0; k <= n; ++k) {
    for (unsigned j = 0; j <= n; ++j) {
      std::int64_t kraw = 0;
      for (unsigned i = 0; i <= std::min(j, k); ++i) {
        kraw += ((i & 1) ? -1 : 1) * binomial(k, i) * binomial(n - k, j - i);
      }
      w[k] += (g[j] ? 1 : -1) * kraw;
    }
  }
  return w;
}

struct Closed {
  long double entropy = 0;
  std::uint64_t no_linearity = 0;
  std::uint64_t degree = 0;
};

Closed symmetric_closed_form(unsigned n, const std::vector<bool>& g) {
  const std::vector<std::int64_t> w = symmetric_spectrum(n, g);
  Closed c;
  std::int64_t largest = 0;
  for (unsigned k = 0; k <= n; ++k) {
    if (w[k] == 0) continue;
    const long double coefficient =
        std::ldexp(static_cast<long double>(w[k]), -static_cast<int>(n));
    const long double q = coefficient * coefficient;
    c.entropy -= static_cast<long double>(binomial(n, k)) * q * std::log(q);
    largest = std::max(largest, std::abs(w[k]));
    c.degree = k;
  }
  c.no_linearity = (std::uint64_t{1} << (n - 1)) - static_cast<std::uint64_t>(largest / 2);
  return c;
}

// The packed table of a symmetric function, word by word.
FValue symmetric_table(unsigned n, const std::vector<bool>& g) {
  std::uint64_t by_weight[7] = {};
  for (unsigned t = 0; t < 64; ++t) by_weight[std::popcount(t)] |= std::uint64_t{1} << t;
  FValue f = FValue::zeros(std::uint64_t{1} << n);
  auto words = f.mutable_words();
  for (std::size_t k = 0; k < words.size(); ++k) {
    std::uint64_t word = 0;
    for (unsigned j = 0; j <= 6; ++j) {
      const unsigned weight = static_cast<unsigned>(std::popcount(k)) + j;
      if (weight <= n && g[weight]) word |= by_weight[j];
    }
    words[k] = word;
  }
  return f;
}

// The inner product x0 x1 + x2 x3 + ... of n (even) variables, word by word.
FValue inner_product_table(unsigned n) {
  const FValue low = plain::pack(plain::inner_product(6));
  const std::uint64_t w = low.words()[0];
  FValue f = FValue::zeros(std::uint64_t{1} << n);
  auto words = f.mutable_words();
  for (std::size_t k = 0; k < words.size(); ++k) {
    const bool high = std::popcount(k & (k >> 1) & 0x5555555555555555u) & 1;
    words[k] = high ? ~w : w;
  }
  return f;
}

std::vector<bool> weights(unsigned n, auto&& g) {
  std::vector<bool> v(n + 1);
  for (unsigned j = 0; j <= n; ++j) v[j] = g(j);
  return v;
}

}  // namespace

// --- up to 12 variables: the recipe, bit for bit ------------------------------

TEST(SpectralRecipe, EveryFunctionOfUpToFourVariables) {
  for (unsigned n = 0; n <= 4; ++n) {
    const std::uint64_t size = std::uint64_t{1} << n;
    for (std::uint64_t number = 0; number < (std::uint64_t{1} << size); ++number) {
      const FValue f = varnel::from_number(number, n);
      const plain::Table t = plain::unpack(f);
      ASSERT_EQ(float_bits(varnel::spectral_entropy(f)), float_bits(plain::spectral_entropy(t)))
          << n << " " << number;
      ASSERT_EQ(varnel::no_linearity(f), plain::no_linearity(t)) << n << " " << number;
      ASSERT_EQ(varnel::degree(f), plain::degree(t)) << n << " " << number;
    }
  }
}

TEST(SpectralRecipe, ManyRandomFunctionsUpToTwelveVariables) {
  std::mt19937_64 rng(101);
  for (unsigned n = 5; n <= 12; ++n) {
    const int count = kSanitized ? 20 : 150;
    for (int r = 0; r < count; ++r) {
      const double p = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
      const plain::Table t = r % 2 ? plain::random_table(n, rng) : plain::biased(n, p * p, rng);
      const FValue f = plain::pack(t);
      ASSERT_EQ(float_bits(varnel::spectral_entropy(f)), float_bits(plain::spectral_entropy(t)))
          << n << " " << r;
      ASSERT_EQ(varnel::no_linearity(f), plain::no_linearity(t)) << n << " " << r;
      ASSERT_EQ(varnel::degree(f), plain::degree(t)) << n << " " << r;
    }
  }
}

// --- beyond: the double-precision sum and the exact non-linearity -------------

// Runs check() on both kernel paths (AVX2 where available, and the x86-64-v2
// baseline) and on one to three threads; the reference is computed once.
template <class Check>
void on_every_path(Check&& check) {
  for (const bool baseline : {false, true}) {
    varnel::simd::force(baseline ? varnel::simd::Level::baseline : varnel::simd::Level::avx512);
    for (const unsigned threads : {1u, 2u, 3u}) {
      SCOPED_TRACE(std::string(baseline ? "baseline" : "dispatched") +
                   " threads=" + std::to_string(threads));
      check(threads);
    }
  }
  varnel::simd::force(varnel::simd::Level::avx512);
}

TEST(SpectralLarge, MatchesTheReference) {
  // 13..15 variables take the one-array path, 16 and more the two passes
  // (from 18 on the pool); structured functions exercise the rare values.
  std::mt19937_64 rng(102);
  const std::vector<unsigned> sizes = kSanitized ? std::vector<unsigned>{13, 16, 18}
                                                 : std::vector<unsigned>{13, 15, 16, 17, 18, 20};
  for (unsigned n : sizes) {
    std::vector<plain::Case> cases = plain::corpus(n, rng, 1);
    if (kSanitized) cases.resize(5);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      const FValue f = plain::pack(c.table);
      const float entropy = plain::spectral_entropy_accurate(c.table);
      const std::uint64_t no_linearity = plain::no_linearity_exact(c.table);
      const std::uint64_t degree = plain::degree(c.table);
      on_every_path([&](unsigned threads) {
        EXPECT_SAME_FLOAT(varnel::spectral_entropy_on(f, threads), entropy);
        EXPECT_EQ(varnel::no_linearity_on(f, threads), no_linearity);
        EXPECT_EQ(varnel::degree_on(f, threads), degree);
      });
    }
  }
}

TEST(SpectralLarge, DegreeBelowTheTop) {
  // Juntas and functions with an unused high variable: the top coefficient is
  // zero, so the degree comes from the whole spectrum.
  std::mt19937_64 rng(103);
  for (unsigned n : {14u, 17u, 19u}) {
    std::vector<plain::Table> tables;
    for (unsigned k : {1u, n / 2, n - 1}) tables.push_back(plain::junta(n, k, rng));
    tables.push_back(plain::threshold(n, n / 2));
    for (const auto& t : tables) {
      const FValue f = plain::pack(t);
      const std::uint64_t want = plain::degree(t);
      on_every_path([&](unsigned threads) { EXPECT_EQ(varnel::degree_on(f, threads), want) << n; });
    }
  }
}

TEST(SpectralAccuracy, WithinOneUlpOfTheExactSumOfTheTerms) {
  // The terms summed in long double in index order: grouping by |W| changes
  // the double-precision sum by far less than the final rounding.
  sweep_corpus(104, {13, 16, 18}, 2, [&](unsigned, const plain::Case& c, const FValue& f) {
    const std::vector<float> coefficient = plain::coefficients(c.table);
    long double exact = 0;
    for (const float x : coefficient) {
      if (x != 0.0f) exact -= static_cast<long double>(logf(x * x) * (x * x));
    }
    const float got = varnel::spectral_entropy(f);
    const auto want = static_cast<float>(exact);
    EXPECT_LE(std::abs(got - want), std::abs(want) * std::ldexp(1.0f, -23))
        << got << " vs " << want;
  });
}

// --- closed forms from 20 to 28 variables ------------------------------------

TEST(SpectralClosedForms, BentFunctions) {
  // Every |W| = 2^(n/2): each q is 2^-n exactly, so the entropy is
  // -logf(2^-n), about n ln 2, and the non-linearity 2^(n-1) - 2^(n/2-1).
  for (unsigned n = 20; n <= (kSanitized ? 20u : 28u); n += 2) {
    const FValue f = inner_product_table(n);
    const float h = varnel::spectral_entropy(f);
    EXPECT_SAME_FLOAT(h, -std::log(std::ldexp(1.0f, -static_cast<int>(n))));
    EXPECT_NEAR(h, n * std::log(2.0), 1e-5 * n) << n;
    EXPECT_EQ(varnel::no_linearity(f),
              (std::uint64_t{1} << (n - 1)) - (std::uint64_t{1} << (n / 2 - 1)));
    EXPECT_EQ(varnel::degree(f), n);
  }
}

TEST(SpectralClosedForms, SymmetricFunctions) {
  // Majority, AND and OR against the spectrum from Krawtchouk values. The AND
  // and the OR have non-linearity 1 at every size. The terms are formed in
  // single precision, so a coefficient within 2^-25 of 1 adds no term: about
  // 1e-7 absolute beside the relative error of the others.
  std::vector<unsigned> sizes = {20, 21, 26, 28};
  if (kSanitized) sizes = {20};
  for (unsigned n : sizes) {
    const std::vector<std::pair<std::string, std::vector<bool>>> functions = {
        {"majority", weights(n, [n](unsigned j) { return 2 * j > n; })},
        {"and", weights(n, [n](unsigned j) { return j == n; })},
        {"or", weights(n, [](unsigned j) { return j > 0; })},
    };
    for (const auto& [name, g] : functions) {
      SCOPED_TRACE(name + " n=" + std::to_string(n));
      const FValue f = symmetric_table(n, g);
      const Closed want = symmetric_closed_form(n, g);
      EXPECT_NEAR(varnel::spectral_entropy(f), static_cast<double>(want.entropy),
                  2e-6 * static_cast<double>(want.entropy) + 1e-7);
      EXPECT_EQ(varnel::no_linearity(f), want.no_linearity);
      EXPECT_EQ(varnel::degree(f), want.degree);
      if (name != "majority") {
        EXPECT_EQ(want.no_linearity, 1u);
      }
    }
  }
}

TEST(SpectralClosedForms, KrawtchoukSpectrumMatchesTheTransform) {
  // The closed form itself, against the plain transform at small sizes.
  for (unsigned n = 1; n <= 10; ++n) {
    const std::vector<bool> g = weights(n, [n](unsigned j) { return 2 * j > n; });
    const std::vector<std::int64_t> w = symmetric_spectrum(n, g);
    const std::vector<std::int64_t> want = plain::walsh(plain::unpack(symmetric_table(n, g)));
    for (std::size_t s = 0; s < want.size(); ++s)
      ASSERT_EQ(w[std::popcount(s)], want[s]) << n << " " << s;
  }
}

// The kept intermediate: an array given back is handed out again when large
// enough, never above the limit, and threads taking and giving at once each
// get an array of their own.
TEST(KeptScratch, ReusesWithinTheLimitAndAcrossThreads) {
  varnel::KeptScratch<std::uint16_t> kept(std::size_t{1} << 20);
  auto a = kept.take(1000);
  const std::uint16_t* first = a.get();
  kept.give(std::move(a), 1000);
  auto b = kept.take(500);  // smaller: the kept array serves
  EXPECT_EQ(b.get(), first);
  kept.give(std::move(b), 1000);
  auto c = kept.take(2000);  // larger: a new one (the kept one is freed)
  c[1999] = 7;
  kept.give(std::move(c), std::size_t{1} << 20);  // 2 MiB: above the limit, not kept
  auto d = kept.take(10);
  d[9] = 1;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&kept, t] {
      for (int i = 0; i < 2000; ++i) {
        auto s = kept.take(64);
        for (std::size_t e = 0; e < 64; ++e) s[e] = static_cast<std::uint16_t>(t);
        for (std::size_t e = 0; e < 64; ++e) ASSERT_EQ(s[e], t);
        kept.give(std::move(s), 64);
      }
    });
  }
  for (auto& th : threads) th.join();
}
