// NPN canonicalisation against the brute-force definition.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "npn_plain.hpp"
#include "opt5/npn.hpp"
#include "opt5_helpers.hpp"

using opt5_test::table;
using opt5_test::to_plain;

namespace {

// Checks the fast representative of a normal word (with and without the
// transform) against the brute-force minimum, its transform against the
// definition, and that it is a fixed point.
void check_canonical(std::uint32_t f) {
  opt5::transform t;
  const std::uint32_t r = opt5::canonise_circuit_fast(f, t, table());
  ASSERT_EQ(r, plain::npn_brute(f, 5)) << std::hex << "f = 0x" << f;
  ASSERT_EQ(opt5::get_representant(f, table()), r) << std::hex << "f = 0x" << f;
  ASSERT_EQ(opt5::get_representant(~f, table()), r) << std::hex << "f = 0x" << f;
  ASSERT_TRUE(plain::transform_holds(f, r, to_plain(t))) << std::hex << "f = 0x" << f;
  opt5::transform again;
  ASSERT_EQ(opt5::canonise_circuit_fast(r, again, table()), r) << std::hex << "r = 0x" << r;
}

}  // namespace

TEST(Npn, RandomWordsMatchBruteForce) {
  std::mt19937_64 rng(0x5eed0001);
  for (int i = 0; i < 100000; ++i) {
    const auto f = static_cast<std::uint32_t>(rng()) & 0x7FFFFFFFu;
    check_canonical(f);
    if (HasFatalFailure()) return;
  }
  // Sparse and dense words reach small classes and symmetric halves more often.
  for (int i = 0; i < 20000; ++i) {
    std::uint32_t f = static_cast<std::uint32_t>(rng() & rng() & rng());
    if (i & 1) f = ~f;
    check_canonical(f & 0x80000000u ? ~f : f);
    if (HasFatalFailure()) return;
  }
}

TEST(Npn, SpecialWordsMatchBruteForce) {
  for (std::uint32_t f : opt5_test::special_words()) {
    check_canonical(f & 0x80000000u ? ~f : f);
    if (HasFatalFailure()) return;
  }
}

TEST(Npn, TheBenchmarkWalkIsTheBruteForceMinimum) {
  std::mt19937_64 rng(0x5eed0007);
  for (int i = 0; i < 3000; ++i) {
    const auto f = static_cast<std::uint32_t>(rng());
    ASSERT_EQ(plain::npn_walk(f), plain::npn_brute(f, 5)) << f;
  }
}

TEST(Npn, ResultDependsOnlyOnTheClass) {
  std::mt19937_64 rng(0x5eed0003);
  for (int i = 0; i < 100000; ++i) {
    const auto f = static_cast<std::uint32_t>(rng());
    const std::uint32_t g = plain::apply_transform(f, opt5_test::random_transform(rng));
    ASSERT_EQ(opt5::get_representant(f, table()), opt5::get_representant(g, table()))
        << std::hex << f << " " << g;
  }
}

TEST(Npn, FixedWordsKeepTheIdentity) {
  for (std::uint32_t f : {0u, 0x69969669u}) {
    opt5::transform t{{1, -2, 3, 4, 5, 1}};
    EXPECT_EQ(opt5::canonise_circuit_fast(f, t, table()), f);
    EXPECT_EQ(t, opt5::transform::identity());
  }
}

TEST(Npn, SingleVariables) {
  opt5::transform t;
  EXPECT_EQ(opt5::canonise_circuit_fast(0x0000FFFFu, t, table()), 0x0000FFFFu);
  EXPECT_EQ(opt5::canonise_circuit_fast(0x55555555u, t, table()), 0x0000FFFFu);
  EXPECT_EQ(t[1], 5);
  EXPECT_TRUE(plain::transform_holds(0x55555555u, 0x0000FFFFu, to_plain(t)));
}

TEST(Npn, ConstantHalfIsSettledByTheFirstCandidate) {
  // Upper half constant false: representative 0 of that half; the other half
  // still has to reach its least form over all 384 transforms.
  std::mt19937_64 rng(0x5eed0005);
  for (int i = 0; i < 2000; ++i) {
    const auto lo = static_cast<std::uint32_t>(rng() & 0xFFFF);
    check_canonical(lo);
    if (HasFatalFailure()) return;
  }
}

TEST(Npn, MovesAgreeWithTheirTransformEffect) {
  std::mt19937_64 rng(0x5eed0006);
  for (int move = -1; move <= 16; ++move) {
    for (int i = 0; i < 200; ++i) {
      const auto w = static_cast<std::uint32_t>(rng());
      const std::uint32_t moved = opt5::apply_move(w, move);
      opt5::transform t = opt5::transform::identity();
      opt5::apply_move(t, move);
      ASSERT_TRUE(plain::transform_holds(w, moved, to_plain(t))) << "move " << move;
      if (move <= 0 || move > 14) {
        ASSERT_EQ(moved, w);
      }
    }
  }
}

TEST(Npn, FourInputCanonicalFormMatchesBruteForce) {
  std::set<std::uint32_t> classes;
  for (std::uint32_t f = 0; f < 65536; ++f) {
    opt5::transform t;
    const std::uint16_t r = opt5::canonise_circuit_4(static_cast<std::uint16_t>(f), t);
    ASSERT_EQ(r, plain::npn_brute(f, 4)) << f;
    classes.insert(r);
    // As five-input words that ignore variable 4, the transform must hold
    // with node 1 fixed.
    ASSERT_EQ(t[1], 1);
    ASSERT_TRUE(plain::transform_holds((f << 16) | f, (std::uint32_t{r} << 16) | r, to_plain(t)))
        << f;
  }
  EXPECT_EQ(classes.size(), 222u);
  EXPECT_EQ(*classes.rbegin(), 0x6996u);
}
