// The chain database generator's building blocks: the canonicaliser and its
// transform against the definition, the chain forms against evaluation, the
// chain moves against the edits they stand for, and the class store.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "canon.hpp"
#include "chain.hpp"
#include "checkpoint.hpp"
#include "class_counts.hpp"
#include "moves.hpp"
#include "npn_orbit_plain.hpp"
#include "state.hpp"

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

// ---- chain moves ----------------------------------------------------------

// The function of a working chain, its gates evaluated from their truth
// tables in an order found by search; false when the gates form a cycle.
bool plain_value(const GChain& c, std::uint32_t* word) {
  const int nodes = 6 + c.n;
  std::vector<int> state(static_cast<std::size_t>(nodes), 0);  // 0 new, 1 open, 2 done
  std::vector<int> order;
  std::function<bool(int)> visit = [&](int v) {
    if (v < 6 || state[v] == 2) return true;
    if (state[v] == 1) return false;
    state[v] = 1;
    if (!visit(c.g[v - 6].a) || !visit(c.g[v - 6].b)) return false;
    state[v] = 2;
    order.push_back(v);
    return true;
  };
  for (int v = 6; v < nodes; ++v)
    if (!visit(v)) return false;
  std::vector<std::uint32_t> val(static_cast<std::size_t>(nodes), 0);
  for (int v = 1; v < 6; ++v)  // node v is variable 5 - v; bit 31 - j holds input j
    for (int j = 0; j < 32; ++j) val[v] |= static_cast<std::uint32_t>(j >> (5 - v) & 1) << (31 - j);
  for (int v : order) {
    const GGate& g = c.g[v - 6];
    std::uint32_t a = val[g.a], b = val[g.b], x = 0;
    for (int ab = 0; ab < 4; ++ab)
      if (g.tt >> ab & 1) x |= (ab & 2 ? a : ~a) & (ab & 1 ? b : ~b);
    val[v] = x;
  }
  std::uint32_t w = val[c.out] ^ (c.outc ? ~0u : 0u);
  *word = w >> 31 ? ~w : w;
  return true;
}

// Gates the output needs.
int live_gates(const GChain& c) {
  std::set<int> seen;
  std::function<void(int)> walk = [&](int v) {
    if (v < 6 || !seen.insert(v).second) return;
    walk(c.g[v - 6].a);
    walk(c.g[v - 6].b);
  };
  walk(c.out);
  return static_cast<int>(seen.size());
}

// A sink that rebuilds every candidate and checks that its chain computes the
// queued word, with the gate count the move promises.
struct CheckingSink {
  Move move;
  int gates;  // of the source chain
  std::vector<std::pair<std::uint32_t, std::uint32_t>> queue;
  std::set<std::uint32_t> words;

  void push(std::uint32_t f, std::uint32_t d) { queue.emplace_back(f >> 31 ? ~f : f, d); }
  bool room(int need) const { return static_cast<int>(queue.size()) + need <= kSinkCapacity; }
  template <class Build>
  void flush(Build&& build) {
    ASSERT_LE(static_cast<int>(queue.size()), kSinkCapacity);
    for (auto [f, d] : queue) {
      GChain c = build(d);
      std::uint32_t w = 0;
      ASSERT_TRUE(plain_value(c, &w)) << "cycle, descriptor " << d;
      ASSERT_EQ(w, f) << "descriptor " << d;
      switch (move) {
        case Move::ExtendAndInsert:
        case Move::ExtendAndInsertAnyPair:
        case Move::InsertAtNode:
          EXPECT_EQ(c.n, gates + 1);
          break;
        case Move::ExtendByTwo:
          EXPECT_EQ(c.n, gates + 2);
          break;
        case Move::Rewire:
          EXPECT_EQ(c.n, gates);
          break;
        case Move::RewireDroppingGate:
        case Move::ReplaceNode:
        case Move::ReplaceCone:
          EXPECT_LT(live_gates(c), gates);
          break;
      }
      words.insert(f);
    }
    queue.clear();
  }
};

// The words of every chain one edit of the given kind away, by building each
// edited chain and evaluating it; edits that close a cycle are no chains.
struct PlainEdits {
  const GChain& c;
  std::set<std::uint32_t> words;

  int nodes() const { return 6 + c.n; }
  void take(const GChain& e) {
    std::uint32_t w;
    if (plain_value(e, &w)) words.insert(w);
  }
  // Every read of node u in gate j reads node t instead.
  static void redirect(GChain& e, int u, int t, int gates) {
    for (int j = 0; j < gates; ++j) {
      if (e.g[j].a == u) e.g[j].a = static_cast<std::uint8_t>(t);
      if (e.g[j].b == u) e.g[j].b = static_cast<std::uint8_t>(t);
    }
  }
  int reads(int u) const {
    int k = 0;
    for (int j = 0; j < c.n; ++j) k += (c.g[j].a == u) + (c.g[j].b == u);
    return k;
  }

