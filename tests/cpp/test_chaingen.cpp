// The chain database generator's building blocks: the canonicaliser and its
// transform against the definition, and the chain forms against evaluation.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "canon.hpp"
#include "chain.hpp"
#include "npn_orbit_plain.hpp"

using namespace chaingen;

namespace {

const Canon& canon() {
  static const Canon c;
  return c;
}
const std::vector<std::array<int, 32>>& transforms() {
  static const auto t = npn_orbit_plain::all_transforms();
  return t;
}

// Random words of varied density, plus words with symmetric or degenerate
// cofactors, where the stabiliser search does the work.
std::vector<std::uint32_t> sample_words(unsigned seed, int n) {
  std::mt19937_64 rng(seed);
  std::vector<std::uint32_t> out = {0u,          0xFFFFFFFFu, 0x0000FFFFu,
                                    0x55555555u, 0x69969669u, 0x96696996u,
                                    0x00000001u, 0x7FFFFFFFu, 0x00FF00FFu ^ 0x0F0F0F0Fu,
                                    0x0000F00Fu};
  while (static_cast<int>(out.size()) < n) {
    std::uint32_t w = static_cast<std::uint32_t>(rng());
    switch (out.size() % 4) {
      case 1:
        w &= static_cast<std::uint32_t>(rng());
        break;
      case 2:
        w &= static_cast<std::uint32_t>(rng() & rng());
        break;
      case 3:
        w = (w & 0xFFFF) * 0x10001u;
        break;  // equal halves
      default:
        break;
    }
    out.push_back(w);
  }
  return out;
}

TEST(ChaingenCanon, MatchesDefinitionWithTransform) {
  for (std::uint32_t w : sample_words(1, 400)) {
    std::uint32_t want = npn_orbit_plain::representative(w, transforms());
    Xform xf;
    ASSERT_EQ(canon().canon(w), want) << std::hex << w;
    ASSERT_EQ(canon().canon(w, xf), want) << std::hex << w;
    EXPECT_EQ(xf.apply(w), want) << std::hex << w;
    EXPECT_EQ(xf.inverse().apply(want), w) << std::hex << w;
  }
}

TEST(ChaingenCanon, InvariantOnTheClass) {
  std::mt19937_64 rng(2);
  for (std::uint32_t w : sample_words(3, 200)) {
    std::uint32_t r = canon().canon(w);
    const auto& m = transforms()[rng() % transforms().size()];
    std::uint32_t y = npn_orbit_plain::apply(w, m);
    EXPECT_EQ(canon().canon(y), r);
    EXPECT_EQ(canon().canon(~y), r);
    EXPECT_EQ(canon().canon(r), r);
  }
}

TEST(ChaingenCanon, KnownRepresentatives) {
  Xform xf;
  EXPECT_EQ(canon().canon(0x55555555u, xf), 0x0000FFFFu);
  EXPECT_EQ(canon().canon(0x0000FFFFu), 0x0000FFFFu);
  EXPECT_EQ(canon().canon(0u), 0u);
  EXPECT_EQ(canon().canon(0x69969669u), 0x69969669u);
  EXPECT_EQ(canon().canon(0x96696996u), 0x69969669u);
  EXPECT_EQ(canon().num_rep4(), 222);
}

TEST(ChaingenCanon, OrbitIsTheClass) {
  for (std::uint32_t w : sample_words(4, 60)) {
    std::set<std::uint32_t> got;
    canon().orbit(w, [&](std::uint32_t x) { got.insert(x); });
    auto want = npn_orbit_plain::orbit(w, transforms());
    EXPECT_EQ(std::vector<std::uint32_t>(got.begin(), got.end()), want) << std::hex << w;
  }
}

TEST(ChaingenCanon, TransformComposition) {
  std::mt19937_64 rng(5);
  for (std::uint32_t w : sample_words(6, 100)) {
    Xform a, b;
    canon().canon(w, a);
    canon().canon(static_cast<std::uint32_t>(rng()), b);
    EXPECT_EQ(a.then(b).apply(w), b.apply(a.apply(w)));
    EXPECT_EQ(a.then(a.inverse()).apply(w), w);
  }
}

// A random working chain with arbitrary gates (complements, degenerate and
// repeated gates included).
GChain random_chain(std::mt19937_64& rng, int n) {
  GChain c;
  for (int i = 0; i < n; ++i) {
    int lim = 6 + c.n;
    c.add(static_cast<int>(1 + rng() % (lim - 1)), static_cast<int>(1 + rng() % (lim - 1)),
          static_cast<unsigned>(rng() % 16));
  }
  c.out = static_cast<std::uint8_t>(5 + n);
  c.outc = static_cast<std::uint8_t>(rng() & 1);
  return c;
}

TEST(ChaingenChain, FinishKeepsTheFunction) {
  std::mt19937_64 rng(7);
  int finished = 0;
  for (int it = 0; it < 20000; ++it) {
    GChain c = random_chain(rng, 1 + static_cast<int>(rng() % 16));
    std::uint32_t v[kMaxNodes];
    c.eval(v);
    std::uint32_t f = v[c.out] ^ (c.outc ? ~0u : 0u);
    std::uint32_t normal = f >> 31 ? ~f : f;
    Rec rec;
    std::uint32_t val = 0, val2 = 0;
    int len = 0, len2 = 0;
    if (!finish(c, rec, &val, &len)) {
      // Only trivial functions or too long chains are refused.
      bool trivial = normal == 0;
      for (int i = 1; i <= 5; ++i) trivial |= normal == kNode[i];
      EXPECT_TRUE(trivial || c.n > 12);
      continue;
    }
    ++finished;
    EXPECT_EQ(val, normal);
    EXPECT_LE(len, c.n);
    ASSERT_TRUE(rec_eval(rec, &val2, &len2));
    EXPECT_EQ(val2, normal);
    EXPECT_EQ(len2, len);
    EXPECT_EQ(rec_len(rec), len);
    EXPECT_EQ(rec[15], 0);
    // Back to the working form and through a transform.
    Xform xf;
    canon().canon(static_cast<std::uint32_t>(rng()), xf);
    GChain t = rec_chain(rec).transformed(xf);
    Rec rec2;
    ASSERT_TRUE(finish(t, rec2, &val2, &len2));
    std::uint32_t want = xf.apply(normal);
    EXPECT_EQ(val2, want >> 31 ? ~want : want);
  }
  EXPECT_GT(finished, 5000);
}

TEST(ChaingenChain, RecordFields) {
  Rec r{};
  for (int k = 0; k < 12; ++k) rec_set_field(r, k, static_cast<unsigned>(0x3FF - 37 * k));
  for (int k = 0; k < 12; ++k) EXPECT_EQ(rec_field(r, k), static_cast<unsigned>(0x3FF - 37 * k));
  EXPECT_EQ(rec_len(r), 12);
  // A field naming its own node is a forward reference.
  Rec f{};
  rec_set_field(f, 0, 0x3u << 8 | 5u | 0u << 4);  // gate 0 reads node 6 = itself
  std::uint32_t v;
  int len;
  EXPECT_FALSE(rec_eval(f, &v, &len));
  // A zero field followed by a nonzero one is malformed.
  Rec g{};
  rec_set_field(g, 1, 0x010);
  EXPECT_FALSE(rec_eval(g, &v, &len));
  // Node 1 AND node 2 is 0x000000FF.
  Rec h{};
  rec_set_field(h, 0, 0x010);
  ASSERT_TRUE(rec_eval(h, &v, &len));
  EXPECT_EQ(v, 0x000000FFu);
  EXPECT_EQ(len, 1);
}

}  // namespace
