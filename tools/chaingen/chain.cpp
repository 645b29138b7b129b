#include "chain.hpp"

namespace chaingen {

void GChain::eval(std::uint32_t* v) const {
  for (int i = 0; i < 6; ++i) v[i] = kNode[i];
  for (int i = 0; i < n; ++i) v[6 + i] = eval_tt(g[i].tt, v[g[i].a], v[g[i].b]);
}

int GChain::append(const GChain& o, int* compl_out) {
  int base = n;
  for (int i = 0; i < o.n; ++i) {
    GGate x = o.g[i];
    if (x.a >= 6) x.a = static_cast<std::uint8_t>(x.a + base);
    if (x.b >= 6) x.b = static_cast<std::uint8_t>(x.b + base);
    g[n++] = x;
  }
  *compl_out = o.outc;
  return o.out >= 6 ? o.out + base : o.out;
}

GChain GChain::transformed(const Xform& xf) const {
  std::array<std::uint8_t, 5> src{};
  std::uint8_t neg = 0;
  xf.literals(src, neg);
  // Node of variable i becomes the node of variable src[i], complemented by
  // bit i of neg.
  int to[6] = {0, 0, 0, 0, 0, 0};
  int cm[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 5; ++i) {
    to[var_node(i)] = var_node(src[i]);
    cm[var_node(i)] = neg >> i & 1;
  }
  GChain r = *this;
  for (int i = 0; i < n; ++i) {
    GGate& x = r.g[i];
    unsigned tt = x.tt;
    if (x.a >= 1 && x.a <= 5) {
      if (cm[x.a]) tt = tt_neg_a(tt);
      x.a = static_cast<std::uint8_t>(to[x.a]);
    }
    if (x.b >= 1 && x.b <= 5) {
      if (cm[x.b]) tt = tt_neg_b(tt);
      x.b = static_cast<std::uint8_t>(to[x.b]);
    }
    x.tt = static_cast<std::uint8_t>(tt);
  }
  if (out >= 1 && out <= 5) {
    r.outc = static_cast<std::uint8_t>(outc ^ cm[out]);
    r.out = static_cast<std::uint8_t>(to[out]);
  }
  r.outc ^= xf.out;
  return r;
}

namespace {

// Post-order of the gates reachable from `node`; false on a cycle.
bool visit(const GChain& c, int node, std::uint8_t* state, std::uint8_t* order, int* k) {
  if (node < 6) return true;
  if (state[node] == 2) return true;
  if (state[node] == 1) return false;
  state[node] = 1;
  const GGate& x = c.g[node - 6];
  if (!visit(c, x.a, state, order, k) || !visit(c, x.b, state, order, k)) return false;
  state[node] = 2;
  order[(*k)++] = static_cast<std::uint8_t>(node);
  return true;
}

}  // namespace

bool finish(const GChain& c, Rec& rec, std::uint32_t* value, int* len) {
  if (c.out >= 6 + c.n) return false;
  std::uint8_t state[kMaxNodes] = {};
  std::uint8_t order[kMaxNodes];
  int k = 0;
  if (!visit(c, c.out, state, order, &k)) return false;
  // Rebuild in order; every gate whose value (or its complement) is already
  // a node becomes that node; kept gates are complemented to be normal.
  std::uint32_t nv[kMaxNodes];
  GGate ng[kMaxNodes];
  int nn = 6;
  for (int i = 0; i < 6; ++i) nv[i] = kNode[i];
  std::uint8_t mapn[kMaxNodes], mapc[kMaxNodes];
  for (int i = 0; i < 6; ++i) {
    mapn[i] = static_cast<std::uint8_t>(i);
    mapc[i] = 0;
  }
  for (int i = 0; i < k; ++i) {
    int node = order[i];
    const GGate& x = c.g[node - 6];
    unsigned tt = x.tt;
    int a = mapn[x.a], b = mapn[x.b];
    if (mapc[x.a]) tt = tt_neg_a(tt);
    if (mapc[x.b]) tt = tt_neg_b(tt);
    std::uint32_t v = eval_tt(tt, nv[a], nv[b]);
    int found = -1;
    std::uint8_t fc = 0;
    for (int j = 0; j < nn; ++j) {
      if (nv[j] == v) {
        found = j;
        break;
      }
      if (nv[j] == ~v) {
        found = j;
        fc = 1;
        break;
      }
    }
    if (found >= 0) {
      mapn[node] = static_cast<std::uint8_t>(found);
      mapc[node] = fc;
      continue;
    }
    std::uint8_t cc = 0;
    if (v >> 31) {
      tt ^= 15;
      v = ~v;
      cc = 1;
    }
    ng[nn] = GGate{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                   static_cast<std::uint8_t>(tt)};
    nv[nn] = v;
    mapn[node] = static_cast<std::uint8_t>(nn);
    mapc[node] = cc;
    ++nn;
  }
  int outn = c.out < 6 ? c.out : mapn[c.out];
  if (outn < 6) return false;
  // Keep the gates the output needs; they precede it.
  std::uint8_t need[kMaxNodes] = {};
  need[outn] = 1;
  for (int j = outn; j >= 6; --j)
    if (need[j]) need[ng[j].a] = need[ng[j].b] = 1;
  std::uint8_t ren[kMaxNodes];
  for (int i = 0; i < 6; ++i) ren[i] = static_cast<std::uint8_t>(i);
  int cnt = 0;
  for (int j = 6; j <= outn; ++j)
    if (need[j]) ren[j] = static_cast<std::uint8_t>(6 + cnt++);
  if (cnt > 12) return false;
  rec.fill(0);
  int f = 0;
  for (int j = 6; j <= outn; ++j) {
    if (!need[j]) continue;
    int a = ren[ng[j].a], b = ren[ng[j].b];
    unsigned op;
    switch (ng[j].tt) {
      case 8:
        op = 0;
        break;
      case 14:
        op = 1;
        break;
      case 6:
        op = 2;
        break;
      case 4:
        op = 3;
        break;
      case 2:
        op = 3;
        std::swap(a, b);
        break;
      default:
        return false;
    }
    if (a < 1 || b < 1 || a > 16 || b > 16) return false;
    rec_set_field(rec, f++,
                  static_cast<unsigned>(a - 1) | static_cast<unsigned>(b - 1) << 4 | op << 8);
  }
  *value = nv[outn];
  *len = cnt;
  return true;
}

void rec_set_field(Rec& r, int k, unsigned v) {
  for (int i = 0; i < 10; ++i) {
    unsigned bit = 10u * k + i;
    if (v >> i & 1)
      r[bit >> 3] = static_cast<std::uint8_t>(r[bit >> 3] | (1u << (bit & 7)));
    else
      r[bit >> 3] = static_cast<std::uint8_t>(r[bit >> 3] & ~(1u << (bit & 7)));
  }
}

int rec_len(const Rec& r) {
  for (int k = 0; k < 12; ++k)
    if (rec_field(r, k) == 0) return k;
  return 12;
}

bool rec_eval(const Rec& r, std::uint32_t* value, int* len) {
  std::uint32_t v[18];
  for (int i = 0; i < 6; ++i) v[i] = kNode[i];
  int n = 0;
  for (int k = 0; k < 12; ++k) {
    unsigned f = rec_field(r, k);
    if (f == 0) {
      for (int m = k + 1; m < 12; ++m)
        if (rec_field(r, m) != 0) return false;
      break;
    }
    unsigned a = (f & 15) + 1, b = ((f >> 4) & 15) + 1, op = f >> 8;
    if (a >= 6u + k || b >= 6u + k) return false;
    std::uint32_t x = v[a], y = v[b], z;
    switch (op) {
      case 0:
        z = x & y;
        break;
      case 1:
        z = x | y;
        break;
      case 2:
        z = x ^ y;
        break;
      default:
        z = x & ~y;
        break;
    }
    v[6 + k] = z;
    n = k + 1;
  }
  if (n == 0) return false;
  *value = v[5 + n];
  *len = n;
  return true;
}

GChain rec_chain(const Rec& r) {
  GChain c;
  static constexpr std::uint8_t tts[4] = {8, 14, 6, 4};
  int n = rec_len(r);
  for (int k = 0; k < n; ++k) {
    unsigned f = rec_field(r, k);
    c.add(static_cast<int>((f & 15) + 1), static_cast<int>(((f >> 4) & 15) + 1), tts[f >> 8]);
  }
  c.out = static_cast<std::uint8_t>(5 + n);
  return c;
}

}  // namespace chaingen
