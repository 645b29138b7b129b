// The truth-table side of the optimal-circuit library: packing into the
// library word, unpacking of representatives, and the two operations on the
// embedded database when the build has one.
#include <gtest/gtest.h>

#include <random>

#include "error.hpp"
#include "npn_plain.hpp"
#include "optimal5.hpp"
#include "plain.hpp"

namespace {

varnel::FValue table_of_word(std::uint32_t w) {
  // Entry i is the value at input i, bit 31 - i of a library word.
  plain::Table t(32);
  for (unsigned i = 0; i < 32; ++i) t[i] = plain::at(w, i);
  return plain::pack(t);
}

}  // namespace

TEST(Optimal5, PackingPutsEntryIAtBit31MinusI) {
  std::mt19937_64 rng(0x0b75);
  for (int i = 0; i < 2000; ++i) {
    const plain::Table t = plain::random_table(5, rng);
    std::uint32_t expected = 0;
    for (unsigned x = 0; x < 32; ++x) expected |= std::uint32_t{t[x]} << (31 - x);
    ASSERT_EQ(varnel::pack_library_word(plain::pack(t)), expected);
  }
  // Variable k of the table is variable k of the word: x0 is 0x55555555 in
  // the library and 0xAAAAAAAA as table bits.
  EXPECT_EQ(varnel::pack_library_word(varnel::from_number(0xAAAAAAAA, 5)), 0x55555555u);
}

TEST(Optimal5, UnpackingPutsBitIAtEntryI) {
  std::mt19937_64 rng(0x0b76);
  for (int i = 0; i < 2000; ++i) {
    const auto w = static_cast<std::uint32_t>(rng());
    const plain::Table t = plain::unpack(varnel::unpack_library_word(w));
    ASSERT_EQ(t.size(), 32u);
    for (unsigned x = 0; x < 32; ++x) ASSERT_EQ(t[x], (w >> x) & 1u);
  }
}

TEST(Optimal5, WithoutDatabaseTheOperationsFail) {
  if (varnel::has_chain_database()) GTEST_SKIP() << "built with opt5/chains.bin";
  EXPECT_THROW(varnel::minimal_gates(table_of_word(0x11111111)), varnel::Panic);
  EXPECT_THROW(varnel::npn_representant(varnel::from_number(0, 4)), varnel::Panic);
}

TEST(Optimal5, EmbeddedDatabase) {
  if (!varnel::has_chain_database()) GTEST_SKIP() << "built without opt5/chains.bin";
  // Other sizes give none (the first call builds the database all the same).
  EXPECT_EQ(varnel::minimal_gates(varnel::from_number(0, 4)), std::nullopt);
  EXPECT_EQ(varnel::npn_representant(varnel::from_number(0, 6)), std::nullopt);
  EXPECT_EQ(varnel::minimal_gates(varnel::from_number(1, 0)), std::nullopt);
  EXPECT_EQ(varnel::minimal_gates(table_of_word(0)), 0u);
  EXPECT_EQ(varnel::minimal_gates(table_of_word(~0u)), 0u);
  EXPECT_EQ(varnel::npn_representant(table_of_word(~0u)), 0u);
  EXPECT_EQ(varnel::minimal_gates(table_of_word(0x55555555)), 0u);
  EXPECT_EQ(varnel::npn_representant(table_of_word(0x55555555)), 0x0000FFFFu);
  EXPECT_EQ(varnel::minimal_gates(table_of_word(0x11111111)), 1u);
  EXPECT_EQ(varnel::npn_representant(table_of_word(0x11111111)), 0x000000FFu);
  EXPECT_EQ(varnel::minimal_gates(table_of_word(0x66666666)), 1u);
  EXPECT_EQ(varnel::npn_representant(table_of_word(0x66666666)), 0x00FFFF00u);
  std::mt19937_64 rng(0x0b77);
  for (int i = 0; i < 1000; ++i) {
    const auto w = static_cast<std::uint32_t>(rng());
    ASSERT_EQ(varnel::npn_representant(table_of_word(w)),
              plain::npn_brute(w & 0x80000000u ? ~w : w, 5));
  }
}
