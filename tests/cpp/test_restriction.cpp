#include <gtest/gtest.h>

#include "expect_panic.hpp"

#include <bit>
#include <cmath>
#include <random>
#include <thread>

#include "error.hpp"
#include "bit_unpack.hpp"
#include "index_permutation.hpp"
#include "restriction.hpp"
#include "subset_descent.hpp"
#include "subset_walk.hpp"
#include "restriction_plain.hpp"
#include "toolkit.hpp"
#include "simd.hpp"

using plain::Vars;
using varnel::FValue;
using varnel::VarMask;

namespace {

// Random functions with structure, so that forms repeat: a random function of
// a random subset of the variables, sometimes biased, sometimes constant or
// parity, sometimes uniformly random.
plain::Table structured_table(unsigned n, std::mt19937_64& rng) {
  using plain::Shape;
  return plain::mixed_table(
      n, {Shape::random, Shape::constant, Shape::parity, Shape::biased, Shape::junta, Shape::junta},
      rng);
}

// Variable lists of every kind: distinct in range, unsorted, empty, full,
// with repeats, with indices past n, with indices of 64 and more.
Vars random_vars(unsigned n, std::mt19937_64& rng) {
  Vars vars;
  const unsigned kind = rng() % 8;
  if (kind == 0) return vars;
  if (kind == 1) {
    for (unsigned v = 0; v < n; ++v) vars.push_back(v);
    std::shuffle(vars.begin(), vars.end(), rng);
    return vars;
  }
  if (kind <= 4 || n == 0) {  // distinct in-range subset, shuffled
    for (unsigned v = 0; v < n; ++v) {
      if (rng() & 1) vars.push_back(v);
    }
    std::shuffle(vars.begin(), vars.end(), rng);
    if (n == 0 && kind > 1) vars.push_back(rng() % 3);
    return vars;
  }
  const unsigned k = static_cast<unsigned>(rng() % std::min(n + 3, 14u));
  for (unsigned i = 0; i < k; ++i) {
    switch (rng() % 4) {
      case 0:
        vars.push_back(rng() % (n + 3));
        break;  // maybe past n
      case 1:
        vars.push_back(64 + rng() % (n + 2));
        break;  // wraps onto 0..n+1
      default:
        vars.push_back(rng() % std::max(n, 1u));
        break;
    }
  }
  return vars;
}

Vars vars_of(VarMask m) {
  Vars out;
  for (unsigned v = 0; v < 64; ++v) {
    if ((m >> v) & 1u) out.push_back(v);
  }
  return out;
}

void expect_same_float(float a, float b) {
  EXPECT_EQ(plain::float_bits(a), plain::float_bits(b)) << a << " vs " << b;
}

// Every vector level the processor has, lowest first; restores the best.
template <class Body>
void for_each_simd_level(Body&& body) {
  using varnel::simd::Level;
  for (Level level : {Level::baseline, Level::avx2, Level::avx512}) {
    if (static_cast<int>(level) > static_cast<int>(varnel::simd::detected())) break;
    varnel::simd::force(level);
    body();
  }
  varnel::simd::force(Level::avx512);
}

}  // namespace

TEST(IndexPermutation, MatchesTheDefinition) {
  for_each_simd_level([] {
    std::mt19937_64 rng(11);
    for (int rep = 0; rep < 400; ++rep) {
      const unsigned n = rep % 17;
      plain::Table t = plain::random_table(n, rng);
      std::vector<unsigned> dest(n);
      for (unsigned i = 0; i < n; ++i) dest[i] = i;
      std::shuffle(dest.begin(), dest.end(), rng);
      if (rep % 5 == 0) std::sort(dest.begin(), dest.end());  // identity too
      const FValue f = plain::pack(t);
      std::vector<std::uint64_t> out(f.words().size());
      varnel::permute_index_bits(f.words(), n, dest, out);
      const FValue g(out, f.size());
      for (std::uint64_t x = 0; x < t.size(); ++x) {
        std::uint64_t y = 0;
        for (unsigned i = 0; i < n; ++i) y |= ((x >> i) & 1u) << dest[i];
        ASSERT_EQ(g[y], t[x] != 0) << "n=" << n << " x=" << x;
      }
    }
  });
}

