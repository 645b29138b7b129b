#include "canon.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace chaingen {

namespace {

// Delta-swap masks that exchange variable k (k < 4) with variable 4: the
// positions of the inputs with variable 4 = 1 and variable k = 0.
struct SwapMasks {
  std::uint32_t mask[5]{};
  int shift[5]{};
  SwapMasks() {
    for (int k = 0; k < 4; ++k) {
      shift[k] = 16 - (1 << k);
      for (int j = 0; j < 32; ++j)
        if ((j >> 4 & 1) && !(j >> k & 1)) mask[k] |= 1u << (31 - j);
    }
  }
};
const SwapMasks kSwap;

inline int swap_index(int j, int k) {
  int a = j >> k & 1, b = j >> 4 & 1;
  if (a != b) j ^= (1 << k) | 16;
  return j;
}

}  // namespace

Xform Xform::identity() {
  Xform x;
  for (int j = 0; j < 32; ++j) x.map[j] = static_cast<std::uint8_t>(j);
  return x;
}

std::uint32_t Xform::apply(std::uint32_t f) const {
  std::uint32_t r = 0;
  for (int j = 0; j < 32; ++j) {
    std::uint32_t bit = ((f >> (31 - map[j])) & 1) ^ out;
    r |= bit << (31 - j);
  }
  return r;
}

Xform Xform::inverse() const {
  Xform x;
  for (int j = 0; j < 32; ++j) x.map[map[j]] = static_cast<std::uint8_t>(j);
  x.out = out;
  return x;
}

Xform Xform::then(const Xform& next) const {
  Xform x;
  for (int j = 0; j < 32; ++j) x.map[j] = map[next.map[j]];
  x.out = out ^ next.out;
  return x;
}

void Xform::literals(std::array<std::uint8_t, 5>& src, std::uint8_t& neg) const {
  neg = map[0];
  for (int m = 0; m < 5; ++m) {
    int d = map[1 << m] ^ map[0];
    for (int i = 0; i < 5; ++i)
      if (d == (1 << i)) src[i] = static_cast<std::uint8_t>(m);
  }
}

std::uint32_t Canon::swap_to_top(std::uint32_t f, int k) {
  if (k == 4) return f;
  int s = kSwap.shift[k];
  std::uint32_t t = ((f >> s) ^ f) & kSwap.mask[k];
  return f ^ t ^ (t << s);
}

Canon::Canon() {
  // The 384 four-input transforms: id = permutation * 16 + complemented set.
  int perm[4] = {0, 1, 2, 3};
  int p = 0;
  std::map<std::uint64_t, int> ids;
  do {
    for (int neg = 0; neg < 16; ++neg) {
      int t = p * 16 + neg;
      std::uint64_t key = 0;
      for (int j = 0; j < 16; ++j) {
        int m = 0;
        for (int i = 0; i < 4; ++i) m |= ((j >> perm[i] & 1) ^ (neg >> i & 1)) << i;
        map4_[t][j] = static_cast<std::uint8_t>(m);
        key |= static_cast<std::uint64_t>(m) << (4 * j);
      }
      ids[key] = t;
      int inv[16];
      for (int j = 0; j < 16; ++j) inv[map4_[t][j]] = j;
      for (int h = 0; h < 2; ++h)
        for (int b = 0; b < 256; ++b) {
          std::uint16_t o = 0;
          for (int q = 0; q < 8; ++q)
            if (b >> q & 1) o |= static_cast<std::uint16_t>(1u << (15 - inv[15 - (q + 8 * h)]));
          lut_[t][h][b] = o;
        }
    }
    ++p;
  } while (std::next_permutation(perm, perm + 4));

  compose_.resize(384 * 384);
  for (int s = 0; s < 384; ++s)
    for (int t = 0; t < 384; ++t) {
      std::uint64_t key = 0;
      for (int j = 0; j < 16; ++j)
        key |= static_cast<std::uint64_t>(map4_[t][map4_[s][j]]) << (4 * j);
      compose_[s * 384 + t] = static_cast<std::uint16_t>(ids.at(key));
    }

  repidx_.assign(65536, -1);
  for (std::uint32_t w = 0; w < 65536; ++w) {
    std::uint32_t best = 0x10000, bt = 0, mn = 0x10000, mt = 0;
    for (int t = 0; t < 384; ++t) {
      std::uint32_t x = apply4(t, static_cast<std::uint16_t>(w));
      if (x < mn) {
        mn = x;
        mt = t;
      }
      std::uint32_t c = x >> 15;
      std::uint32_t y = c ? (x ^ 0xFFFF) : x;
      if (y < best) {
        best = y;
        bt = static_cast<std::uint32_t>(t) | (c << 15);
      }
    }
    rep4_[w] = static_cast<std::uint16_t>(best);
    rep4t_[w] = static_cast<std::uint16_t>(bt);
    min4_[w] = static_cast<std::uint16_t>(mn);
    min4t_[w] = static_cast<std::uint16_t>(mt);
  }
  for (std::uint32_t w = 0; w < 65536; ++w)
    if (rep4_[w] == w) {
      repidx_[w] = static_cast<std::int32_t>(reps4_.size());
      reps4_.push_back(static_cast<std::uint16_t>(w));
      std::vector<std::uint16_t> st;
      for (int t = 0; t < 384; ++t) {
        std::uint16_t x = apply4(t, static_cast<std::uint16_t>(w));
        if (x == w) st.push_back(static_cast<std::uint16_t>(t));
        if ((x ^ 0xFFFF) == w) st.push_back(static_cast<std::uint16_t>(t | 0x8000));
      }
      stab_.push_back(std::move(st));
    }
  if (reps4_.size() != 222) throw std::logic_error("four-input class count is not 222");
}