  void extension() {
    for (int y = 1; y < c.out; ++y)
      for (unsigned op : kNormal) {
        GChain e = c;
        e.out = static_cast<std::uint8_t>(e.add(c.out, y, op));
        take(e);
      }
  }
  // Operand u of gate i gives way to a new gate over y, z; with y = u unless
  // any_pair.
  void insertion(bool any_pair) {
    for (int i = 0; i < c.n; ++i)
      for (int pos = 0; pos < 2; ++pos) {
        int u = pos ? c.g[i].b : c.g[i].a;
        for (int y = 1; y < nodes(); ++y)
          for (int z = 1; z < nodes(); ++z) {
            if (y == z || (!any_pair && y != u)) continue;
            for (unsigned p : kBoth) {
              GChain e = c;
              int t = e.add(y, z, p);
              (pos ? e.g[i].b : e.g[i].a) = static_cast<std::uint8_t>(t);
              take(e);
            }
          }
      }
  }
  void node_insertion() {
    for (int u = 1; u < c.out; ++u)
      for (int z = 1; z < nodes(); ++z) {
        if (z == u) continue;
        for (unsigned p : kBoth) {
          GChain e = c;
          int t = e.add(u, z, p);
          redirect(e, u, t, c.n);
          take(e);
        }
      }
  }
  void two_gate_extension() {
    for (int y = 1; y < nodes(); ++y)
      for (int z = 1; z < nodes(); ++z)
        for (unsigned p : kBoth)
          for (unsigned q : kNormal) {
            if (y < z) {
              GChain e = c;
              int t = e.add(y, z, p);
              e.out = static_cast<std::uint8_t>(e.add(c.out, t, q));
              take(e);
            }
            if (y < c.out) {
              GChain e = c;
              int t = e.add(c.out, y, p);
              e.out = static_cast<std::uint8_t>(e.add(t, z, q));
              take(e);
            }
          }
  }
  // Gate i reads y in place of operand u (the other operand k stays), with
  // any function of both; when dropping, u is a gate read by gate i alone.
  void rewiring(bool dropping) {
    for (int i = 0; i < c.n; ++i)
      for (int pos = 0; pos < 2; ++pos) {
        int u = pos ? c.g[i].b : c.g[i].a, k = pos ? c.g[i].a : c.g[i].b;
        if (dropping && (u < 6 || reads(u) != 1)) continue;
        for (int y = 1; y < nodes(); ++y) {
          if (y == k || (dropping && y == u)) continue;
          for (unsigned p : kBoth) {
            GChain e = c;
            e.g[i] = GGate{static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(k),
                           static_cast<std::uint8_t>(p)};
            if (!dropping || live_gates(e) < c.n) take(e);
          }
        }
      }
  }
  void node_replacement() {
    for (int u = 6; u < c.out; ++u)
      for (int y = 1; y < nodes(); ++y) {
        if (y == u) continue;
        for (int neg = 0; neg < 2; ++neg) {
          GChain e = c;
          for (int j = 0; j < c.n; ++j) {
            if (e.g[j].a == u)
              e.g[j] = GGate{static_cast<std::uint8_t>(y), e.g[j].b,
                             static_cast<std::uint8_t>(neg ? tt_neg_a(e.g[j].tt) : e.g[j].tt)};
            if (e.g[j].b == u)
              e.g[j] = GGate{e.g[j].a, static_cast<std::uint8_t>(y),
                             static_cast<std::uint8_t>(neg ? tt_neg_b(e.g[j].tt) : e.g[j].tt)};
          }
          take(e);
        }
      }
  }
  // The gates whose every path to the output runs through u, u included.
  std::set<int> cone(int u) const {
    std::set<int> in;
    for (int v = 6; v <= u; ++v) {
      std::function<bool(int)> reaches_out = [&](int x) {  // avoiding u
        if (x == u) return false;
        if (x == c.out) return true;
        for (int j = x - 5; j < c.n; ++j)
          if ((c.g[j].a == x || c.g[j].b == x) && reaches_out(6 + j)) return true;
        return false;
      };
      if (v == u || !reaches_out(v)) in.insert(v);
    }
    // Only gates u needs.
    std::set<int> needed;
    std::function<void(int)> walk = [&](int x) {
      if (x < 6 || !needed.insert(x).second) return;
      walk(c.g[x - 6].a);
      walk(c.g[x - 6].b);
    };
    walk(u);
    std::set<int> out;
    for (int v : in)
      if (needed.count(v)) out.insert(v);
    return out;
  }
  void cone_replacement() {
    for (int u = 6; u < c.out; ++u) {
      std::set<int> m = cone(u);
      if (m.size() < 2) continue;
      for (int y = 1; y < nodes(); ++y)
        for (int z = y + 1; z < nodes(); ++z) {
          if (m.count(y) || m.count(z)) continue;
          for (unsigned p : kBoth) {
            GChain e = c;
            int t = e.add(y, z, p);
            redirect(e, u, t, c.n);
            take(e);
          }
        }
    }
  }
};