// One exchange of two index bits, for every pair of positions (in-word,
// across, between word bits, and a bit with itself).
TEST(IndexPermutation, SwapOfTwoBitsMatchesTheDefinition) {
  std::mt19937_64 rng(17);
  for (unsigned n : {1u, 3u, 6u, 7u, 9u, 12u}) {
    const plain::Table t = plain::random_table(n, rng);
    const FValue f = plain::pack(t);
    for (unsigned a = 0; a < n; ++a) {
      for (unsigned b = 0; b < n; ++b) {
        std::vector<std::uint64_t> out(f.words().size(), 0x5555);
        varnel::swap_index_bits(f.words(), n, a, b, out);
        const FValue g(out, f.size());
        for (std::uint64_t x = 0; x < t.size(); ++x) {
          const std::uint64_t y = x ^ ((((x >> a) ^ (x >> b)) & 1u) * ((1ull << a) | (1ull << b)));
          ASSERT_EQ(g[y], t[x] != 0) << "n=" << n << " a=" << a << " b=" << b << " x=" << x;
        }
      }
    }
  }
}

TEST(UnpackBits, MatchesTheEntries) {
  for_each_simd_level([] {
    std::mt19937_64 rng(13);
    for (unsigned n = 0; n <= 12; ++n) {
      const plain::Table t = plain::random_table(n, rng);
      const FValue f = plain::pack(t);
      std::vector<std::uint8_t> out(t.size() + 1, 7);
      varnel::unpack_bits(f.words(), t.size(), out.data());
      ASSERT_EQ(out.back(), 7) << "wrote past the end";
      out.pop_back();
      ASSERT_EQ(out, t);
    }
  });
}

TEST(RestrictionMatrix, RowsAreTheSubFunctions) {
  std::mt19937_64 rng(12);
  for (int rep = 0; rep < 500; ++rep) {
    const unsigned n = rep % 14;
    const plain::Table t = plain::random_table(n, rng);
    const FValue f = plain::pack(t);
    const VarMask fixed = rng() & varnel::all_vars(n);
    const auto rows = plain::table_rows(t, vars_of(fixed));
    const varnel::BitMatrix m = varnel::restriction_matrix(f, fixed);
    ASSERT_EQ(m.rows(), rows.size());
    ASSERT_EQ(m.cols(), rows[0].size());
    for (std::uint64_t r = 0; r < m.rows(); ++r) {
      for (std::uint64_t c = 0; c < m.cols(); ++c) ASSERT_EQ(m.get(r, c), rows[r][c] != 0);
    }
    const varnel::BitMatrix tr = m.transposed();
    ASSERT_EQ(tr.rows(), m.cols());
    for (std::uint64_t r = 0; r < m.rows(); ++r) {
      for (std::uint64_t c = 0; c < m.cols(); ++c) ASSERT_EQ(tr.get(c, r), m.get(r, c));
    }
  }
}

TEST(RestrictionCounting, EveryVectorLevelAgrees) {
  std::mt19937_64 rng(77);
  for (int rep = 0; rep < 200; ++rep) {
    const unsigned n = 8 + rep % 7;
    const FValue f = plain::pack(structured_table(n, rng));
    const VarMask fixed = rng() & varnel::all_vars(n);
    std::vector<varnel::FormStats> seen;
    for_each_simd_level([&] { seen.push_back(varnel::form_stats(f, fixed)); });
    for (const auto& s : seen) ASSERT_EQ(s, seen.front());
  }
}

TEST(RestrictionCounting, MatchesTheDefinitionOnRandomFunctionsAndLists) {
  std::mt19937_64 rng(2024);
  for (int rep = 0; rep < 6000; ++rep) {
    const unsigned n = rep % 13;
    const plain::Table t = structured_table(n, rng);
    const FValue f = plain::pack(t);
    const Vars vars = random_vars(n, rng);
    const Vars copy = vars;
    const std::uint64_t count = varnel::count_forms_by_multiple_fixed(f, vars);
    const float entropy = varnel::set_entropy(f, vars);
    ASSERT_EQ(vars, copy);
    ASSERT_EQ(count, plain::count_forms(t, vars)) << "n=" << n << " rep=" << rep;
    ASSERT_EQ(plain::float_bits(entropy), plain::float_bits(plain::set_entropy(t, vars)))
        << "n=" << n << " rep=" << rep << " " << entropy;
    // The relations that always hold.
    ASSERT_GE(count, 1u);
    ASSERT_LE(entropy, std::log2(static_cast<float>(count)) + 1e-5f);
    ASSERT_EQ(count == 1, plain::float_bits(entropy) == 0x80000000u);
  }
}

