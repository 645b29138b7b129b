// Chain-local moves: each takes one stored chain and proposes the functions
// of the chains one edit away, queued into a sink (push, room, flush) with a
// descriptor from which the edited chain is rebuilt.
//
// On the chains of level r - 1 (a chain of r gates comes out):
//   extension         f = out OP y, y any node;
//   insertion         a new gate phi(u, z) in place of operand u of gate i,
//                     z outside gate i's fanout; with any pair, phi(y, z)
//                     from any two nodes outside that fanout;
//   node insertion    every use of node u reads phi(u, z) instead.
// On the chains of level r - 2:
//   two-gate ext.     psi(out, phi(y, z)) and psi(phi(out, y), z).
// On the chains of level r (a chain of r gates for a possibly new class):
//   rewiring          one operand of gate i replaced by a node y outside
//                     gate i's fanout, with any function of both operands.
// On the chains of level r + 1 (moves that leave a gate dead):
//   dropping rewiring the rewiring of an operand read by gate i alone;
//   node replacement  every use of gate node u reads y or NOT y instead;
//   cone replacement  the gates only u needs give way to one new gate.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "chain.hpp"

namespace chaingen {

/// Candidates a sink must hold between two flushes: a move flushes before
/// its queue could grow past this.
inline constexpr int kSinkCapacity = 2048;

enum class Move {
  ExtendAndInsert,
  ExtendAndInsertAnyPair,
  InsertAtNode,
  ExtendByTwo,
  Rewire,
  RewireDroppingGate,
  ReplaceNode,
  ReplaceCone,
};

/// Chains a worker takes at a time: moves with many candidates per chain
/// take fewer.
constexpr std::size_t chunk_size(Move m) {
  return m == Move::ExtendAndInsertAnyPair ? 200 : m == Move::ReplaceCone ? 500 : 2000;
}

/// A working chain with its node values and, per node, the set of nodes
/// (bit j for node j) that depend on it, itself included.
struct Analysed {
  GChain c;
  int n;
  std::uint32_t v[kMaxNodes];
  std::uint64_t fo[kMaxNodes];

