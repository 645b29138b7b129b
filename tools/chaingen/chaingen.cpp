// Generates one optimal gate chain per NPN class of five-input functions by
// level-by-level induction: every rule proposes chains of r gates built from
// chains of finished lower levels; each proposed function that belongs to no
// finished class is canonicalised, its chain is rewritten for the class's
// representative, checked by evaluation and stored. The per-level class
// counts, compared with the published table, tell whether every chain is
// optimal.
//
// Rules for level r, in this order (each phase sees what earlier ones stored):
//   top-down          g OP h, cost(g) + cost(h) = r - 1 (g a representative,
//                     h any word of the smaller level's orbit);
//   substitution      G(x_k := w or NOT w), cost(G) = r - c, w of cost c <= 3;
//   shared top-down   g OP h, cost(g) + cost(h) = r, chains sharing a node;
//   ext+insertion     on stored level r - 1 chains: out OP y, and a new gate
//                     phi(u, z) in place of operand u of some gate;
//   node insertion    every use of a node u reads phi(u, z) instead;
//   general insertion the new gate phi(y, z) from any two nodes outside the
//                     fanout of the gate it feeds;
//   two-gate ext.     on level r - 2 chains: psi(out, phi(y, z)), psi(phi(out, y), z);
//   rewiring          on level r chains, one operand replaced by any node
//                     outside the gate's fanout with any function, repeated
//                     on the new chains until a round finds no new class.
// Afterwards (--reduce), wherever the counts show a shortfall at r, the
// pass looks for chains of r gates for classes placed at r + 1:
//   walk              (--walk K:R,..., none by default) rewiring of the
//                     level r chains in R rounds, storing up to K per class;
//                     a chain landing in a class placed higher moves it down;
//   deep walk         (--deep K:R, default 16:40, from --polish-from on)
//                     rewiring of only the chains the previous round added,
//                     each class taking K new chains per round, the sources
//                     in a pseudo-random order that changes every round;
//                     stops as soon as the counts match;
//   insertion walk    (--insert-keep K) a walk over the level r - 1 chains,
//                     then the insertion rules on all of them;
//   diversify         (--polish-keep K) rewiring of the level r + 1 chains,
//                     storing up to K per class;
//   gate deletion     on all level r + 1 chains: rewiring that kills an
//                     operand, node replacement, and cone replacement (the
//                     gates only u needs give way to one new gate).
// Up to K chains per class are stored (--keep, default 16; --keep-low, default
// 64, for levels up to --low-upto, default 9): the chain rules only see
// stored chains, and their variety is what finds the last classes. From
// level --stop-when-exact (default 11) on, a level's rules stop once the
// classes found match the table.
//
// Usage: chaingen WORKDIR [--out FILE] [--max-level N] [--keep K] [--keep-low K]
//                 [--low-upto L] [--threads T] [--from-level L] [--general 0|1]
//                 [--two-gate 0|1] [--shared 0|1] [--reduce 0|1] [--walk K:R,...]
//                 [--insert-keep K] [--polish-keep K] [--polish-rounds R] [--polish-from L]
//                 [--stop-when-exact L] [--deep K:R] [--two-move K]
//
// Each finished level L is checkpointed to WORKDIR/state-L.bin (state.bin is
// the latest), so a later run resumes after the last finished level, or
// after level L with --from-level L. Output: FILE (default
// WORKDIR/chains.bin), one 15-byte record per class, by increasing key.
//
// Determinism: work is cut into chunks whose results depend only on the chunk
// and on state frozen before it; chunks are merged strictly in order, so the
// stored chains (and the file) are the same on every run.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <unistd.h>

#include "canon.hpp"
#include "chain.hpp"

using namespace chaingen;

namespace {

constexpr std::uint64_t kTable[13] = {2,     2,     5,      20,     93,    389, 1988,
                                      11382, 60713, 221541, 293455, 26535, 1};
constexpr int kMaxLevel = 14;
constexpr std::size_t kClasses = 616126;  // NPN classes of five-input functions
constexpr int kOrbitLevels = 6;           // orbits kept for levels 0..6

int g_keep = 16;      // stored chains per class
int g_keep_low = 64;  // ... for the classes of levels up to g_low_upto
int g_low_upto = 9;
int g_threads = 2;

double now_s() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}
long peak_kib() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// ---- shared state ----------------------------------------------------------

const Canon* g_canon;

// One bit per normal word: set when the word's class needs no more chains.
struct Bitmap {
  std::vector<std::uint64_t> w;
  Bitmap() : w(std::size_t{1} << 25, 0) {}
  bool test(std::uint32_t x) const {
    return __atomic_load_n(&w[x >> 6], __ATOMIC_RELAXED) >> (x & 63) & 1;
  }
  void set(std::uint32_t x) {
    std::uint64_t m = std::uint64_t{1} << (x & 63);
    if (!(__atomic_load_n(&w[x >> 6], __ATOMIC_RELAXED) & m))
      __atomic_fetch_or(&w[x >> 6], m, __ATOMIC_RELAXED);
  }
  void prefetch(std::uint32_t x) const { __builtin_prefetch(&w[x >> 6]); }
};
Bitmap* g_done;

struct Class {
  std::uint32_t rep = 0;
  std::uint8_t level = 0;
  std::uint8_t full = 0;
  std::uint8_t marked = 0;
  std::uint32_t cap = 0;  // chains to store before the class is full (0: g_keep)
  std::vector<Rec> chains;
};
std::vector<Class> g_classes;
std::unordered_map<std::uint32_t, std::uint32_t> g_rep2id;
std::vector<std::uint32_t> g_level[kMaxLevel + 1];
int g_cur_level = 0;
bool g_building_levels = false;  // inside the level-by-level induction
// From this level on, a level stops its rules once the classes found up to it
// match the table (their chains would only feed the next level's rules).
int g_stop_when_exact = 11;

// True when the classes found with at most r gates are as many as the table
// says: then every one of them is found.
bool level_exact(int r) {
  std::uint64_t cf = 0, ct = 0;
  for (int l = 0; l <= r && l <= 12; ++l) {
    cf += g_level[l].size();
    ct += kTable[l];
  }
  return cf >= ct;
}

struct Orbit {
  std::vector<std::uint32_t> word, cls;
};
Orbit g_orbit[kOrbitLevels + 1];

void mark_orbit(Class& c) {
  if (c.marked) return;
  c.marked = 1;
  g_canon->orbit(c.rep, [](std::uint32_t w) { g_done->set(w); });
}

