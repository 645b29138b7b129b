// The Walsh spectrum handed out whole, the Fourier weights per level and the
// autocorrelation spectrum, against the plain sums.
#include <gtest/gtest.h>

#include <random>

#include "corpus_sweep.hpp"
#include "boolean_plain.hpp"
#include "families_plain.hpp"
#include "metrics/autocorrelation.hpp"
#include "metrics/walsh.hpp"

using varnel::FValue;

TEST(Walsh, SpectrumAndLevelWeightsMatchThePlainTransform) {
  sweep_corpus(
      41, {0, 1, 2, 5, 8, 11, 16}, 2, [&](unsigned n, const plain::Case& c, const FValue& f) {
        const std::vector<std::int64_t> want = plain::walsh(c.table);
        std::vector<std::int64_t> got(want.size());
        varnel::walsh_spectrum(f, got);
        ASSERT_EQ(got, want);
        std::vector<std::uint64_t> levels(n + 1, 0);
        for (std::size_t s = 0; s < want.size(); ++s) {
          levels[std::popcount(s)] += static_cast<std::uint64_t>(want[s] * want[s]);
        }
        EXPECT_EQ(varnel::fourier_level_weights(f), levels);
      });
}

TEST(Autocorrelation, MatchesTheDefinition) {
  sweep_corpus(42, 0, 9, 3, [&](unsigned, const plain::Case& c, const FValue& f) {
    const std::vector<std::int64_t> want = plain::autocorrelation(c.table);
    std::vector<std::int64_t> got(want.size());
    varnel::autocorrelation(f, got);
    ASSERT_EQ(got, want);
  });
}

TEST(Autocorrelation, ClosedForms) {
  // Bent: r(a) = 0 for every a != 0. Affine: r(a) = +-2^n everywhere.
  std::vector<std::int64_t> r(1 << 10);
  varnel::autocorrelation(plain::pack(plain::inner_product(10)), r);
  EXPECT_EQ(r[0], 1024);
  for (std::size_t a = 1; a < r.size(); ++a) ASSERT_EQ(r[a], 0) << a;
  const plain::Table parity =
      plain::make_table(10, [](std::size_t x) { return (std::popcount(x) & 1) != 0; });
  varnel::autocorrelation(plain::pack(parity), r);
  for (std::size_t a = 0; a < r.size(); ++a) {
    ASSERT_EQ(r[a], (std::popcount(a) & 1) ? -1024 : 1024) << a;
  }
}

TEST(Autocorrelation, LargeTablesMatchThePlainTransformOfTheSquares) {
  // From 16 variables on, the transform is split over two threads.
  std::mt19937_64 rng(43);
  for (unsigned n : {14u, 16u, 17u}) {
    const plain::Table t = plain::biased(n, 0.3, rng);
    std::vector<std::int64_t> want = plain::walsh(t);
    for (std::int64_t& v : want) v *= v;
    plain::fwht(want);
    for (std::int64_t& v : want) v /= std::int64_t{1} << n;
    std::vector<std::int64_t> got(want.size());
    varnel::autocorrelation(plain::pack(t), got);
    ASSERT_EQ(got, want) << n;
    // A few entries against the definition itself.
    for (std::size_t a : {std::size_t{0}, std::size_t{1}, std::size_t{12345}, t.size() - 1}) {
      std::int64_t r = 0;
      for (std::size_t x = 0; x < t.size(); ++x) r += t[x] == t[x ^ a] ? 1 : -1;
      ASSERT_EQ(got[a], r) << n << " " << a;
    }
  }
}