template <bool WantT>
std::uint32_t Canon::run(std::uint32_t f, Xform* xf) const {
  std::uint32_t W[5];
  for (int k = 0; k < 5; ++k) W[k] = swap_to_top(f, k);
  std::uint32_t V = 0x10000, cands = 0;
  for (int k = 0; k < 5; ++k)
    for (int p = 0; p < 2; ++p) {
      std::uint16_t half = static_cast<std::uint16_t>(p ? W[k] : W[k] >> 16);
      std::uint32_t r = rep4_[half];
      if (r < V) {
        V = r;
        cands = 1u << (2 * k + p);
      } else if (r == V)
        cands |= 1u << (2 * k + p);
    }
  std::uint32_t best = 0x10000;
  int bk = 0, bp = 0, bt = 0, bc = 0;
  if (V == 0) {
    for (std::uint32_t m = cands; m; m &= m - 1) {
      int c = __builtin_ctz(m), k = c >> 1, p = c & 1;
      std::uint16_t half = static_cast<std::uint16_t>(p ? W[k] : W[k] >> 16);
      std::uint16_t other = static_cast<std::uint16_t>(p ? W[k] >> 16 : W[k]);
      int c0 = rep4t_[half] >> 15;
      std::uint16_t o = static_cast<std::uint16_t>(c0 ? other ^ 0xFFFF : other);
      std::uint32_t low = min4_[o];
      if (low < best) {
        best = low;
        if constexpr (WantT) {
          bk = k;
          bp = p;
          bt = min4t_[o];
          bc = c0;
        }
      }
    }
  } else {
    const auto& st = stab_[repidx_[V]];
    for (std::uint32_t m = cands; m; m &= m - 1) {
      int c = __builtin_ctz(m), k = c >> 1, p = c & 1;
      std::uint16_t half = static_cast<std::uint16_t>(p ? W[k] : W[k] >> 16);
      std::uint16_t other = static_cast<std::uint16_t>(p ? W[k] >> 16 : W[k]);
      int e = rep4t_[half], t0 = e & 0x1FF, c0 = e >> 15;
      std::uint16_t o = apply4(t0, other);
      if (c0) o ^= 0xFFFF;
      for (std::uint16_t s : st) {
        int sid = s & 0x1FF, d = s >> 15;
        std::uint32_t low = apply4(sid, o);
        if (d) low ^= 0xFFFF;
        if (low < best) {
          best = low;
          if constexpr (WantT) {
            bk = k;
            bp = p;
            bt = compose_[sid * 384 + t0];
            bc = c0 ^ d;
          }
        }
      }
    }
  }
  if constexpr (WantT) {
    for (int j = 0; j < 32; ++j) {
      int idx = (((j >> 4) ^ bp) << 4) | map4_[bt][j & 15];
      xf->map[j] = static_cast<std::uint8_t>(swap_index(idx, bk));
    }
    xf->out = static_cast<std::uint8_t>(bc);
  }
  return (V << 16) | best;
}

template std::uint32_t Canon::run<false>(std::uint32_t, Xform*) const;
template std::uint32_t Canon::run<true>(std::uint32_t, Xform*) const;

}  // namespace chaingen