// Clears the bits of a marked class (each normal word lies in one class).
void unmark_orbit(Class& c) {
  if (!c.marked) return;
  c.marked = 0;
  g_canon->orbit(c.rep, [](std::uint32_t w) {
    __atomic_fetch_and(&g_done->w[w >> 6], ~(std::uint64_t{1} << (w & 63)), __ATOMIC_RELAXED);
  });
}

void build_orbit(int lvl) {
  Orbit& o = g_orbit[lvl];
  o.word.clear();
  o.cls.clear();
  std::vector<std::uint32_t> tmp;
  for (std::uint32_t id : g_level[lvl]) {
    if (g_classes[id].rep == 0) continue;
    tmp.clear();
    g_canon->orbit(g_classes[id].rep, [&](std::uint32_t w) { tmp.push_back(w); });
    std::sort(tmp.begin(), tmp.end());
    tmp.erase(std::unique(tmp.begin(), tmp.end()), tmp.end());
    for (auto w : tmp) {
      o.word.push_back(w);
      o.cls.push_back(id);
    }
  }
}

// The working chain of a class's representative (its k-th stored chain).
GChain class_chain(std::uint32_t id, int k = 0) {
  const Class& c = g_classes[id];
  if (c.chains.empty()) {  // the variable class: no gate
    GChain g;
    g.out = 1;
    return g;
  }
  return rec_chain(c.chains[k]);
}

// The working chain of an orbit word w of class id.
GChain word_chain(std::uint32_t w, std::uint32_t id) {
  Xform xf;
  std::uint32_t r = g_canon->canon(w, xf);
  if (r != g_classes[id].rep) {
    std::fprintf(stderr, "orbit word %08x not in class %08x\n", w, g_classes[id].rep);
    std::exit(2);
  }
  return class_chain(id).transformed(xf.inverse());
}

// ---- per-chunk worker ------------------------------------------------------

// A 64-bit fingerprint of a stored chain of a class (collisions would only
// drop a chain, never store a wrong one).
std::uint64_t chain_key(std::uint32_t rep, const Rec& r) {
  std::uint64_t a, b;
  std::memcpy(&a, r.data(), 8);
  std::memcpy(&b, r.data() + 8, 8);
  auto mix = [](std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
  };
  std::uint64_t h = mix(a ^ mix(b ^ mix(rep + 0x9e3779b97f4a7c15ull)));
  return h ? h : 1;
}

// Open-addressing set of chain fingerprints (0 marks an empty slot).
struct KeySet {
  std::vector<std::uint64_t> slot = std::vector<std::uint64_t>(1024, 0);
  std::size_t size = 0;
  bool insert(std::uint64_t k) {  // false when already present
    if (2 * (size + 1) > slot.size()) grow();
    std::size_t m = slot.size() - 1, i = k & m;
    while (slot[i]) {
      if (slot[i] == k) return false;
      i = (i + 1) & m;
    }
    slot[i] = k;
    ++size;
    return true;
  }
  void clear() {
    if (size) std::fill(slot.begin(), slot.end(), 0);
    size = 0;
  }
  void grow() {
    std::vector<std::uint64_t> old(slot.size() * 2, 0);
    old.swap(slot);
    std::size_t m = slot.size() - 1;
    for (std::uint64_t k : old)
      if (k) {
        std::size_t i = k & m;
        while (slot[i]) i = (i + 1) & m;
        slot[i] = k;
      }
  }
};
KeySet g_stored;  // every chain ever stored

struct ChunkOut {
  std::vector<std::pair<std::uint32_t, Rec>> items;
  std::uint64_t cands = 0, canon = 0, built = 0, fails = 0;
};

struct Worker {
  ChunkOut out;
  std::unordered_map<std::uint32_t, int> local;  // chains found per class in this chunk
  KeySet seen;
  // candidate buffer
  static constexpr int kBuf = 2048;
  std::uint32_t bf[kBuf], bd[kBuf];
  int nb = 0;

  void reset() {
    out = ChunkOut{};
    local.clear();
    seen.clear();
    nb = 0;
  }

  // Queues a candidate word with a rule descriptor.
  inline void push(std::uint32_t f, std::uint32_t d) {
    f ^= 0u - (f >> 31);
    g_done->prefetch(f);
    bf[nb] = f;
    bd[nb] = d;
    ++nb;
  }
  bool room(int need) const { return nb + need <= kBuf; }

  template <class Build>
  void flush(Build&& build) {
    out.cands += static_cast<std::uint64_t>(nb);
    for (int i = 0; i < nb; ++i) {
      std::uint32_t f = bf[i];
      if (g_done->test(f)) continue;
      ++out.canon;
      std::uint32_t rep = g_canon->canon(f);
      int& nv = local[rep];
      if (nv >= g_keep) continue;
      Xform xf;
      g_canon->canon(f, xf);
      GChain g = build(bd[i]);
      GChain t = g.transformed(xf);
      Rec rec;
      std::uint32_t val, val2;
      int len, len2;
      ++out.built;
      if (!finish(t, rec, &val, &len) || val != rep || !rec_eval(rec, &val2, &len2) ||
          val2 != rep || len2 != len) {
        ++out.fails;
        if (std::getenv("CG_DEBUG")) {
          bool ok = finish(t, rec, &val, &len);
          std::uint32_t vv[kMaxNodes];
          g.eval(vv);
          std::fprintf(stderr, "fail f=%08x rep=%08x ok=%d val=%08x len=%d n=%d out=%d gout=%08x\n",
                       f, rep, ok, val, len, g.n, g.out, vv[g.out]);
        }
        continue;
      }
      if (!seen.insert(chain_key(rep, rec))) continue;
      ++nv;
      out.items.emplace_back(rep, rec);
    }
    nb = 0;
  }
};

// Runs fn(worker, begin, end) over [0, n) in chunks on g_threads threads and
// merges the chunk results in chunk order. Returns the number of new classes.
struct PhaseStats {
  std::uint64_t cands = 0, canon = 0, built = 0, fails = 0, newc = 0, added = 0, improved = 0;
};