TEST(RestrictionCounting, SmallExamples) {
  const FValue and2 = FValue::from_bytes(std::vector<std::uint8_t>{0, 0, 0, 1});
  const FValue maj3 = FValue::from_bytes(std::vector<std::uint8_t>{0, 0, 0, 1, 0, 1, 1, 1});
  const FValue zero2 = FValue::zeros(4);
  struct Case {
    const FValue* f;
    Vars vars;
    std::uint64_t count;
    float entropy;
  };
  const Case cases[] = {
      {&and2, {}, 1, -0.0f},    {&and2, {0, 1}, 2, 0.8112781f}, {&and2, {0}, 2, 1.0f},
      {&maj3, {0, 1}, 3, 1.5f}, {&maj3, {1, 0}, 3, 1.5f},       {&and2, {1, 1}, 2, 0.8112781f},
      {&and2, {5}, 2, 1.0f},    {&zero2, {5}, 1, -0.0f},        {&zero2, {0, 0, 1}, 1, -0.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(varnel::count_forms_by_multiple_fixed(*c.f, c.vars), c.count);
    expect_same_float(varnel::set_entropy(*c.f, c.vars), c.entropy);
  }
  expect_same_float(0.8112781f, static_cast<float>(0.8112781047821045));
  const FValue single = FValue::zeros(1);
  EXPECT_EQ(varnel::count_forms_by_multiple_fixed(single, Vars{}), 1u);
  expect_same_float(varnel::set_entropy(single, Vars{}), -0.0f);
}

TEST(RestrictionCounting, ParityHasTwoEqualForms) {
  for (unsigned n = 1; n <= 16; ++n) {
    plain::Table t(std::size_t{1} << n);
    for (std::size_t x = 0; x < t.size(); ++x) t[x] = 1 - (std::popcount(x) & 1);
    const FValue f = plain::pack(t);
    for (VarMask m = 1; m < std::min<VarMask>(varnel::all_vars(n) + 1, 64); ++m) {
      if ((m & ~varnel::all_vars(n)) != 0) continue;
      EXPECT_EQ(varnel::count_forms_by_multiple_fixed(f, vars_of(m)), 2u);
      expect_same_float(varnel::set_entropy(f, vars_of(m)), 1.0f);
    }
  }
}

TEST(RestrictionCounting, TooManyEntriesIsAValueError) {
  const FValue f = FValue::zeros(8);
  Vars ok(63, 0);
  EXPECT_EQ(varnel::count_forms_by_multiple_fixed(f, ok), 1u);
  Vars too_many(64, 0);
  EXPECT_THROW(varnel::count_forms_by_multiple_fixed(f, too_many), varnel::ValueError);
  EXPECT_THROW(varnel::set_entropy(f, too_many), varnel::ValueError);
}

TEST(RestrictionCounting, ManyRepeatsAreWeighedWithoutEnumeration) {
  // 40 copies of variable 0 on x0: one assignment in 2^40 leaves x0 = 0.
  const FValue f = FValue::from_bytes(std::vector<std::uint8_t>{0, 1});
  const Vars vars(40, 0);
  EXPECT_EQ(varnel::count_forms_by_multiple_fixed(f, vars), 2u);
  const float p0 = std::ldexp(1.0f, -40);
  const float p1 = static_cast<float>((std::uint64_t{1} << 40) - 1) / std::ldexp(1.0f, 40);
  float acc = -0.0f;
  acc = acc + std::log2(p0) * p0;
  acc = acc + std::log2(p1) * p1;
  expect_same_float(varnel::set_entropy(f, vars), -acc);
}

TEST(EntropyFromCounts, SumsInAscendingOrderOfCount) {
  std::mt19937_64 rng(3);
  for (int rep = 0; rep < 2010; ++rep) {
    // Unit counts up to 2^20 start from a table; beyond, they are summed.
    const unsigned k = rep < 2000 ? 1 + rng() % 14 : 16 + (rep % 6);
    std::vector<std::uint64_t> counts;
    std::uint64_t left = std::uint64_t{1} << k;
    while (left > 0) {
      const std::uint64_t c = 1 + rng() % std::min<std::uint64_t>(left, rep % 2 ? 1000 : 3);
      counts.push_back(c);
      left -= c;
    }
    std::shuffle(counts.begin(), counts.end(), rng);
    expect_same_float(varnel::entropy_from_counts(counts, k), plain::entropy_sorted(counts, k));
    // The unit counts given as a number instead.
    std::vector<std::uint64_t> larger;
    for (std::uint64_t c : counts) {
      if (c > 1) larger.push_back(c);
    }
    const std::uint64_t units = counts.size() - larger.size();
    expect_same_float(varnel::entropy_from_counts(larger, k, units),
                      plain::entropy_sorted(counts, k));
    const varnel::FormStats s = varnel::stats_of_counts(larger, units, k);
    ASSERT_EQ(s.forms, counts.size());
    expect_same_float(s.entropy, plain::entropy_sorted(counts, k));
  }
}

TEST(BipartitionStats, BothSidesEqualTheirOwnRestrictions) {
  std::mt19937_64 rng(5);
  for (int rep = 0; rep < 400; ++rep) {
    const unsigned n = 1 + rep % 14;
    const FValue f = plain::pack(structured_table(n, rng));
    for (VarMask a : {VarMask{0}, varnel::all_vars(n), rng() & varnel::all_vars(n),
                      rng() & varnel::all_vars(n)}) {
      const varnel::BipartitionStats s = varnel::bipartition_stats(f, a);
      const varnel::FormStats first = varnel::form_stats(f, a);
      const varnel::FormStats second = varnel::form_stats(f, varnel::all_vars(n) & ~a);
      ASSERT_EQ(s.first.forms, first.forms);
      ASSERT_EQ(s.second.forms, second.forms);
      expect_same_float(s.first.entropy, first.entropy);
      expect_same_float(s.second.entropy, second.entropy);
      ASSERT_EQ(varnel::bipartition_stats(f, a, false).second.forms, second.forms);
    }
  }
}

TEST(SubsetStats, EveryMaskEqualsItsOwnRestriction) {
  std::mt19937_64 rng(6);
  for (int rep = 0; rep < 60; ++rep) {
    const unsigned n = rep % 12;
    const FValue f = plain::pack(structured_table(n, rng));
    const unsigned max_size = rep % 3 == 0 ? n / 2 : n;
    for (bool parallel : {false, true}) {
      const auto all = varnel::subset_stats(f, max_size, true, parallel);
      ASSERT_EQ(all.size(), std::size_t{1} << n);
      for (VarMask m = 0; m < all.size(); ++m) {
        if (static_cast<unsigned>(std::popcount(m)) > max_size) {
          ASSERT_EQ(all[m].forms, 0u);
          continue;
        }
        const varnel::FormStats direct = varnel::form_stats(f, m);
        ASSERT_EQ(all[m].forms, direct.forms) << "n=" << n << " mask=" << m;
        expect_same_float(all[m].entropy, direct.entropy);
      }
    }
  }
}

// The descent from the subsets that leave four variables free: every subset
// below them equals its own restriction, on functions whose forms repeat
// everywhere, nowhere, or only on large subsets; each subset is reached
// once, and the larger ones are left alone.
TEST(SubsetDescent, EveryMaskBelowTheStartEqualsItsOwnRestriction) {
  using plain::Shape;
  std::mt19937_64 rng(8);
  int rep = 0;
  for_each_simd_level([&] {
    for (unsigned n = varnel::kDescentFreeVars; n <= 13; ++n) {
      for (Shape shape : {Shape::random, Shape::constant, Shape::majority, Shape::biased,
                          Shape::junta, Shape::xor_of_halves, Shape::triangle, Shape::symmetric,
                          Shape::sparse, Shape::sparse_64, Shape::very_sparse}) {
        const FValue f = plain::pack(plain::shaped_table(n, shape, rng));
        const bool parallel = ++rep % 2 == 0;
        SCOPED_TRACE("n=" + std::to_string(n) +
                     " shape=" + std::to_string(static_cast<int>(shape)));
        const varnel::FormStats untouched{7, 7.0f};
        std::vector<varnel::FormStats> all(std::size_t{1} << n, untouched);
        const varnel::DescentCounts counts = varnel::descend_subset_stats(f, all, parallel);
        std::uint64_t below = 0;
        for (VarMask m = 0; m < all.size(); ++m) {
          if (static_cast<unsigned>(std::popcount(m)) > n - varnel::kDescentFreeVars) {
            ASSERT_EQ(all[m], untouched) << "mask=" << m;
            continue;
          }
          ++below;
          const varnel::FormStats direct = varnel::form_stats(f, m);
          ASSERT_EQ(all[m].forms, direct.forms) << "mask=" << m;
          expect_same_float(all[m].entropy, direct.entropy);
        }
        ASSERT_EQ(counts.from_table, varnel::binomial(n, n - varnel::kDescentFreeVars));
        ASSERT_EQ(counts.from_table + counts.derived + counts.implied, below);
      }
    }
  });
}

// Larger functions, where supersets have many repeated forms and pairs are
// grouped rather than looked up directly: a sample of the subsets.
TEST(SubsetDescent, ManyRepeatedFormsOnLargerFunctions) {
  using plain::Shape;
  std::mt19937_64 rng(9);
  const unsigned n = 16;
  for (Shape shape : {Shape::random, Shape::sparse_64, Shape::xor_of_halves, Shape::triangle}) {
    const FValue f = plain::pack(plain::shaped_table(n, shape, rng));
    SCOPED_TRACE("shape=" + std::to_string(static_cast<int>(shape)));
    std::vector<varnel::FormStats> all(std::size_t{1} << n);
    varnel::descend_subset_stats(f, all, true);
    for (VarMask m = 0; m < all.size(); m += 1 + rng() % 13) {
      if (static_cast<unsigned>(std::popcount(m)) > n - varnel::kDescentFreeVars) continue;
      const varnel::FormStats direct = varnel::form_stats(f, m);
      ASSERT_EQ(all[m].forms, direct.forms) << "mask=" << m;
      expect_same_float(all[m].entropy, direct.entropy);
    }
  }
}

TEST(RestrictionTable, ShapeFailuresAreCheckedFirst) {
  const FValue f = FValue::zeros(4);
  const char* incompatible =
      "called `Result::unwrap()` on an `Err` value: ShapeError/IncompatibleShape: "
      "incompatible shapes";
  const char* overflow =
      "called `Result::unwrap()` on an `Err` value: ShapeError/Overflow: arithmetic overflow";
  expect_panic([&] { varnel::restriction_table(f, Vars{0, 0}); }, incompatible);
  expect_panic([&] { varnel::restriction_table(f, Vars{5}); }, incompatible);
  expect_panic([&] { varnel::restriction_table(f, Vars{0, 1, 2}); }, overflow);
  expect_panic([&] { varnel::restriction_table(f, Vars(100, 0)); }, overflow);
  const varnel::BitMatrix m = varnel::restriction_table(f, Vars{1, 0});
  EXPECT_EQ(m.rows(), 4u);
  EXPECT_EQ(m.cols(), 1u);
}

TEST(RestrictionCounting, ConcurrentCallsOnOneTableAgree) {
  std::mt19937_64 rng(9);
  const FValue f = plain::pack(structured_table(14, rng));
  std::vector<Vars> lists;
  for (int i = 0; i < 64; ++i) lists.push_back(random_vars(14, rng));
  std::vector<float> expected;
  for (auto& v : lists) expected.push_back(varnel::set_entropy(f, v));
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < 5; ++r) {
        for (std::size_t i = 0; i < lists.size(); ++i) {
          if (plain::float_bits(varnel::set_entropy(f, lists[i])) !=
              plain::float_bits(expected[i])) {
            ++bad[t];
          }
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int b : bad) EXPECT_EQ(b, 0);
}
