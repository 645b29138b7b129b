// Test helper: runs a check on the corpus of test functions of each number of
// variables in a list or a range.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "families_plain.hpp"
#include "fvalue.hpp"
#include "plain.hpp"

/// Calls check(n, c, f) for every case c of plain::corpus(n, rng, randoms),
/// for each n of `sizes` in turn, with f the packed table and the case's name
/// as the trace of any failure; all cases come from one generator seeded with
/// `seed`, drawn in that order. A fatal failure ends the sweep, as it ends a
/// test.
inline void sweep_corpus(std::uint64_t seed, const std::vector<unsigned>& sizes, int randoms,
                         auto&& check) {
  std::mt19937_64 rng(seed);
  for (const unsigned n : sizes) {
    for (const plain::Case& c : plain::corpus(n, rng, randoms)) {
      SCOPED_TRACE(c.name);
      const varnel::FValue f = plain::pack(c.table);
      check(n, c, f);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

/// The same for every n from `low` to `high`.
inline void sweep_corpus(std::uint64_t seed, unsigned low, unsigned high, int randoms,
                         auto&& check) {
  std::vector<unsigned> sizes;
  for (unsigned n = low; n <= high; ++n) sizes.push_back(n);
  sweep_corpus(seed, sizes, randoms, check);
}
