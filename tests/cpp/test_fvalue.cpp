#include <gtest/gtest.h>

#include "expect_panic.hpp"

#include <random>

#include "error.hpp"
#include "fvalue.hpp"
#include "plain.hpp"

using varnel::FValue;

TEST(FValue, RejectsLengthsThatAreNotPowersOfTwo) {
  for (std::size_t len : {0, 3, 6, 12, 100}) {
    expect_panic([&] { FValue::from_bytes(plain::Table(len)); }, "Invalid size");
  }
}

TEST(FValue, NVarsAndSize) {
  for (unsigned n = 0; n <= 20; ++n) {
    FValue f = FValue::zeros(std::uint64_t{1} << n);
    EXPECT_EQ(f.n_vars(), n);
    EXPECT_EQ(f.size(), std::uint64_t{1} << n);
    EXPECT_EQ(f.words().size(), varnel::words_for(f.size()));
  }
}

TEST(FValue, PackRoundTripOnRandomTables) {
  std::mt19937_64 rng(1);
  for (int rep = 0; rep < 200; ++rep) {
    const unsigned n = rng() % 13;
    plain::Table t = plain::random_table(n, rng);
    FValue f = plain::pack(t);
    ASSERT_EQ(plain::unpack(f), t);
    ASSERT_EQ(f.to_bytes(), t);
    std::uint64_t ones = 0;
    for (auto e : t) ones += e;
    ASSERT_EQ(f.count_ones(), ones);
  }
}

TEST(FValue, BitsBeyondShortTablesAreCleared) {
  FValue f({~std::uint64_t{0}}, 4);
  EXPECT_EQ(f.words()[0], 0xFu);
  EXPECT_EQ(f.count_ones(), 4u);
  EXPECT_EQ(f, FValue({0xFu}, 4));
}

TEST(FromNumber, ReadsBitsOfTheNumber) {
  EXPECT_EQ(plain::unpack(varnel::from_number(6, 2)), (plain::Table{0, 1, 1, 0}));
  EXPECT_EQ(plain::unpack(varnel::from_number(0, 0)), (plain::Table{0}));
  EXPECT_EQ(plain::unpack(varnel::from_number(1, 0)), (plain::Table{1}));
  EXPECT_EQ(plain::unpack(varnel::from_number(2, 0)), (plain::Table{0}));
  FValue all = varnel::from_number(~std::uint64_t{0}, 7);
  for (std::uint64_t x = 0; x < 128; ++x) EXPECT_EQ(all[x], x < 64) << x;
  FValue one = varnel::from_number(1, 7);
  EXPECT_EQ(one.count_ones(), 1u);
  EXPECT_TRUE(one[0]);
}

TEST(FromNumber, Limits) {
  EXPECT_EQ(varnel::from_number(5, 30).size(), std::uint64_t{1} << 30);
  expect_panic([] { varnel::from_number(1, 31); }, "Invalid size");
  expect_panic([] { varnel::from_number(1, 63); }, "capacity overflow");
  expect_panic([] { varnel::from_number(1, 127); }, "capacity overflow");
  for (std::uint64_t n : {32ull, 40ull, 62ull, 64ull, 100ull, ~0ull - 1}) {
    EXPECT_THROW(varnel::from_number(1, n), varnel::ValueError) << n;
  }
}

TEST(FValue, ZerosOfEverySizeCopyMoveAndCompare) {
  // Small tables live in a vector, large ones (from 2^25 entries, 4 MiB) in
  // freshly mapped pages; both start all false on a cache line and behave as
  // values.
  std::mt19937_64 rng(7);
  for (unsigned n : {0u, 6u, 12u, 24u, 25u, 27u}) {
    FValue f = FValue::zeros(std::uint64_t{1} << n);
    ASSERT_EQ(f.words().size(), varnel::words_for(f.size())) << n;
    EXPECT_EQ(f.count_ones(), 0u) << n;
    auto w = f.mutable_words();
    const std::size_t last = w.size() - 1;
    w[0] |= 1;
    w[last] |= std::uint64_t{1} << 63 >> (n < 6 ? 64 - (1u << n) : 0);
    w[rng() % w.size()] |= std::uint64_t{1} << 1 >> (n == 0 ? 1 : 0);
    const FValue copy = f;
    EXPECT_EQ(copy, f) << n;
    for (const FValue* t : {static_cast<const FValue*>(&f), &copy}) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(t->words().data()) % 64, 0u) << n;
    }
    EXPECT_NE(copy.words().data(), f.words().data());
    FValue moved = std::move(f);
    EXPECT_EQ(moved, copy) << n;
    FValue assigned = FValue::zeros(2);
    assigned = copy;
    EXPECT_EQ(assigned, copy) << n;
    assigned = FValue::zeros(std::uint64_t{1} << n);
    EXPECT_EQ(assigned.count_ones(), 0u) << n;
    EXPECT_FALSE(assigned == copy) << n;
  }
}
