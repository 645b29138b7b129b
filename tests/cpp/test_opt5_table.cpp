// The canonisation table: representatives, shortest move paths, tableau and
// stabiliser walks, each against an independent computation.
#include <gtest/gtest.h>

#include <map>
#include <queue>
#include <set>
#include <vector>

#include "npn_plain.hpp"
#include "opt5/chain.hpp"
#include "opt5/npn.hpp"
#include "opt5_helpers.hpp"

using opt5_test::table;

namespace {

std::vector<std::uint16_t> representatives() {
  std::vector<std::uint16_t> reps;
  for (std::uint32_t i = 0; i < opt5::kNormalWords4; ++i)
    if (table().representative[i] == i) reps.push_back(static_cast<std::uint16_t>(i));
  return reps;
}

// Number of four-input transforms whose normalised image of v is v.
unsigned brute_stabiliser(std::uint16_t v) {
  unsigned n = 0;
  for (const auto& map : plain::permutation_maps(4)) {
    std::uint32_t g = 0;
    for (unsigned x = 0; x < 16; ++x)
      if ((v >> (15 - map[x])) & 1u) g |= 1u << (15 - x);
    for (unsigned i = 0; i < 16; ++i) {
      if (i != 0) g = plain::flip_positions(g, 1u << __builtin_ctz(i)) & 0xFFFFu;
      n += ((g & 0x8000u) ? (~g & 0xFFFFu) : g) == v;
    }
  }
  return n;
}

}  // namespace

TEST(CanonisationTable, RepresentativeRegionIsTheFourInputCanonicalForm) {
  for (std::uint32_t i = 0; i < opt5::kNormalWords4; ++i) {
    opt5::transform t;
    ASSERT_EQ(table().representative[i], opt5::canonise_circuit_4(static_cast<std::uint16_t>(i), t))
        << i;
  }
  const auto reps = representatives();
  EXPECT_EQ(reps.size(), 222u);
  EXPECT_EQ(reps.back(), 0x6996u);
  std::set<unsigned> residues;
  for (auto v : reps) residues.insert(v % 1984);
  EXPECT_EQ(residues.size(), 222u);
}

TEST(CanonisationTable, MoveRegionFollowsShortestPaths) {
  // Independent distances: breadth-first search from the representatives over
  // the moves that keep a word normal (every move is its own inverse).
  std::vector<int> dist(opt5::kNormalWords4, -1);
  std::queue<std::uint32_t> queue;
  for (auto v : representatives()) dist[v] = 0, queue.push(v);
  while (!queue.empty()) {
    const std::uint32_t a = queue.front();
    queue.pop();
    for (int m = 1; m <= 14; ++m) {
      const std::uint32_t w = opt5::apply_move(a << 16, m);
      if ((w >> 31) || dist[w >> 16] >= 0) continue;
      dist[w >> 16] = dist[a] + 1;
      queue.push(w >> 16);
    }
  }
  std::map<int, int> histogram;
  for (std::uint32_t i = 0; i < opt5::kNormalWords4; ++i) {
    std::uint32_t w = i << 16;
    int steps = 0;
    for (int m; (m = table().move[w >> 16]) != 0; ++steps) {
      ASSERT_LE(m, 14);
      w = opt5::apply_move(w, m);
      ASSERT_EQ(w >> 31, 0u) << i;
      ASSERT_LE(steps, 7);
    }
    ASSERT_EQ(w >> 16, table().representative[i]) << i;
    ASSERT_EQ(steps, dist[i]) << i;
    // The packed path: the same moves, odd ones as their even partners with
    // the output complements gathered in bit 31.
    const std::uint32_t path = table().path[i];
    std::uint32_t v = i << 16;
    for (std::uint32_t p = path & 0x0FFFFFFFu; p != 0; p >>= 4) {
      ASSERT_EQ((p & 15) >= 7 && (p & 1), false) << i;
      v = opt5::apply_move(v, p & 15);
    }
    if (path >> 31) v = ~v;
    ASSERT_EQ(v, w) << i;
    ASSERT_LT(path & 0x0FFFFFFFu, 1u << (4 * steps)) << i;
    ++histogram[steps];
  }
  const std::map<int, int> expected = {{0, 222},  {1, 1834}, {2, 5940}, {3, 9789},
                                       {4, 8934}, {5, 4617}, {6, 1283}, {7, 149}};
  EXPECT_EQ(histogram, expected);
}