void merge_item(std::uint32_t rep, const Rec& rec, PhaseStats& st) {
  int len = rec_len(rec);
  auto it = g_rep2id.find(rep);
  if (it == g_rep2id.end()) {
    std::uint32_t id = static_cast<std::uint32_t>(g_classes.size());
    g_classes.emplace_back();
    Class& c = g_classes.back();
    c.rep = rep;
    c.level = static_cast<std::uint8_t>(len);
    c.chains.push_back(rec);
    g_stored.insert(chain_key(rep, rec));
    g_rep2id.emplace(rep, id);
    g_level[len].push_back(id);
    ++st.newc;
    ++st.added;
    if (g_keep == 1) {
      c.full = 1;
      mark_orbit(c);
    }
    return;
  }
  Class& c = g_classes[it->second];
  if (len < c.level) {
    // A shorter chain for a class placed too high: the class moves down.
    std::printf("  improved: class %08x from %d to %d gates\n", rep, c.level, len);
    auto& from = g_level[c.level];
    from.erase(std::find(from.begin(), from.end(), it->second));
    g_level[len].push_back(it->second);
    c.level = static_cast<std::uint8_t>(len);
    c.chains.assign(1, rec);
    g_stored.insert(chain_key(rep, rec));
    ++st.improved;
    return;
  }
  if (c.full || c.level < g_cur_level || len > c.level) return;
  if (!g_stored.insert(chain_key(rep, rec))) return;
  c.chains.push_back(rec);
  ++st.added;
  if (c.chains.size() >= (c.cap ? c.cap : static_cast<std::size_t>(g_keep))) {
    c.full = 1;
    mark_orbit(c);
  }
}

PhaseStats run_phase(const char* name, std::size_t n, std::size_t chunk,
                     const std::function<void(Worker&, std::size_t, std::size_t)>& fn) {
  double t0 = now_s();
  PhaseStats st;
  // Once every class has a chain a new level has nothing to find; the
  // reduction pass still looks for shorter chains.
  if (g_building_levels && g_classes.size() >= kClasses) return st;
  if (g_building_levels && g_cur_level >= g_stop_when_exact && level_exact(g_cur_level)) return st;
  if (chunk == 0) chunk = 1;
  std::size_t nchunks = (n + chunk - 1) / chunk;
  std::atomic<std::size_t> next{0};
  std::mutex mu;
  std::map<std::size_t, ChunkOut> ready;
  std::size_t merged = 0;
  auto body = [&]() {
    Worker w;
    for (;;) {
      std::size_t c = next.fetch_add(1);
      if (c >= nchunks) break;
      w.reset();
      fn(w, c * chunk, std::min(n, (c + 1) * chunk));
      std::lock_guard<std::mutex> lk(mu);
      ready.emplace(c, std::move(w.out));
      while (!ready.empty() && ready.begin()->first == merged) {
        ChunkOut& o = ready.begin()->second;
        st.cands += o.cands;
        st.canon += o.canon;
        st.built += o.built;
        st.fails += o.fails;
        for (auto& [rep, rec] : o.items) merge_item(rep, rec, st);
        ready.erase(ready.begin());
        ++merged;
      }
    }
  };
  std::vector<std::thread> th;
  for (int i = 0; i < g_threads; ++i) th.emplace_back(body);
  for (auto& t : th) t.join();
  std::printf(
      "  L%-2d %-22s %8zu items %12llu cands %11llu canon %9llu built %6llu fail  +%7llu classes "
      "+%8llu chains %4llu improved %7.1fs\n",
      g_cur_level, name, n, (unsigned long long)st.cands, (unsigned long long)st.canon,
      (unsigned long long)st.built, (unsigned long long)st.fails, (unsigned long long)st.newc,
      (unsigned long long)st.added, (unsigned long long)st.improved, now_s() - t0);
  std::fflush(stdout);
  return st;
}

// ---- rules -------------------------------------------------------------------

// Top-down: f = g OP h with cost(g) + cost(h) = r - 1, g a representative of
// the larger level, h any word of the smaller level's orbit.
void rule_topdown(int r) {
  for (int a = 0; a + a <= r - 1; ++a) {
    int b = r - 1 - a;  // b >= a
    if (a > kOrbitLevels) break;
    const Orbit& orb = g_orbit[a];
    const auto& reps = g_level[b];
    char name[32];
    std::snprintf(name, sizeof name, "top-down %d+%d", a, b);
    run_phase(name, reps.size(), std::max<std::size_t>(1, 20000000 / (orb.word.size() * 5 + 1)),
              [&](Worker& w, std::size_t lo, std::size_t hi) {
                for (std::size_t i = lo; i < hi; ++i) {
                  std::uint32_t gid = reps[i];
                  std::uint32_t g = g_classes[gid].rep;
                  if (g == 0) continue;
                  auto build = [&](std::uint32_t d) {
                    std::uint32_t hi_ = d >> 3, op = d & 7;
                    GChain c = class_chain(gid);
                    GChain h = word_chain(orb.word[hi_], orb.cls[hi_]);
                    int hc = 0;
                    int hn = c.append(h, &hc);
                    unsigned tt = kNormal[op];
                    if (hc) tt = tt_neg_b(tt);
                    c.out = static_cast<std::uint8_t>(c.add(c.out, hn, tt));
                    c.outc = 0;
                    return c;
                  };
                  for (std::size_t j = 0; j < orb.word.size(); ++j) {
                    std::uint32_t h = orb.word[j];
                    std::uint32_t d = static_cast<std::uint32_t>(j) << 3;
                    w.push(g & h, d | 0);
                    w.push(g | h, d | 1);
                    w.push(g ^ h, d | 2);
                    w.push(g & ~h, d | 3);
                    w.push(~g & h, d | 4);
                    if (!w.room(5)) w.flush(build);
                  }
                  w.flush(build);
                }
              });
  }
}