std::set<std::uint32_t> plain_words(const GChain& c, Move m) {
  PlainEdits p{c, {}};
  switch (m) {
    case Move::ExtendAndInsert:
      p.extension();
      p.insertion(false);
      break;
    case Move::ExtendAndInsertAnyPair:
      p.extension();
      p.insertion(true);
      break;
    case Move::InsertAtNode:
      p.node_insertion();
      break;
    case Move::ExtendByTwo:
      p.two_gate_extension();
      break;
    case Move::Rewire:
      p.rewiring(false);
      break;
    case Move::RewireDroppingGate:
      p.rewiring(true);
      break;
    case Move::ReplaceNode:
      p.node_replacement();
      break;
    case Move::ReplaceCone:
      p.cone_replacement();
      break;
  }
  return p.words;
}

// Records of random chains of 2..max_gates gates (normal gates, no dead one).
std::vector<Rec> random_records(unsigned seed, int count, int max_gates) {
  std::mt19937_64 rng(seed);
  std::vector<Rec> out;
  while (static_cast<int>(out.size()) < count) {
    GChain c = random_chain(rng, 2 + static_cast<int>(rng() % (max_gates - 1)));
    Rec rec;
    std::uint32_t v;
    int len;
    if (finish(c, rec, &v, &len) && len >= 2) out.push_back(rec);
  }
  return out;
}

class ChaingenMoves : public testing::TestWithParam<Move> {};

// Every candidate of a move is the function of the chain its descriptor
// rebuilds, and the candidates are exactly the functions of the edits the
// move stands for.
TEST_P(ChaingenMoves, CandidatesAreTheEditedChains) {
  const Move m = GetParam();
  const int max_gates = m == Move::ExtendByTwo ? 7 : 9;
  std::size_t found = 0;
  for (const Rec& rec : random_records(11 + static_cast<unsigned>(m), 40, max_gates)) {
    GChain c = rec_chain(rec);
    CheckingSink sink{m, c.n, {}, {}};
    apply_move(sink, rec, m);
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    ASSERT_TRUE(sink.queue.empty()) << "candidates left unflushed";
    EXPECT_EQ(sink.words, plain_words(c, m)) << "chain of " << c.n << " gates";
    found += sink.words.size();
  }
  EXPECT_GT(found, 200u);  // the moves do propose something
}

