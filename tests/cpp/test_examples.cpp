// The function families against their literal per-entry definitions
// (tests/reference/families.hpp): every entry for every size that takes a few
// seconds, then sampled entries and independent facts at the larger sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <random>

#include "clique_solver.hpp"
#include "error.hpp"
#include "expect_panic.hpp"
#include "examples.hpp"
#include "families.hpp"

namespace ex = varnel::examples;
using varnel::FValue;

namespace {

using Family = FValue (*)(std::uint64_t);

void expect_table(const FValue& f, const plain::Table& want, const char* what, unsigned n) {
  ASSERT_EQ(f.size(), want.size()) << what << " n=" << n;
  // Word comparison of the packed tables also checks that nothing beyond a
  // short table's length is set; on a difference, name the first entry.
  if (f == plain::pack(want)) return;
  for (std::uint64_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(f[i], want[i] != 0) << what << " n=" << n << " entry " << i;
  }
  FAIL() << what << " n=" << n << ": bits set beyond the table";
}

// A byte-per-entry sieve of Eratosthenes, an independent check of primality
// at sizes where trial division of every entry is too slow for a test.
plain::Table byte_sieve(std::uint64_t size) {
  plain::Table t(size, 1);
  t[0] = 0;
  if (size > 1) t[1] = 0;
  for (std::uint64_t p = 2; p * p < size; ++p) {
    if (!t[p]) continue;
    for (std::uint64_t m = p * p; m < size; m += p) t[m] = 0;
  }
  return t;
}

template <class Entry>
void expect_sampled(const FValue& f, Entry entry, std::uint64_t samples, std::uint64_t seed,
                    const char* what) {
  std::mt19937_64 rng(seed);
  for (std::uint64_t s = 0; s < samples; ++s) {
    const std::uint64_t i = rng() & (f.size() - 1);
    ASSERT_EQ(f[i], entry(i)) << what << " entry " << i;
  }
  // The first and last words, where edge effects would show.
  for (std::uint64_t i = 0; i < std::min<std::uint64_t>(f.size(), 256); ++i) {
    ASSERT_EQ(f[i], entry(i)) << what << " entry " << i;
    ASSERT_EQ(f[f.size() - 1 - i], entry(f.size() - 1 - i)) << what << " entry " << i;
  }
}

}  // namespace

TEST(Families, SingleOperandMatchDefinitionOnEveryEntry) {
  for (unsigned n = 0; n <= 20; ++n) {
    expect_table(ex::parity(n), plain::parity(n), "parity", n);
    expect_table(ex::majority(n), plain::majority(n), "majority", n);
    expect_table(ex::primality(n), plain::primality(n), "primality", n);
  }
}

TEST(Families, PrimalityAcrossSieveSegmentsMatchesByteSieve) {
  // Sieve segments hold 2^20 inputs and a task on the pool sixteen segments:
  // these sizes span two segments to two tasks.
  for (unsigned n : {21u, 22u, 25u}) {
    expect_table(ex::primality(n), byte_sieve(std::uint64_t{1} << n), "primality", n);
  }
}

TEST(Families, PrimalityCountsPrimesAtLargeSizes) {
  // pi(2^k), the number of primes below 2^k.
  const FValue p28 = ex::primality(28);
  EXPECT_EQ(p28.count_ones(), 14630843u);
  expect_sampled(p28, plain::is_prime, 20000, 1, "primality 28");
}

TEST(Families, TwoOperandMatchDefinitionOnEveryEntry) {
  for (unsigned n = 0; n <= 11; ++n) {
    expect_table(ex::coprimes(n), plain::coprimes(n), "coprimes", n);
    expect_table(ex::sum_is_prime(n), plain::sum_is_prime(n), "sum_is_prime", n);
  }
}

TEST(Families, TwoOperandSampledAtLargeSizes) {
  for (unsigned n : {12u, 13u, 15u}) {
    expect_sampled(
        ex::sum_is_prime(n),
        [n](std::uint64_t i) { return plain::sum_is_prime_entry(n, static_cast<std::int32_t>(i)); },
        50000, n, "sum_is_prime");
  }
  for (unsigned n : {12u, 13u}) {
    const FValue f = ex::coprimes(n);
    expect_sampled(
        f, [n](std::uint64_t i) { return plain::coprimes_entry(n, i); }, 50000, n, "coprimes");
    // Whole rows of the special operands and of primes above 64 (struck bit by bit).
    for (std::uint64_t x : {0ull, 1ull, 2ull, 64ull, 67ull, 4091ull, 4096ull + 3, 8191ull}) {
      if (x >> n) continue;
      for (std::uint64_t y = 0; y < (std::uint64_t{1} << n); ++y) {
        const std::uint64_t i = (x << n) | y;
        ASSERT_EQ(f[i], plain::coprimes_entry(n, i)) << "coprimes " << n << " x=" << x;
      }
    }
  }
}

