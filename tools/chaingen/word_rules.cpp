#include "word_rules.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "phase.hpp"

namespace chaingen {

namespace {

// Queues g OP h for the five normal operations, the operation in the low
// three bits of the descriptor d.
void push_normal_ops(Worker& w, std::uint32_t g, std::uint32_t h, std::uint32_t d) {
  w.push(g & h, d | 0);
  w.push(g | h, d | 1);
  w.push(g ^ h, d | 2);
  w.push(g & ~h, d | 3);
  w.push(~g & h, d | 4);
}

// The chain of g OP h from chains of g and h (normal operation op).
GChain compose(GChain g, const GChain& h, std::uint32_t op) {
  int hc = 0;
  int hn = g.append(h, &hc);
  unsigned tt = kNormal[op];
  if (hc) tt = tt_neg_b(tt);
  g.out = static_cast<std::uint8_t>(g.add(g.out, hn, tt));
  g.outc = 0;
  return g;
}

}  // namespace

void rule_topdown(State& st, int r) {
  for (int a = 0; a + a <= r - 1; ++a) {
    int b = r - 1 - a;  // b >= a
    if (a > kOrbitLevels) break;
    const Orbit& orb = st.orbit[a];
    const auto& reps = st.level[b];
    char name[32];
    std::snprintf(name, sizeof name, "top-down %d+%d", a, b);
    run_phase(st, name, reps.size(), std::max<std::size_t>(1, 20000000 / (orb.word.size() * 5 + 1)),
              [&](Worker& w, std::size_t lo, std::size_t hi) {
                for (std::size_t i = lo; i < hi; ++i) {
                  std::uint32_t gid = reps[i];
                  std::uint32_t g = st.classes[gid].rep;
                  if (g == 0) continue;
                  auto build = [&](std::uint32_t d) {
                    std::uint32_t hj = d >> 3;
                    return compose(st.class_chain(gid), st.word_chain(orb.word[hj], orb.cls[hj]),
                                   d & 7);
                  };
                  for (std::size_t j = 0; j < orb.word.size(); ++j) {
                    push_normal_ops(w, g, orb.word[j], static_cast<std::uint32_t>(j) << 3);
                    if (!w.room(5)) w.flush(build);
                  }
                  w.flush(build);
                }
              });
  }
}

// f(x) = G(x with x_k := w): with G0, G1 the cofactors of G at x_k spread
// over the whole word, f = G0 XOR ((G0 XOR G1) AND w).
void rule_substitution(State& st, int r, int cmax) {
  for (int c = 1; c <= cmax && c <= kOrbitLevels && r - c >= 1; ++c) {
    const Orbit& orb = st.orbit[c];
    const auto& reps = st.level[r - c];
    char name[32];
    std::snprintf(name, sizeof name, "substitution c=%d", c);
    run_phase(st, name, reps.size(),
              std::max<std::size_t>(1, 20000000 / (orb.word.size() * 10 + 1)),
              [&](Worker& w, std::size_t lo, std::size_t hi) {
                for (std::size_t i = lo; i < hi; ++i) {
                  std::uint32_t gid = reps[i];
                  std::uint32_t G = st.classes[gid].rep;
                  auto build = [&](std::uint32_t d) {
                    std::uint32_t wi = d >> 4, k = (d >> 1) & 7, sw = d & 1;
                    GChain ch = st.word_chain(orb.word[wi], orb.cls[wi]);
                    GChain gc = st.class_chain(gid);
                    int base = ch.n;
                    int wn = ch.out, wc = ch.outc ^ static_cast<int>(sw);
                    int vn = var_node(static_cast<int>(k));
                    for (int q = 0; q < gc.n; ++q) {
                      GGate x = gc.g[q];
                      unsigned tt = x.tt;
                      int a = x.a, b = x.b;
                      if (a >= 6)
                        a += base;
                      else if (a == vn) {
                        a = wn;
                        if (wc) tt = tt_neg_a(tt);
                      }
                      if (b >= 6)
                        b += base;
                      else if (b == vn) {
                        b = wn;
                        if (wc) tt = tt_neg_b(tt);
                      }
                      ch.add(a, b, tt);
                    }
                    ch.out = static_cast<std::uint8_t>(gc.out + base);
                    ch.outc = 0;
                    return ch;
                  };
                  for (int k = 0; k < 5; ++k) {
                    std::uint32_t X = kNode[var_node(k)];
                    int s = 1 << k;
                    std::uint32_t G1 = (G & X) | ((G & X) << s);
                    std::uint32_t G0 = (G & ~X) | ((G & ~X) >> s);
                    std::uint32_t D = G0 ^ G1;
                    for (std::size_t j = 0; j < orb.word.size(); ++j) {
                      std::uint32_t wv = orb.word[j];
                      std::uint32_t d =
                          static_cast<std::uint32_t>(j) << 4 | static_cast<std::uint32_t>(k) << 1;
                      w.push(G0 ^ (D & wv), d);
                      w.push(G1 ^ (D & wv), d | 1);
                      if (!w.room(2)) w.flush(build);
                    }
                  }
                  w.flush(build);
                }
              });
  }
}

void rule_shared_topdown(State& st, int r, int amax, int kh_max) {
  for (int a = 2; a <= amax && a <= kOrbitLevels && a + a <= r; ++a) {
    int b = r - a;
    const Orbit& orb = st.orbit[a];
    if (orb.word.size() >= (1u << 20)) continue;
    // Index: normalised gate value -> (orbit word, chain of its class).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    for (std::size_t j = 0; j < orb.word.size(); ++j) {
      const Class& hc = st.classes[orb.cls[j]];
      Xform xf;
      st.canon.canon(orb.word[j], xf);
      Xform inv = xf.inverse();
      int nk = std::min<int>(kh_max, static_cast<int>(hc.chains.size()));
      for (int k = 0; k < nk; ++k) {
        GChain c = rec_chain(hc.chains[k]).transformed(inv);
        std::uint32_t v[kMaxNodes];
        c.eval(v);
        for (int q = 6; q < 6 + c.n; ++q)
          index.emplace_back(v[q] ^ (0u - (v[q] >> 31)), static_cast<std::uint32_t>(j << 4 | k));
      }
    }
    std::sort(index.begin(), index.end());
    const auto& reps = st.level[b];
    char name[32];
    std::snprintf(name, sizeof name, "shared top-down %d+%d", a, b);
    run_phase(st, name, reps.size(), 64, [&](Worker& w, std::size_t lo, std::size_t hi) {
      std::vector<std::uint32_t> hs;
      for (std::size_t i = lo; i < hi; ++i) {
        std::uint32_t gid = reps[i];
        const Class& gc = st.classes[gid];
        std::uint32_t g = gc.rep;
        for (std::size_t kg = 0; kg < gc.chains.size() && kg < 16; ++kg) {
          GChain c = rec_chain(gc.chains[kg]);
          std::uint32_t v[kMaxNodes];
          c.eval(v);
          hs.clear();
          for (int q = 6; q < 6 + c.n - 1; ++q) {
            std::uint32_t x = v[q] ^ (0u - (v[q] >> 31));
            auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(x, 0u));
            for (; it != index.end() && it->first == x; ++it) hs.push_back(it->second);
          }
          std::sort(hs.begin(), hs.end());
          hs.erase(std::unique(hs.begin(), hs.end()), hs.end());
          auto build = [&](std::uint32_t d) {
            std::uint32_t hj = d >> 11, kh = (d >> 7) & 15;
            Xform xf;
            st.canon.canon(orb.word[hj], xf);
            GChain h = rec_chain(st.classes[orb.cls[hj]].chains[kh]).transformed(xf.inverse());
            return compose(rec_chain(gc.chains[kg]), h, d & 7);
          };
          for (std::uint32_t e : hs) {
            std::uint32_t hj = e >> 4, kh = e & 15;
            push_normal_ops(w, g, orb.word[hj], hj << 11 | kh << 7);
            if (!w.room(5)) w.flush(build);
          }
          w.flush(build);
        }
      }
    });
  }
}

}  // namespace chaingen