TEST(CanonisationTable, Tableau) {
  const std::uint16_t* tab = table().tableau;
  const std::vector<std::uint16_t> expected = {
      0, 0,      0, 0,      0,      0,      0,      0,       // no input complemented
      0, 0x8000, 0, 0x8000, 0x0002, 0x8002, 0x0002, 0x8002,  // A complemented
  };
  const std::vector<std::uint16_t> expected_b = {
      0, 0,      0x8000, 0x8000, 0x0001, 0x0001, 0x8001, 0x8001,  // B complemented
      0, 0x8000, 0x8000, 0,      0x8003, 0x0003, 0x0003, 0x8003,  // both
  };
  EXPECT_EQ(std::vector<std::uint16_t>(tab, tab + 16), expected);
  EXPECT_EQ(std::vector<std::uint16_t>(tab + 512, tab + 528), expected_b);
  // Each entry makes the gate compute the same function on uncomplemented inputs.
  for (unsigned op = 0; op < 8; ++op)
    for (unsigned na = 0; na < 2; ++na)
      for (unsigned nb = 0; nb < 2; ++nb) {
        const unsigned g = op | (na << 3) | (nb << 9);
        const unsigned h = g ^ tab[g & 0x20F];
        for (unsigned a = 0; a < 2; ++a)
          for (unsigned b = 0; b < 2; ++b)
            EXPECT_EQ(opt5::eval_op(op, a ^ na, b ^ nb) & 1u,
                      (opt5::eval_op(h & 7u, a, b) ^ (h >> 15)) & 1u)
                << "op " << op << " na " << na << " nb " << nb;
      }
}

TEST(CanonisationTable, StabiliserSizes) {
  std::map<unsigned, int> histogram;
  for (auto v : representatives()) {
    const unsigned size = opt5::stabiliser_size(table(), v);
    ASSERT_EQ(size, brute_stabiliser(v)) << v;
    ++histogram[size];
  }
  const std::map<unsigned, int> expected = {{1, 24},  {2, 90}, {4, 38},  {6, 17}, {8, 18},
                                            {12, 10}, {16, 5}, {24, 11}, {32, 2}, {48, 2},
                                            {64, 1},  {96, 2}, {384, 2}};
  EXPECT_EQ(histogram, expected);
  EXPECT_EQ(opt5::stabiliser_size(table(), 0x0002), 0u);  // not a representative
  EXPECT_EQ(opt5::stabiliser_size(table(), 0x0000), 384u);
  EXPECT_EQ(opt5::stabiliser_size(table(), 0x6996), 384u);
  EXPECT_EQ(opt5::stabiliser_size(table(), 0x00FF), 96u);
  EXPECT_EQ(opt5::stabiliser_size(table(), 0x1BD8), 32u);
}

TEST(CanonisationTable, WalksPassEveryStabiliserElement) {
  // A lower half that no transform other than the identity maps to itself or
  // its complement, so distinct stabiliser elements give distinct words.
  std::uint32_t free_half = 0;
  for (auto v : representatives())
    if (brute_stabiliser(v) == 1) {
      free_half = v;
      break;
    }
  ASSERT_NE(free_half, 0u);
  std::size_t total = 0;
  for (auto v : representatives()) {
    const auto walk = opt5::stabiliser_walk(table(), v);
    total += walk.size();
    // Follow the walk from v in the upper half, normalising after each move
    // as the canonicaliser does.
    const std::uint32_t start = (std::uint32_t{v} << 16) | free_half;
    std::uint32_t w = start;
    opt5::transform t = opt5::transform::identity();
    std::set<std::uint32_t> seen = {w};
    for (std::uint8_t m : walk) {
      ASSERT_GE(m, 1);
      ASSERT_LE(m, 14);
      w = opt5::apply_move(w, m);
      opt5::apply_move(t, m);
      if (w >> 31) w = ~w, t[0] ^= 1;
      ASSERT_TRUE(plain::transform_holds(start, w, opt5_test::to_plain(t)));
      if ((w >> 16) == v) seen.insert(w);
    }
    EXPECT_EQ(seen.size(), opt5::stabiliser_size(table(), v)) << v;
  }
  EXPECT_LE(total, opt5::kWalkCapacity);
}