TEST(Families, CliqueMatchesSearchOnEveryEntry) {
  for (unsigned n = 0; n <= 6; ++n) expect_table(ex::clique(n), plain::clique(n), "clique", n);
  // n = 7: 2^21 graphs, against our search.
  const unsigned n = 7;
  const FValue f = ex::clique(n);
  std::vector<std::uint8_t> edges(21);
  for (std::uint64_t i = 0; i < f.size(); ++i) {
    for (unsigned e = 0; e < 21; ++e) edges[e] = (i >> e) & 1;
    ASSERT_EQ(f[i], varnel::find_clique(edges, n, n / 2).has_value()) << "entry " << i;
  }
}

TEST(Families, CliqueSampledAtLargerSizes) {
  // n = 8: 28 variables, 2^10 blocks of 2^18 entries.
  const FValue f = ex::clique(8);
  EXPECT_EQ(f.n_vars(), 28u);
  expect_sampled(
      f, [](std::uint64_t i) { return plain::clique_entry(8, i); }, 20000, 8, "clique 8");
}

TEST(Families, VariableCounts) {
  for (unsigned n = 0; n <= 8; ++n) {
    EXPECT_EQ(ex::parity(n).n_vars(), n);
    EXPECT_EQ(ex::coprimes(n).n_vars(), 2 * n);
    EXPECT_EQ(ex::sum_is_prime(n).n_vars(), 2 * n);
    EXPECT_EQ(ex::clique(n).n_vars(), n * (n == 0 ? 0 : n - 1) / 2);
  }
}

// ---------------------------------------------------------------------------
// Sizes out of range

namespace {

void expect_value_error(Family f, std::uint64_t n) {
  EXPECT_THROW(f(n), varnel::ValueError) << "n=" << n;
}

}  // namespace

TEST(FamilySizes, TablesOf2To63EntriesAreCapacityOverflow) {
  for (Family f : {&ex::parity, &ex::majority, &ex::primality}) {
    for (std::uint64_t n : {63ull, 127ull, 191ull, ~0ull})
      expect_panic([&] { f(n); }, "capacity overflow");
  }
}

TEST(FamilySizes, BeyondTheSupportedRangeIsValueError) {
  for (Family f : {&ex::parity, &ex::majority, &ex::primality}) {
    for (std::uint64_t n : {64ull, 65ull, 126ull, 128ull, 1ull << 40, ~0ull - 1}) {
      expect_value_error(f, n);
    }
  }
  for (std::uint64_t n : {32ull, 33ull, 1ull << 32, 1ull << 63, ~0ull}) {
    expect_value_error(&ex::coprimes, n);
  }
  for (std::uint64_t n : {16ull, 17ull, 1ull << 31, ~0ull}) {
    expect_value_error(&ex::sum_is_prime, n);
  }
  for (std::uint64_t n : {12ull, 13ull, 1ull << 32, ~0ull}) expect_value_error(&ex::clique, n);
  try {
    ex::clique(12);
  } catch (const varnel::ValueError& e) {
    EXPECT_STREQ(e.what(), "clique: n must be at most 11, got 12");
  }
}

TEST(FamilySizes, TablesLargerThanMemoryAreBadAlloc) {
  // Within the supported ranges, but far beyond any memory (2^45 bytes and up).
  for (Family f : {&ex::parity, &ex::majority, &ex::primality}) {
    for (std::uint64_t n : {48ull, 62ull}) EXPECT_THROW(f(n), std::bad_alloc) << n;
  }
  EXPECT_THROW(ex::coprimes(24), std::bad_alloc);
  EXPECT_THROW(ex::coprimes(31), std::bad_alloc);
  EXPECT_THROW(ex::clique(10), std::bad_alloc);  // 45 variables
  EXPECT_THROW(ex::clique(11), std::bad_alloc);  // 55 variables
}

TEST(FamilySizes, LargestSumIsPrimeFits) {
  // n = 15 is 30 variables: 2^30 entries, 128 MiB packed.
  const FValue f = ex::sum_is_prime(15);
  EXPECT_EQ(f.n_vars(), 30u);
  const std::uint64_t last = f.size() - 1;  // x = y = 32767, sum 65534
  EXPECT_FALSE(f[last]);
  EXPECT_TRUE(f[(std::uint64_t{32749} << 15) | 0]);      // 32749 is prime
  EXPECT_TRUE(f[(std::uint64_t{32767} << 15) | 32754]);  // 65521 is prime
}