std::string move_name(const testing::TestParamInfo<Move>& info) {
  static const char* const names[] = {
      "ExtendAndInsert", "ExtendAndInsertAnyPair", "InsertAtNode", "ExtendByTwo",
      "Rewire",          "RewireDroppingGate",     "ReplaceNode",  "ReplaceCone"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(AllMoves, ChaingenMoves,
                         testing::Values(Move::ExtendAndInsert, Move::ExtendAndInsertAnyPair,
                                         Move::InsertAtNode, Move::ExtendByTwo, Move::Rewire,
                                         Move::RewireDroppingGate, Move::ReplaceNode,
                                         Move::ReplaceCone),
                         move_name);

// ---- the class store --------------------------------------------------------

// A record of c rewritten for the representative of its function's class.
std::pair<std::uint32_t, Rec> class_record(const GChain& c) {
  std::uint32_t v[kMaxNodes];
  c.eval(v);
  Xform xf;
  std::uint32_t rep = canon().canon(v[c.out], xf);
  Rec rec;
  std::uint32_t val = 0;
  int len = 0;
  EXPECT_TRUE(finish(c.transformed(xf), rec, &val, &len));
  EXPECT_EQ(val, rep);
  return {rep, rec};
}

// Three chains of x4 XOR x3 (nodes 1 and 2): one gate, and two of three.
GChain xor_chain(int variant) {
  GChain c;
  if (variant == 0) {
    c.out = static_cast<std::uint8_t>(c.add(1, 2, 6));
  } else if (variant == 1) {  // (a OR b) AND NOT (a AND b)
    int t = c.add(1, 2, 14), u = c.add(1, 2, 8);
    c.out = static_cast<std::uint8_t>(c.add(t, u, 4));
  } else {  // (a AND NOT b) OR (NOT a AND b)
    int t = c.add(1, 2, 4), u = c.add(1, 2, 2);
    c.out = static_cast<std::uint8_t>(c.add(t, u, 14));
  }
  return c;
}

TEST(ChaingenState, MergeStoresClosesAndMovesDown) {
  State st(canon());
  st.keep = 2;
  st.cur_level = 3;
  auto [rep, one] = class_record(xor_chain(0));
  auto [rep_a, three_a] = class_record(xor_chain(1));
  auto [rep_b, three_b] = class_record(xor_chain(2));
  ASSERT_EQ(rep_a, rep);
  ASSERT_EQ(rep_b, rep);
  ASSERT_NE(three_a, three_b);

  PhaseStats ps;
  st.merge(rep, three_a, ps);  // a new class, placed at its chain's length
  EXPECT_EQ(ps.newc, 1u);
  ASSERT_EQ(st.level[3].size(), 1u);
  const std::uint32_t id = st.level[3][0];
  EXPECT_EQ(st.rep2id.at(rep), id);
  st.merge(rep, three_a, ps);  // the same chain again adds nothing
  EXPECT_EQ(ps.added, 1u);
  EXPECT_FALSE(st.done.test(rep));
  st.merge(rep, three_b, ps);  // a second chain fills the class: its orbit is finished
  EXPECT_EQ(ps.added, 2u);
  EXPECT_TRUE(st.classes[id].full);
  EXPECT_TRUE(st.done.test(rep));
  EXPECT_TRUE(st.done.test(0x0000FFFFu ^ 0x55555555u));  // x4 XOR x0, the same class
  EXPECT_FALSE(st.done.test(0x0000FFFFu & 0x55555555u));
  st.merge(rep, one, ps);  // a shorter chain moves the class down
  EXPECT_EQ(ps.improved, 1u);
  EXPECT_TRUE(st.level[3].empty());
  EXPECT_EQ(st.level[1], std::vector<std::uint32_t>{id});
  EXPECT_EQ(st.classes[id].level, 1);
  EXPECT_EQ(st.classes[id].chains, std::vector<Rec>{one});
  EXPECT_FALSE(st.level_exact(1));  // one class of cost 1 out of two

  // Reopening: only the classes that stay closed keep their words marked.
  st.reopen_classes([](const Class&) { return false; });
  EXPECT_FALSE(st.done.test(rep));
  st.close_all();
  EXPECT_TRUE(st.done.test(rep));
  st.unmark_orbit(st.classes[id]);
  EXPECT_FALSE(st.done.test(0x0000FFFFu ^ 0x55555555u));
}

TEST(ChaingenState, CheckpointRoundTrip) {
  std::string dir = testing::TempDir() + "chaingen_checkpoint_" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  std::vector<std::pair<std::uint32_t, Rec>> saved;
  {
    State st(canon());
    st.keep = 64;
    st.add_class(0u, 0);
    st.add_class(0x0000FFFFu, 0);
    PhaseStats ps;
    for (const Rec& rec : random_records(21, 300, 8)) {
      auto [rep, r] = class_record(rec_chain(rec));
      st.merge(rep, r, ps);
    }
    ASSERT_GT(st.classes.size(), 20u);
    save_state(st, dir, 7);
    for (const Class& c : st.classes)
      for (const Rec& r : c.chains) saved.emplace_back(c.rep, r);
    State back(canon());
    ASSERT_EQ(load_state(back, dir, 7), 7);
    ASSERT_EQ(back.classes.size(), st.classes.size());
    for (std::size_t i = 0; i < st.classes.size(); ++i) {
      EXPECT_EQ(back.classes[i].rep, st.classes[i].rep);
      EXPECT_EQ(back.classes[i].level, st.classes[i].level);
      EXPECT_EQ(back.classes[i].chains, st.classes[i].chains);
      EXPECT_EQ(back.rep2id.at(st.classes[i].rep), i);
    }
    // A reloaded level lists its classes by id (a class moved down by a
    // shorter chain comes last in the live list).
    for (int l = 0; l <= kMaxLevel; ++l) {
      auto live = st.level[l];
      std::sort(live.begin(), live.end());
      EXPECT_EQ(back.level[l], live) << "level " << l;
    }
  }
  // The latest checkpoint, and the chains it holds are known: none is
  // stored again.
  State back(canon());
  back.keep = 64;
  ASSERT_EQ(load_state(back, dir, -1), 7);
  PhaseStats ps;
  for (auto& [rep, r] : saved) back.merge(rep, r, ps);
  EXPECT_EQ(ps.added + ps.newc + ps.improved, 0u);
  EXPECT_EQ(load_state(back, dir + "/missing", -1), -1);
  for (const char* f : {"/state-7.bin", "/state.bin"}) std::remove((dir + f).c_str());
  ::rmdir(dir.c_str());
}

}  // namespace