  void analyse() {
    n = c.n;
    c.eval(v);
    for (int j = 0; j < 6 + n; ++j) fo[j] = std::uint64_t{1} << j;
    for (int j = n - 1; j >= 0; --j) {
      fo[c.g[j].a] |= fo[6 + j];
      fo[c.g[j].b] |= fo[6 + j];
    }
  }
  /// The output with node ni forced to x.
  std::uint32_t forced(int ni, std::uint32_t x) const {
    std::uint32_t w[kMaxNodes];
    std::memcpy(w, v, sizeof(std::uint32_t) * static_cast<std::size_t>(6 + n));
    w[ni] = x;
    for (int j = std::max(0, ni - 5); j < n; ++j)
      w[6 + j] = eval_tt(c.g[j].tt, w[c.g[j].a], w[c.g[j].b]);
    return w[5 + n];
  }
  /// The number of gate operands that read node u.
  int consumers(int u) const {
    int k = 0;
    for (int j = 0; j < n; ++j) k += (c.g[j].a == u) + (c.g[j].b == u);
    return k;
  }
  /// Gate node u is read by one gate only, ni, and feeds nothing else.
  bool only_feeds(int u, int ni) const {
    return u >= 6 && fo[u] == (fo[ni] | std::uint64_t{1} << u) && consumers(u) == 1;
  }
};

namespace moves {

// Calls visit(gi, pos, u, k, D0, DD) for operand u at position pos of every
// gate gi (k the other operand; once when both are the same node), with the
// output as D0 XOR (DD AND the value of gate gi).
template <class Visit>
void for_each_operand(const Analysed& A, Visit&& visit) {
  for (int gi = 0; gi < A.n; ++gi) {
    int ni = 6 + gi;
    std::uint32_t D0 = A.forced(ni, 0), DD = D0 ^ A.forced(ni, ~0u);
    const GGate& G = A.c.g[gi];
    for (int pos = 0; pos < 2; ++pos) {
      if (pos == 1 && G.a == G.b) break;
      visit(gi, pos, pos ? G.b : G.a, pos ? G.a : G.b, D0, DD);
    }
  }
}

// Calls visit(u, D0, DD) for every node u from `first` up to the one before
// the output, with the output as D0 XOR (DD AND the value of u).
template <class Visit>
void for_each_node(const Analysed& A, int first, Visit&& visit) {
  for (int u = first; u < 5 + A.n; ++u) {
    std::uint32_t D0 = A.forced(u, 0), DD = D0 ^ A.forced(u, ~0u);
    visit(u, D0, DD);
  }
}

// Every read of node u by the first `gates` gates of c reads node t instead.
inline void redirect(GChain& c, int u, int t, int gates) {
  for (int j = 0; j < gates; ++j) {
    if (c.g[j].a == u) c.g[j].a = static_cast<std::uint8_t>(t);
    if (c.g[j].b == u) c.g[j].b = static_cast<std::uint8_t>(t);
  }
}

// f = out OP y for every node y before the output.
template <class Sink>
void extend(Sink& w, const Analysed& A) {
  const int outn = 5 + A.n;
  auto build = [&](std::uint32_t d) {
    GChain c = A.c;
    c.out = static_cast<std::uint8_t>(c.add(outn, static_cast<int>(d >> 4), kNormal[d & 15]));
    return c;
  };
  for (int y = 1; y < outn; ++y)
    for (int p = 0; p < 5; ++p)
      w.push(eval_tt(kNormal[p], A.v[outn], A.v[y]), static_cast<std::uint32_t>(y << 4 | p));
  w.flush(build);
}

// Gate i reads t = phi(y, z) instead of its operand u: y = u unless
// any_pair, y and z outside gate i's fanout. With D0, DD the output as an
// affine function of node i, and E0, E1 node i's value for t = 0 and 1, the
// output is F0 XOR (FF AND t).
template <class Sink>
void insert_gate(Sink& w, const Analysed& A, bool any_pair) {
  const int N = 6 + A.n;
  for_each_operand(A, [&](int gi, int pos, int u, int kk, std::uint32_t D0, std::uint32_t DD) {
    const int ni = 6 + gi;
    const GGate& G = A.c.g[gi];
    std::uint32_t E1 = pos ? eval_tt(G.tt, A.v[kk], ~0u) : eval_tt(G.tt, ~0u, A.v[kk]);
    std::uint32_t E0 = pos ? eval_tt(G.tt, A.v[kk], 0) : eval_tt(G.tt, 0, A.v[kk]);
    std::uint32_t F1 = D0 ^ (DD & E1), F0 = D0 ^ (DD & E0), FF = F0 ^ F1;
    auto build = [&](std::uint32_t d) {
      GChain c = A.c;
      int t = c.add(static_cast<int>(d >> 10), static_cast<int>((d >> 4) & 63), kBoth[d & 15]);
      if (pos)
        c.g[gi].b = static_cast<std::uint8_t>(t);
      else
        c.g[gi].a = static_cast<std::uint8_t>(t);
      return c;
    };
    for (int y = 1; y < N; ++y) {
      if (A.fo[ni] >> y & 1) continue;
      if (!any_pair && y != u) continue;
      for (int z = 1; z < N; ++z) {
        if (z == y || (A.fo[ni] >> z & 1)) continue;
        if (any_pair && z < y) continue;  // each unordered pair once
        for (int p = 0; p < 10; ++p) {
          std::uint32_t t = eval_tt(kBoth[p], A.v[y], A.v[z]);
          w.push(F0 ^ (FF & t), static_cast<std::uint32_t>(y << 10 | z << 4 | p));
        }
        if (!w.room(10)) w.flush(build);
      }
    }
    w.flush(build);
  });
}

// Every use of node u (an input or a gate) reads t = phi(u, z) instead, z
// outside u's fanout.
template <class Sink>
void insert_at_node(Sink& w, const Analysed& A) {
  const int N = 6 + A.n;
  for_each_node(A, 1, [&](int u, std::uint32_t D0, std::uint32_t DD) {
    auto build = [&](std::uint32_t d) {
      GChain c = A.c;
      int t = c.add(u, static_cast<int>(d >> 4), kBoth[d & 15]);
      redirect(c, u, t, A.n);
      return c;
    };
    for (int z = 1; z < N; ++z) {
      if (A.fo[u] >> z & 1) continue;
      for (int p = 0; p < 10; ++p) {
        std::uint32_t t = eval_tt(kBoth[p], A.v[u], A.v[z]);
        w.push(D0 ^ (DD & t), static_cast<std::uint32_t>(z << 4 | p));
      }
    }
    w.flush(build);
  });
}

// f = psi(out, phi(y, z)) and f = psi(phi(out, y), z).
template <class Sink>
void extend_by_two(Sink& w, const Analysed& A) {
  const int N = 6 + A.n, outn = N - 1;
  auto build1 = [&](std::uint32_t d) {
    GChain c = A.c;
    int t = c.add(static_cast<int>(d >> 14), static_cast<int>((d >> 8) & 63), kBoth[(d >> 4) & 15]);
    c.out = static_cast<std::uint8_t>(c.add(outn, t, kNormal[d & 15]));
    return c;
  };
  for (int y = 1; y < N; ++y)
    for (int z = y + 1; z < N; ++z) {
      for (int p = 0; p < 10; ++p) {
        std::uint32_t t = eval_tt(kBoth[p], A.v[y], A.v[z]);
        for (int q = 0; q < 5; ++q)
          w.push(eval_tt(kNormal[q], A.v[outn], t),
                 static_cast<std::uint32_t>(y << 14 | z << 8 | p << 4 | q));
      }
      if (!w.room(50)) w.flush(build1);
    }
  w.flush(build1);
  auto build2 = [&](std::uint32_t d) {
    GChain c = A.c;
    int t = c.add(outn, static_cast<int>(d >> 14), kBoth[(d >> 4) & 15]);
    c.out = static_cast<std::uint8_t>(c.add(t, static_cast<int>((d >> 8) & 63), kNormal[d & 15]));
    return c;
  };
  for (int y = 1; y < outn; ++y)
    for (int p = 0; p < 10; ++p) {
      std::uint32_t t = eval_tt(kBoth[p], A.v[outn], A.v[y]);
      for (int z = 1; z < N; ++z)
        for (int q = 0; q < 5; ++q)
          w.push(eval_tt(kNormal[q], t, A.v[z]),
                 static_cast<std::uint32_t>(y << 14 | z << 8 | p << 4 | q));
      if (!w.room(5 * N)) w.flush(build2);
    }
  w.flush(build2);
}

// Gate i keeps operand k and reads y instead of its other operand u, with
// any of the ten functions of both: y any node outside gate i's fanout. When
// dropping, only operands u that gate i alone reads are replaced (u becomes
// dead, one gate less), and y != u.
template <class Sink>
void rewire(Sink& w, const Analysed& A, bool dropping) {
  const int N = 6 + A.n;
  for_each_operand(A, [&](int gi, int, int u, int kk, std::uint32_t D0, std::uint32_t DD) {
    const int ni = 6 + gi;
    if (dropping && !A.only_feeds(u, ni)) return;
    auto build = [&](std::uint32_t d) {
      GChain c = A.c;
      c.g[gi].a = static_cast<std::uint8_t>(d >> 4);
      c.g[gi].b = static_cast<std::uint8_t>(kk);
      c.g[gi].tt = kBoth[d & 15];
      return c;
    };
    for (int y = 1; y < N; ++y) {
      if (y == kk || (A.fo[ni] >> y & 1) || (dropping && y == u)) continue;
      for (int p = 0; p < 10; ++p) {
        std::uint32_t vi = eval_tt(kBoth[p], A.v[y], A.v[kk]);
        w.push(D0 ^ (DD & vi), static_cast<std::uint32_t>(y << 4 | p));
      }
    }
    w.flush(build);
  });
}

// Every use of gate node u reads y or NOT y instead, y outside u's fanout;
// u and what only it needed become dead.
template <class Sink>
void replace_node(Sink& w, const Analysed& A) {
  const int N = 6 + A.n;
  for_each_node(A, 6, [&](int u, std::uint32_t D0, std::uint32_t DD) {
    auto build = [&](std::uint32_t d) {
      GChain c = A.c;
      int y = static_cast<int>(d >> 1), neg = d & 1;
      for (int j = 0; j < A.n; ++j) {
        if (c.g[j].a == u) {
          c.g[j].a = static_cast<std::uint8_t>(y);
          if (neg) c.g[j].tt = static_cast<std::uint8_t>(tt_neg_a(c.g[j].tt));
        }
        if (c.g[j].b == u) {
          c.g[j].b = static_cast<std::uint8_t>(y);
          if (neg) c.g[j].tt = static_cast<std::uint8_t>(tt_neg_b(c.g[j].tt));
        }
      }
      return c;
    };
    for (int y = 1; y < N; ++y) {
      if (A.fo[u] >> y & 1) continue;
      w.push(D0 ^ (DD & A.v[y]), static_cast<std::uint32_t>(y << 1));
      w.push(D0 ^ (DD & ~A.v[y]), static_cast<std::uint32_t>(y << 1 | 1));
    }
    w.flush(build);
  });
}

// A gate u whose fanout-free cone (the gates only u needs) has m >= 2 gates
// is replaced by one new gate phi(y, z) over nodes outside that cone and
// outside u's fanout; m - 1 gates go.
template <class Sink>
void replace_cone(Sink& w, const Analysed& A) {
  const int N = 6 + A.n, outn = N - 1;
  std::uint64_t use[kMaxNodes] = {};  // consumers of each node, as node bits
  for (int j = 0; j < A.n; ++j) {
    use[A.c.g[j].a] |= std::uint64_t{1} << (6 + j);
    use[A.c.g[j].b] |= std::uint64_t{1} << (6 + j);
  }
  for (int u = 6; u < outn; ++u) {
    std::uint64_t cone = std::uint64_t{1} << u;
    for (int j = u - 1; j >= 6; --j)
      if (use[j] && (use[j] & ~cone) == 0) cone |= std::uint64_t{1} << j;
    if (__builtin_popcountll(cone) < 2) continue;
    std::uint32_t D0 = A.forced(u, 0), DD = D0 ^ A.forced(u, ~0u);
    std::uint64_t banned = cone | A.fo[u];
    auto build = [&](std::uint32_t d) {
      GChain c = A.c;
      int t = c.add(static_cast<int>(d >> 10), static_cast<int>((d >> 4) & 63), kBoth[d & 15]);
      redirect(c, u, t, A.n);
      return c;
    };
    for (int y = 1; y < N; ++y) {
      if (banned >> y & 1) continue;
      for (int z = y + 1; z < N; ++z) {
        if (banned >> z & 1) continue;
        for (int p = 0; p < 10; ++p)
          w.push(D0 ^ (DD & eval_tt(kBoth[p], A.v[y], A.v[z])),
                 static_cast<std::uint32_t>(y << 10 | z << 4 | p));
        if (!w.room(10)) w.flush(build);
      }
    }
    w.flush(build);
  }
}

}  // namespace moves

/// Applies move m to the chain of record rec.
template <class Sink>
void apply_move(Sink& w, const Rec& rec, Move m) {
  Analysed A;
  A.c = rec_chain(rec);
  A.analyse();
  switch (m) {
    case Move::ExtendAndInsert:
      moves::extend(w, A);
      moves::insert_gate(w, A, false);
      break;
    case Move::ExtendAndInsertAnyPair:
      moves::extend(w, A);
      moves::insert_gate(w, A, true);
      break;
    case Move::InsertAtNode:
      moves::insert_at_node(w, A);
      break;
    case Move::ExtendByTwo:
      moves::extend_by_two(w, A);
      break;
    case Move::Rewire:
      moves::rewire(w, A, false);
      break;
    case Move::RewireDroppingGate:
      moves::rewire(w, A, true);
      break;
    case Move::ReplaceNode:
      moves::replace_node(w, A);
      break;
    case Move::ReplaceCone:
      moves::replace_cone(w, A);
      break;
  }
}

}  // namespace chaingen