// Substitution: f = G(x with x_k replaced by w or NOT w), cost(G) = r - c,
// w a word of level c's orbit.
void rule_substitution(int r, int cmax) {
  for (int c = 1; c <= cmax && c <= kOrbitLevels && r - c >= 1; ++c) {
    const Orbit& orb = g_orbit[c];
    const auto& reps = g_level[r - c];
    char name[32];
    std::snprintf(name, sizeof name, "substitution c=%d", c);
    run_phase(name, reps.size(), std::max<std::size_t>(1, 20000000 / (orb.word.size() * 10 + 1)),
              [&](Worker& w, std::size_t lo, std::size_t hi) {
                for (std::size_t i = lo; i < hi; ++i) {
                  std::uint32_t gid = reps[i];
                  std::uint32_t G = g_classes[gid].rep;
                  auto build = [&](std::uint32_t d) {
                    std::uint32_t wi = d >> 4, k = (d >> 1) & 7, sw = d & 1;
                    GChain ch = word_chain(orb.word[wi], orb.cls[wi]);
                    GChain gc = class_chain(gid);
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

// Top-down with a shared node: f = g OP h with cost(g) + cost(h) = r, where a
// stored chain of g and a chain of h (of the smaller level, any orbit word)
// compute a common node, so the composed chain has r gates.
void rule_shared_topdown(int r, int amax, int kh_max) {
  for (int a = 2; a <= amax && a <= kOrbitLevels && a + a <= r; ++a) {
    int b = r - a;
    const Orbit& orb = g_orbit[a];
    if (orb.word.size() >= (1u << 20)) continue;
    // Index: normalised gate value -> (orbit word, chain of its class).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    for (std::size_t j = 0; j < orb.word.size(); ++j) {
      const Class& hc = g_classes[orb.cls[j]];
      Xform xf;
      g_canon->canon(orb.word[j], xf);
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
    const auto& reps = g_level[b];
    char name[32];
    std::snprintf(name, sizeof name, "shared top-down %d+%d", a, b);
    run_phase(name, reps.size(), 64, [&](Worker& w, std::size_t lo, std::size_t hi) {
      std::vector<std::uint32_t> hs;
      for (std::size_t i = lo; i < hi; ++i) {
        std::uint32_t gid = reps[i];
        const Class& gc = g_classes[gid];
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
            std::uint32_t hj = d >> 11, kh = (d >> 7) & 15, op = d & 7;
            GChain cc = rec_chain(gc.chains[kg]);
            Xform xf;
            g_canon->canon(orb.word[hj], xf);
            GChain h = rec_chain(g_classes[orb.cls[hj]].chains[kh]).transformed(xf.inverse());
            int hc = 0;
            int hn = cc.append(h, &hc);
            unsigned tt = kNormal[op];
            if (hc) tt = tt_neg_b(tt);
            cc.out = static_cast<std::uint8_t>(cc.add(cc.out, hn, tt));
            cc.outc = 0;
            return cc;
          };
          for (std::uint32_t e : hs) {
            std::uint32_t hj = e >> 4, kh = e & 15;
            std::uint32_t h = orb.word[hj];
            std::uint32_t d = hj << 11 | kh << 7;
            w.push(g & h, d | 0);
            w.push(g | h, d | 1);
            w.push(g ^ h, d | 2);
            w.push(g & ~h, d | 3);
            w.push(~g & h, d | 4);
            if (!w.room(5)) w.flush(build);
          }
          w.flush(build);
        }
      }
    });
  }
}

// Chain-local moves on stored chains.
//   mode 0 (level r - 1 chains): extension f = out OP y, and insertion of a
//          new gate t = phi(y, z), y, z outside gate i's fanout, as operand of
//          gate i (general when `general`, else y = the replaced operand);
//   mode 1 (level r chains): rewiring, one operand of gate i replaced by y
//          outside its fanout, any function of both operands.
struct ChainRef {
  std::uint32_t id;
  std::uint16_t k;
};

struct Analysed {
  GChain c;
  int n;
  std::uint32_t v[kMaxNodes];
  std::uint64_t fo[kMaxNodes];
};

void analyse_chain(Analysed& A) {
  A.n = A.c.n;
  A.c.eval(A.v);
  for (int j = 0; j < 6 + A.n; ++j) A.fo[j] = std::uint64_t{1} << j;
  for (int j = A.n - 1; j >= 0; --j) {
    A.fo[A.c.g[j].a] |= A.fo[6 + j];
    A.fo[A.c.g[j].b] |= A.fo[6 + j];
  }
}

void analyse(Analysed& A, const Rec& rec) {
  A.c = rec_chain(rec);
  analyse_chain(A);
}

// Output value with node `ni` forced to `x`.
std::uint32_t forced(const Analysed& A, int ni, std::uint32_t x) {
  std::uint32_t v[kMaxNodes];
  std::memcpy(v, A.v, sizeof(std::uint32_t) * static_cast<std::size_t>(6 + A.n));
  v[ni] = x;
  for (int j = std::max(0, ni - 5); j < A.n; ++j)
    v[6 + j] = eval_tt(A.c.g[j].tt, v[A.c.g[j].a], v[A.c.g[j].b]);
  return v[5 + A.n];
}

int consumers(const Analysed& A, int u) {
  int n = 0;
  for (int j = 0; j < A.n; ++j) n += (A.c.g[j].a == u) + (A.c.g[j].b == u);
  return n;
}

void chain_moves(Worker& w, const Rec& rec, int mode, bool general) {
  Analysed A;
  analyse(A, rec);
  const int N = 6 + A.n;
  const int outn = N - 1;
  if (mode == 3) {
    // Two-gate extension: f = psi(out, phi(y, z)) and f = psi(phi(out, y), z).
    auto build1 = [&](std::uint32_t d) {
      GChain c = A.c;
      int t =
          c.add(static_cast<int>(d >> 14), static_cast<int>((d >> 8) & 63), kBoth[(d >> 4) & 15]);
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
    return;
  }
  if (mode == 6) {
    // Two moves: any rewiring of gate i (the new operand y earlier than i,
    // so the order stays), then a rewiring that leaves a gate dead.
    Analysed B;
    for (int gi = 0; gi < A.n; ++gi) {
      const GGate G = A.c.g[gi];
      for (int pos = 0; pos < 2; ++pos) {
        int kk = pos ? G.a : G.b;
        if (pos == 1 && G.a == G.b) break;
        for (int y = 1; y < 6 + gi; ++y) {
          if (y == kk) continue;
          for (int p = 0; p < 10; ++p) {
            B.c = A.c;
            B.c.g[gi] =
                GGate{static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(kk), kBoth[p]};
            analyse_chain(B);
            const int NB = 6 + B.n;
            auto build = [&](std::uint32_t d) {
              GChain c = B.c;
              int gj = static_cast<int>((d >> 10) & 63);
              c.g[gj].a = static_cast<std::uint8_t>((d >> 4) & 63);
              c.g[gj].b = static_cast<std::uint8_t>(d >> 16 & 63);
              c.g[gj].tt = kBoth[d & 15];
              return c;
            };
            for (int gj = 0; gj < B.n; ++gj) {
              int nj = 6 + gj;
              const GGate H = B.c.g[gj];
              std::uint32_t D0 = 0, DD = 0;
              bool have = false;
              for (int pos2 = 0; pos2 < 2; ++pos2) {
                int u2 = pos2 ? H.b : H.a, k2 = pos2 ? H.a : H.b;
                if (pos2 == 1 && H.a == H.b) break;
                if (u2 < 6 || B.fo[u2] != (B.fo[nj] | std::uint64_t{1} << u2) ||
                    consumers(B, u2) != 1)
                  continue;
                if (!have) {
                  D0 = forced(B, nj, 0);
                  DD = D0 ^ forced(B, nj, ~0u);
                  have = true;
                }
                for (int y2 = 1; y2 < NB; ++y2) {
                  if (y2 == k2 || y2 == u2 || (B.fo[nj] >> y2 & 1)) continue;
                  for (int p2 = 0; p2 < 10; ++p2)
                    w.push(D0 ^ (DD & eval_tt(kBoth[p2], B.v[y2], B.v[k2])),
                           static_cast<std::uint32_t>(k2 << 16 | gj << 10 | y2 << 4 | p2));
                  if (!w.room(10)) w.flush(build);
                }
              }
            }
            w.flush(build);
          }
        }
      }
    }
    return;
  }
  if (mode == 5) {
    // Cone replacement: a gate u whose fanout-free cone (the gates only u
    // needs) has m >= 2 gates is replaced by one new gate phi(y, z) over
    // nodes outside that cone and outside u's fanout; m - 1 gates go.
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
      std::uint32_t D0 = forced(A, u, 0), D1 = forced(A, u, ~0u), DD = D0 ^ D1;
      std::uint64_t banned = cone | A.fo[u];
      auto build = [&](std::uint32_t d) {
        GChain c = A.c;
        int t = c.add(static_cast<int>(d >> 10), static_cast<int>((d >> 4) & 63), kBoth[d & 15]);
        for (int j = 0; j < A.n; ++j) {
          if (c.g[j].a == u) c.g[j].a = static_cast<std::uint8_t>(t);
          if (c.g[j].b == u) c.g[j].b = static_cast<std::uint8_t>(t);
        }
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
    return;
  }
  if (mode == 4) {
    // Node replacement: every use of gate node u reads y or NOT y instead,
    // y outside u's fanout; u and what only it needed become dead.
    for (int u = 6; u < outn; ++u) {
      std::uint32_t D0 = forced(A, u, 0), D1 = forced(A, u, ~0u), DD = D0 ^ D1;
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
    }
    return;
  }
  if (mode == 2) {
    // Node insertion: every use of node u (an input or a gate) reads
    // t = phi(u, z) instead, z outside u's fanout.
    for (int u = 1; u < outn; ++u) {
      std::uint32_t D0 = forced(A, u, 0), D1 = forced(A, u, ~0u), DD = D0 ^ D1;
      auto build = [&](std::uint32_t d) {
        GChain c = A.c;
        int t = c.add(u, static_cast<int>(d >> 4), kBoth[d & 15]);
        for (int j = 0; j < A.n; ++j) {
          if (c.g[j].a == u) c.g[j].a = static_cast<std::uint8_t>(t);
          if (c.g[j].b == u) c.g[j].b = static_cast<std::uint8_t>(t);
        }
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
    }
    return;
  }
  if (mode == 0) {
    // extension
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
  for (int gi = 0; gi < A.n; ++gi) {
    int ni = 6 + gi;
    std::uint32_t D0 = forced(A, ni, 0), D1 = forced(A, ni, ~0u);
    std::uint32_t DD = D0 ^ D1;
    const GGate& G = A.c.g[gi];
    for (int pos = 0; pos < 2; ++pos) {
      int u = pos ? G.b : G.a, kk = pos ? G.a : G.b;
      if (pos == 1 && G.a == G.b) break;
      if (mode == 0) {
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
          if (!general && y != u) continue;
          for (int z = 1; z < N; ++z) {
            if (z == y || (A.fo[ni] >> z & 1)) continue;
            if (general && z < y) continue;  // each unordered pair once
            for (int p = 0; p < 10; ++p) {
              std::uint32_t t = eval_tt(kBoth[p], A.v[y], A.v[z]);
              w.push(F0 ^ (FF & t), static_cast<std::uint32_t>(y << 10 | z << 4 | p));
            }
            if (!w.room(10)) w.flush(build);
          }
        }
        w.flush(build);
      } else {
        // In reduce mode only the moves that leave u dead (a gate read by
        // gate i alone, replaced by another node) can shorten the chain.
        if (general &&
            (u < 6 || A.fo[u] != (A.fo[ni] | std::uint64_t{1} << u) || consumers(A, u) != 1))
          continue;
        auto build = [&](std::uint32_t d) {
          GChain c = A.c;
          c.g[gi].a = static_cast<std::uint8_t>(d >> 4);
          c.g[gi].b = static_cast<std::uint8_t>(kk);
          c.g[gi].tt = kBoth[d & 15];
          return c;
        };
        for (int y = 1; y < N; ++y) {
          if (y == kk || (A.fo[ni] >> y & 1) || (general && y == u)) continue;
          for (int p = 0; p < 10; ++p) {
            std::uint32_t vi = eval_tt(kBoth[p], A.v[y], A.v[kk]);
            w.push(D0 ^ (DD & vi), static_cast<std::uint32_t>(y << 4 | p));
          }
        }
        w.flush(build);
      }
    }
  }
}

void rule_chains(const char* name, const std::vector<ChainRef>& refs, int mode, bool general) {
  run_phase(name, refs.size(), general ? 200 : 2000,
            [&](Worker& w, std::size_t lo, std::size_t hi) {
              for (std::size_t i = lo; i < hi; ++i)
                chain_moves(w, g_classes[refs[i].id].chains[refs[i].k], mode, general);
            });
}

// The stored chains of the classes of level lvl; with `start` (indexed by
// class id) only those after the first start[id] chains of each class.
std::vector<ChainRef> chains_of_level(int lvl, std::size_t from_k = 0,
                                      const std::vector<std::uint32_t>* start = nullptr) {
  std::vector<ChainRef> refs;
  for (std::size_t i = 0; i < g_level[lvl].size(); ++i) {
    std::uint32_t id = g_level[lvl][i];
    std::size_t k0 = start ? (id < start->size() ? (*start)[id] : 0) : from_k;
    for (std::size_t k = k0; k < g_classes[id].chains.size(); ++k)
      refs.push_back(ChainRef{id, static_cast<std::uint16_t>(k)});
  }
  return refs;
}

// Rewiring on the stored chains of level r, repeated on the chains each
// round adds; stops when a round finds no new class (`until_no_class`) or
// no new chain, or after max_rounds.
void rewiring_rounds(int r, const char* name, int max_rounds, bool until_no_class) {
  std::vector<std::uint32_t> start;
  for (int round = 0; round < max_rounds; ++round) {
    auto refs = chains_of_level(r, 0, round ? &start : nullptr);
    start.assign(g_classes.size(), 0);
    for (auto id : g_level[r]) start[id] = static_cast<std::uint32_t>(g_classes[id].chains.size());
    if (refs.empty()) break;
    PhaseStats s =
        run_phase(name, refs.size(), 2000, [&](Worker& w, std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i)
            chain_moves(w, g_classes[refs[i].id].chains[refs[i].k], 1, false);
        });
    if (until_no_class ? s.newc == 0 : s.added == 0) break;
  }
}

// Starts a pass of the reduction: only the classes for which `closed` holds
// count as finished (their orbits marked in the bitmap); the others take
// candidates again.
template <class Closed>
void reopen_classes(Closed&& closed) {
  std::fill(g_done->w.begin(), g_done->w.end(), 0);
  for (auto& c : g_classes) {
    c.marked = 0;
    c.full = closed(c);
    if (c.full) mark_orbit(c);
  }
}

// Walks the chains of the classes of level lvl: rewiring in `rounds` rounds
// stores up to `keep` chains per class, and a rewired chain that lands in a
// class placed higher moves that class down.
void walk_level(int lvl, int keep, int rounds) {
  int saved_keep = g_keep;
  g_keep = keep;
  reopen_classes([&](const Class& c) {
    return c.level < lvl || (c.level == lvl && static_cast<int>(c.chains.size()) >= g_keep);
  });
  g_cur_level = lvl;
  std::printf("walking the chains of %d gates (up to %d per class, %d rounds)\n", lvl, keep,
              rounds);
  rewiring_rounds(lvl, "rewiring (walk)", rounds, false);
  g_keep = saved_keep;
}

// Walks away from the stored chains of level lvl: each round rewires only
// the chains the previous round added (at first the last `quota` chains of
// each class), and each class of the level takes up to `quota` new chains per
// round, so the walk keeps moving outward instead of filling every class with
// the first neighbours of its first chains. A rewired chain that lands in a
// class placed higher moves that class down. Chains of older rounds are
// dropped (their fingerprints stay, so they are not found again); a class
// keeps its first `base` chains. Stops once the level is exact.
void deep_walk(int lvl, int quota, int rounds, std::size_t base) {
  int saved_keep = g_keep;
  g_keep = quota;
  g_cur_level = lvl;
  std::printf(
      "deep walk over the chains of %d gates (%d new per class and round, at most %d rounds)\n",
      lvl, quota, rounds);
  std::vector<std::uint32_t> start(g_classes.size(), 0);
  for (auto id : g_level[lvl]) {
    std::size_t n = g_classes[id].chains.size();
    start[id] = static_cast<std::uint32_t>(n > static_cast<std::size_t>(quota) ? n - quota : 0);
  }
  for (int round = 0; round < rounds && !level_exact(lvl); ++round) {
    double t0 = now_s();
    for (auto id : g_level[lvl]) {
      // Forget the chains between the first `base` and the last round's.
      auto& ch = g_classes[id].chains;
      std::size_t keep_from = std::min<std::size_t>(start[id], ch.size());
      if (keep_from > base) {
        ch.erase(ch.begin() + static_cast<std::ptrdiff_t>(base),
                 ch.begin() + static_cast<std::ptrdiff_t>(keep_from));
        start[id] = static_cast<std::uint32_t>(base);
      }
    }
    // Only the classes of the level are open to new chains (and those above
    // it, whose candidates are improvements); the cheaper ones stay marked.
    if (round == 0) reopen_classes([&](const Class& c) { return c.level < lvl; });
    for (auto id : g_level[lvl]) {
      Class& c = g_classes[id];
      unmark_orbit(c);
      c.full = 0;
      c.cap = static_cast<std::uint32_t>(c.chains.size()) + static_cast<std::uint32_t>(quota);
    }
    auto refs = chains_of_level(lvl, 0, &start);
    start.assign(g_classes.size(), 0);
    for (auto id : g_level[lvl])
      start[id] = static_cast<std::uint32_t>(g_classes[id].chains.size());
    if (refs.empty()) break;
    // A class keeps the first new chains in the order of their sources, so
    // the sources are taken in a fixed pseudo-random order that changes
    // every round: otherwise the classes listed first would feed every walk.
    {
      std::vector<std::pair<std::uint64_t, ChainRef>> order(refs.size());
      for (std::size_t i = 0; i < refs.size(); ++i) {
        std::uint64_t k =
            chain_key(g_classes[refs[i].id].rep ^ static_cast<std::uint32_t>(round * 0x9e3779b9u),
                      g_classes[refs[i].id].chains[refs[i].k]);
        order[i] = {k, refs[i]};
      }
      std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first
                                  : (a.second.id != b.second.id ? a.second.id < b.second.id
                                                                : a.second.k < b.second.k);
      });
      for (std::size_t i = 0; i < refs.size(); ++i) refs[i] = order[i].second;
    }
    PhaseStats s = run_phase("rewiring (deep walk)", refs.size(), 2000,
                             [&](Worker& w, std::size_t lo, std::size_t hi) {
                               for (std::size_t i = lo; i < hi; ++i)
                                 chain_moves(w, g_classes[refs[i].id].chains[refs[i].k], 1, false);
                             });
    for (auto& c : g_classes) c.cap = 0;
    std::printf("  deep walk round %d done in %.1fs, shortfall %s, peak %ld MiB\n", round + 1,
                now_s() - t0, level_exact(lvl) ? "none" : "remains", peak_kib() / 1024);
    if (s.added == 0) break;
  }
  g_keep = saved_keep;
}

// ---- checkpoints ---------------------------------------------------------------

void save_state(const std::string& dir, int level) {
  std::string tmp = dir + "/state.bin.tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::perror(tmp.c_str());
    std::exit(1);
  }
  std::uint32_t hdr[3] = {0x43474e31u, static_cast<std::uint32_t>(level),
                          static_cast<std::uint32_t>(g_classes.size())};
  std::fwrite(hdr, sizeof hdr, 1, f);
  for (const Class& c : g_classes) {
    std::uint32_t h[2] = {c.rep, static_cast<std::uint32_t>(c.level) |
                                     static_cast<std::uint32_t>(c.chains.size()) << 8};
    std::fwrite(h, sizeof h, 1, f);
    for (const Rec& r : c.chains) std::fwrite(r.data(), 16, 1, f);
  }
  if (std::fclose(f) != 0) {
    std::perror(tmp.c_str());
    std::exit(1);
  }
  std::string lv = dir + "/state-" + std::to_string(level) + ".bin";
  std::rename(tmp.c_str(), lv.c_str());
  std::string cur = dir + "/state.bin";
  std::remove(cur.c_str());
  if (link(lv.c_str(), cur.c_str()) != 0) {
    std::perror(cur.c_str());
    std::exit(1);
  }
}

int load_state(const std::string& dir, int from) {
  std::string name =
      from < 0 ? dir + "/state.bin" : dir + "/state-" + std::to_string(from) + ".bin";
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f && from >= 0) {
    std::fprintf(stderr, "no checkpoint %s\n", name.c_str());
    std::exit(1);
  }
  if (!f) return -1;
  std::uint32_t hdr[3];
  if (std::fread(hdr, sizeof hdr, 1, f) != 1 || hdr[0] != 0x43474e31u) {
    std::fclose(f);
    return -1;
  }
  for (std::uint32_t i = 0; i < hdr[2]; ++i) {
    std::uint32_t h[2];
    if (std::fread(h, sizeof h, 1, f) != 1) {
      std::fprintf(stderr, "truncated state\n");
      std::exit(1);
    }
    Class c;
    c.rep = h[0];
    c.level = static_cast<std::uint8_t>(h[1] & 0xFF);
    c.chains.resize(h[1] >> 8);
    for (Rec& r : c.chains) {
      if (std::fread(r.data(), 16, 1, f) != 1) {
        std::fprintf(stderr, "truncated state\n");
        std::exit(1);
      }
      g_stored.insert(chain_key(c.rep, r));
    }
    g_rep2id.emplace(c.rep, i);
    g_level[c.level].push_back(i);
    g_classes.push_back(std::move(c));
  }
  std::fclose(f);
  return static_cast<int>(hdr[1]);
}

// ---- output ----------------------------------------------------------------------

void print_table(int upto) {
  std::printf("  level:  found / table   (cumulative shortfall)\n");
  std::uint64_t cf = 0, ct = 0;
  for (int l = 0; l <= upto && l <= 12; ++l) {
    cf += g_level[l].size();
    ct += kTable[l];
    std::printf("  %5d: %7zu / %7llu   %s%llu\n", l, g_level[l].size(),
                (unsigned long long)kTable[l], ct > cf ? "short " : "ok ",
                (unsigned long long)(ct > cf ? ct - cf : 0));
  }
  for (int l = 13; l <= upto; ++l)
    if (!g_level[l].empty()) std::printf("  %5d: %7zu (beyond the table)\n", l, g_level[l].size());
  std::fflush(stdout);
}

bool write_output(const std::string& path) {
  std::vector<std::pair<std::uint32_t, Rec>> recs;
  for (const Class& c : g_classes) {
    if (c.chains.empty()) continue;
    Rec best = *std::min_element(c.chains.begin(), c.chains.end());
    std::uint32_t v;
    int len;
    if (!rec_eval(best, &v, &len) || v != c.rep || g_canon->canon(v) != v) {
      std::fprintf(stderr, "chain of %08x does not verify\n", c.rep);
      return false;
    }
    recs.emplace_back(c.rep, best);
  }
  std::sort(recs.begin(), recs.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::perror(tmp.c_str());
    return false;
  }
  for (auto& [k, r] : recs) std::fwrite(r.data(), 15, 1, f);
  if (std::fclose(f) != 0) return false;
  std::rename(tmp.c_str(), path.c_str());
  std::printf("wrote %zu records (%zu bytes) to %s\n", recs.size(), recs.size() * 15, path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr,
        "usage: %s WORKDIR [--out FILE] [--max-level N] [--keep K] [--keep-low K] [--low-upto L]\n"
        "       [--threads T] [--from-level L] [--general 0|1] [--two-gate 0|1] [--shared 0|1]\n"
        "       [--reduce 0|1] [--walk K:R,...] [--insert-keep K] [--polish-keep K] "
        "[--polish-rounds R]\n"
        "       [--polish-from L] [--stop-when-exact L] [--deep K:R] [--two-move K]\n",
        argv[0]);
    return 2;
  }
  std::string dir = argv[1], out = dir + "/chains.bin";
  int max_level = 12, from = -1;
  bool general = true, two_gate = true, shared = true, reduce = true;
  int polish_keep = 0, polish_rounds = 3, polish_from = 10, insert_keep = 0, two_move = 0;
  // Deep walk: new chains per class and round, rounds at most.
  int deep_quota = 16, deep_rounds = 40;
  // Breadth-first walk stages (chains kept per class, rounds), widest last;
  // none by default (the deep walk reaches further with fewer chains).
  std::vector<std::pair<int, int>> walk;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--out")
      out = argv[i + 1];
    else if (a == "--max-level")
      max_level = std::atoi(argv[i + 1]);
    else if (a == "--keep")
      g_keep = std::atoi(argv[i + 1]);
    else if (a == "--keep-low")
      g_keep_low = std::atoi(argv[i + 1]);
    else if (a == "--low-upto")
      g_low_upto = std::atoi(argv[i + 1]);
    else if (a == "--stop-when-exact")
      g_stop_when_exact = std::atoi(argv[i + 1]);
    else if (a == "--threads")
      g_threads = std::atoi(argv[i + 1]);
    else if (a == "--from-level")
      from = std::atoi(argv[i + 1]);
    else if (a == "--general")
      general = std::atoi(argv[i + 1]) != 0;
    else if (a == "--two-gate")
      two_gate = std::atoi(argv[i + 1]) != 0;
    else if (a == "--shared")
      shared = std::atoi(argv[i + 1]) != 0;
    else if (a == "--reduce")
      reduce = std::atoi(argv[i + 1]) != 0;
    else if (a == "--polish-keep")
      polish_keep = std::atoi(argv[i + 1]);
    else if (a == "--polish-rounds")
      polish_rounds = std::atoi(argv[i + 1]);
    else if (a == "--polish-from")
      polish_from = std::atoi(argv[i + 1]);
    else if (a == "--walk") {
      walk.clear();
      for (const char* p = argv[i + 1]; *p;) {
        char* e;
        int k = static_cast<int>(std::strtol(p, &e, 10)), rounds = 4;
        if (*e == ':') rounds = static_cast<int>(std::strtol(e + 1, &e, 10));
        if (k > 0) walk.emplace_back(k, rounds);
        p = *e == ',' ? e + 1 : e;
        if (e == p && *p) {
          std::fprintf(stderr, "bad --walk %s\n", argv[i + 1]);
          return 2;
        }
      }
    } else if (a == "--insert-keep")
      insert_keep = std::atoi(argv[i + 1]);
    else if (a == "--two-move")
      two_move = std::atoi(argv[i + 1]);
    else if (a == "--deep") {
      char* e;
      deep_quota = static_cast<int>(std::strtol(argv[i + 1], &e, 10));
      deep_rounds = *e == ':' ? std::atoi(e + 1) : 8;
    } else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress lines appear as they are printed
  double t0 = now_s();
  Canon canon;
  g_canon = &canon;
  Bitmap done;
  g_done = &done;
  std::printf("canonicaliser ready in %.1fs\n", now_s() - t0);

  int last = load_state(dir, from);
  if (last < 0) {
    // Level 0: the constant and the single variable.
    for (std::uint32_t rep : {0u, 0x0000FFFFu}) {
      Class c;
      c.rep = rep;
      g_rep2id.emplace(rep, static_cast<std::uint32_t>(g_classes.size()));
      g_level[0].push_back(static_cast<std::uint32_t>(g_classes.size()));
      g_classes.push_back(c);
    }
    last = 0;
    save_state(dir, 0);
  } else {
    std::printf("resuming after level %d (%zu classes)\n", last, g_classes.size());
  }
  for (auto& c : g_classes) {
    c.full = 1;
    mark_orbit(c);
  }
  for (int l = 0; l <= std::min(last, kOrbitLevels); ++l) build_orbit(l);
  std::printf("state ready in %.1fs\n", now_s() - t0);

  const int keep_high = g_keep;
  g_building_levels = true;
  for (int r = last + 1; r <= max_level; ++r) {
    if (g_classes.size() >= kClasses) break;
    double tl = now_s();
    g_cur_level = r;
    g_keep = r <= g_low_upto ? g_keep_low : keep_high;
    std::printf("level %d (up to %d chains per class)\n", r, g_keep);
    std::fflush(stdout);
    rule_topdown(r);
    rule_substitution(r, r <= 10 ? 3 : 2);
    if (shared && r <= 11) rule_shared_topdown(r, 5, 4);
    {
      auto refs = chains_of_level(r - 1);
      rule_chains("ext+insertion", refs, 0, false);
      rule_chains("node insertion", refs, 2, false);
      if (general) rule_chains("general insertion", refs, 0, true);
    }
    if (two_gate && r >= 3) {
      auto refs = chains_of_level(r - 2);
      rule_chains("two-gate extension", refs, 3, false);
    }
    // Rewiring, repeated on the chains each round adds.
    rewiring_rounds(r, "rewiring", 1000, true);
    for (auto id : g_level[r]) {
      g_classes[id].full = 1;
      mark_orbit(g_classes[id]);
    }
    if (r <= kOrbitLevels) build_orbit(r);
    save_state(dir, r);
    std::printf("level %d done in %.1fs, %zu classes in all, peak %ld MiB\n", r, now_s() - tl,
                g_classes.size(), peak_kib() / 1024);
    print_table(r);
  }
  g_building_levels = false;
  if (reduce) {
    // Looks for shorter chains of the classes of level r + 1 (r = 8..11):
    // moves on their stored chains that delete a gate, keeping only results
    // whose class is not known to cost r or less.
    for (int r = 1; r <= 11; ++r) {
      if (level_exact(r)) continue;  // no class of cost r is missing
      double tr = now_s();
      for (auto [keep, rounds] : walk) {
        if (r < polish_from || level_exact(r)) break;
        walk_level(r, keep, rounds);
      }
      if (deep_quota > 0 && r >= polish_from && !level_exact(r))
        deep_walk(r, deep_quota, deep_rounds, static_cast<std::size_t>(keep_high));
      if (level_exact(r)) continue;
      if (insert_keep > 0 && r >= polish_from) {
        // Walks the chains of level r - 1 (storing up to insert_keep per
        // class), then applies the insertion rules to all of them: a chain
        // of r gates for a class placed higher moves it down.
        walk_level(r - 1, insert_keep, polish_rounds);
        reopen_classes([&](const Class& c) { return c.level <= r; });
        g_cur_level = 99;
        auto refs = chains_of_level(r - 1);
        rule_chains("ext+insertion", refs, 0, false);
        rule_chains("node insertion", refs, 2, false);
        rule_chains("general insertion", refs, 0, true);
        if (r >= 3) rule_chains("two-gate extension", chains_of_level(r - 2), 3, false);
      }
      if (polish_keep > 0 && r >= polish_from) {
        // Diversifies the chains of the classes of level r + 1 first: their
        // rewiring stores up to polish_keep chains per class (every other
        // class is finished), so the gate-deleting moves below start from
        // many more chains. A chain that comes out shorter moves its class.
        int saved_keep = g_keep;
        g_keep = polish_keep;
        reopen_classes([&](const Class& c) {
          return c.level != r + 1 || static_cast<int>(c.chains.size()) >= g_keep;
        });
        g_cur_level = r + 1;
        std::printf("diversifying the chains of %d gates (up to %d per class)\n", r + 1, g_keep);
        rewiring_rounds(r + 1, "rewiring (diversify)", polish_rounds, false);
        g_keep = saved_keep;
      }
      reopen_classes([&](const Class& c) { return c.level <= r; });
      g_cur_level = 99;
      auto refs = chains_of_level(r + 1);
      std::printf("reduction to %d gates\n", r);
      run_phase("rewiring (reduce)", refs.size(), 2000,
                [&](Worker& w, std::size_t lo, std::size_t hi) {
                  for (std::size_t i = lo; i < hi; ++i)
                    chain_moves(w, g_classes[refs[i].id].chains[refs[i].k], 1, true);
                });
      run_phase("node replacement", refs.size(), 2000,
                [&](Worker& w, std::size_t lo, std::size_t hi) {
                  for (std::size_t i = lo; i < hi; ++i)
                    chain_moves(w, g_classes[refs[i].id].chains[refs[i].k], 4, false);
                });
      run_phase("cone replacement", refs.size(), 500,
                [&](Worker& w, std::size_t lo, std::size_t hi) {
                  for (std::size_t i = lo; i < hi; ++i)
                    chain_moves(w, g_classes[refs[i].id].chains[refs[i].k], 5, false);
                });
      if (two_move > 0) {
        std::vector<ChainRef> few;
        for (const ChainRef& c : refs)
          if (c.k < two_move) few.push_back(c);
        run_phase("two moves", few.size(), 20, [&](Worker& w, std::size_t lo, std::size_t hi) {
          for (std::size_t i = lo; i < hi; ++i)
            chain_moves(w, g_classes[few[i].id].chains[few[i].k], 6, false);
        });
      }
      std::printf("reduction to %d done in %.1fs\n", r, now_s() - tr);
    }
    for (auto& c : g_classes) {
      c.full = 1;
      mark_orbit(c);
    }
    save_state(dir, 99);
  }
  print_table(max_level);
  if (!write_output(out)) return 1;
  std::printf("total %.1fs, peak %ld MiB\n", now_s() - t0, peak_kib() / 1024);
  return 0;
}
