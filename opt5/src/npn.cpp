#include "opt5/npn.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <smmintrin.h>

#include "npn_internal.hpp"

namespace opt5 {

static_assert(offsetof(canonisation_table, representative) == 0);
static_assert(offsetof(canonisation_table, move) == 65536);
static_assert(offsetof(canonisation_table, tableau) == 98304);
static_assert(offsetof(canonisation_table, class_of) == 99360);
static_assert(offsetof(canonisation_table, walks) == kCanonisationTableBytes);

namespace {

// The walk over the 384 four-input transforms: 255 = stay, 0 = complement
// variable 3, 1/2/3 = exchange variables 2-3, 1-2, 0-1.
constexpr char kDelta4[] =
    "3210123232101231321012303210123132101232321012313210123232101231"
    "3210123032101231321012323210123032101232321012313210123032101231"
    "3210123232101231321012323210123132101230321012313210123232101230"
    "3210123232101231321012303210123132101232321012313210123232101231"
    "3210123032101231321012323210123032101232321012313210123032101231"
    "321012323210123132101232321012313210123032101231321012323210123";
static_assert(sizeof kDelta4 - 1 == 383);

/// One step of the four-input walk on a 16-bit word: code 255 stays, the
/// others as listed at kDelta4.
constexpr std::uint16_t step4(std::uint16_t f, int code) {
  switch (code) {
    case 0:
      return static_cast<std::uint16_t>((f << 8) | (f >> 8));
    case 1:
      return static_cast<std::uint16_t>(delta_swap(f, 4, 0x00F0));
    case 2:
      return static_cast<std::uint16_t>(delta_swap(f, 2, 0x0C0C));
    case 3:
      return static_cast<std::uint16_t>(delta_swap(f, 1, 0x2222));
    default:
      return f;
  }
}

/// The move of the walk that corresponds to a step code (same effect on a transform).
constexpr int step4_move(int code) { return code == 0 ? 8 : code == 255 ? 0 : code; }

/// A table invariant that cannot fail unless the code above is wrong: the
/// library's fatal path, like a chain that fails its check.
[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "opt5: canonisation table: %s\n", what);
  std::fflush(stderr);
  std::exit(1);
}

/// Representative region by orbits: each orbit is walked once by the
/// 384-step walk, and its least word is written to every member. Gives the
/// same entries as canonise_circuit_4 on each word, at 1/150 of the cost.
void fill_representatives(std::uint16_t* representative) {
  std::fill(representative, representative + kNormalWords4, std::uint16_t{0xFFFF});
  std::vector<std::uint16_t> orbit;
  orbit.reserve(384);
  for (std::uint32_t i = 0; i < kNormalWords4; ++i) {
    if (representative[i] != 0xFFFF) continue;
    orbit.clear();
    std::uint16_t f = static_cast<std::uint16_t>(i);
    std::uint16_t least = f;
    for (int s = -1; s < 383; ++s) {
      const int code = s < 0 ? 255 : kDelta4[s] - '0';
      f = step4(f, code);
      if (f & 0x8000) f = static_cast<std::uint16_t>(~f);
      orbit.push_back(f);
      least = std::min(least, f);
    }
    for (std::uint16_t w : orbit) representative[w] = least;
  }
}

// --- transforms as position maps ---------------------------------------------

/// Where each bit position of a 16-bit half goes under a transform without
/// output complement.
using position_map = std::array<std::uint8_t, 16>;

constexpr position_map kIdentityMap = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

/// The 24 permutations of the four position bits, the identity first:
/// kPerms[i][b] is the image of bit b.
constexpr std::array<std::array<std::uint8_t, 4>, 24> kPerms = [] {
  std::array<std::array<std::uint8_t, 4>, 24> out{};
  std::array<std::uint8_t, 4> p = {0, 1, 2, 3};
  for (auto& o : out) {
    o = p;
    std::next_permutation(p.begin(), p.end());
  }
  return out;
}();

/// sigma followed by move m (a swap or an input complement); only_probes:
/// just the positions code_of reads.
position_map then_move(const position_map& sigma, unsigned m, bool only_probes = false) {
  position_map out = sigma;
  for (int p = 0; p < 16; ++p)
    if (!only_probes || (p & (p - 1)) == 0)
      out[p] = static_cast<std::uint8_t>(__builtin_ctz(move_word_inputs(1u << sigma[p], m)));
  return out;
}

/// The code of sigma followed by an optional complement. Only the images of
/// positions 0, 1, 2, 4 and 8 are read: sigma(p) = P(p) XOR c, so c is the
/// image of 0 and P is fixed by the images of the four single bits.
std::uint16_t code_of(const position_map& sigma, bool complement) {
  const unsigned c = sigma[0];
  std::array<std::uint8_t, 4> image{};
  for (unsigned b = 0; b < 4; ++b) {
    const unsigned x = sigma[1u << b] ^ c;
    if (x == 0 || (x & (x - 1)) != 0) broken("a transform is not a permutation of the input bits");
    image[b] = static_cast<std::uint8_t>(__builtin_ctz(x));
  }
  for (unsigned i = 0; i < 24; ++i)
    if (kPerms[i] == image)
      return static_cast<std::uint16_t>(i | (c << 5) | (complement ? 1u << 9 : 0u));
  broken("a transform is not a permutation of the input bits");
}

/// The transform with code `code` applied to the 16-bit half x.
inline std::uint32_t apply_code(const canonisation_table& table, unsigned code, std::uint32_t x) {
  const unsigned perm = code & 31u, c = (code >> 5) & 15u;
  std::uint32_t m = table.permute[perm][0][x & 255u] | table.permute[perm][1][x >> 8];
  const std::uint32_t swap = 0u - ((c >> 3) & 1u);  // exchange the bytes when c >= 8
  m = (m & ~swap) | ((((m << 8) | (m >> 8)) & 0xFFFFu) & swap);
  m = table.flip_low[c & 7u][m & 255u] | (std::uint32_t{table.flip_low[c & 7u][m >> 8]} << 8);
  return (m ^ (0u - ((code >> 9) & 1u))) & 0xFFFFu;
}

/// Fills permute, flip_low and direct (after path).
void fill_direct(canonisation_table& table) {
  for (unsigned i = 0; i < 24; ++i)
    for (unsigned h = 0; h < 2; ++h)
      for (unsigned x = 0; x < 256; ++x) {
        unsigned out = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
          if (!((x >> bit) & 1u)) continue;
          const unsigned p = bit + 8 * h;
          unsigned image = 0;
          for (unsigned b = 0; b < 4; ++b) image |= ((p >> b) & 1u) << kPerms[i][b];
          out |= 1u << image;
        }
        table.permute[i][h][x] = static_cast<std::uint16_t>(out);
      }
  for (unsigned c = 0; c < 8; ++c)
    for (unsigned x = 0; x < 256; ++x) {
      unsigned out = 0;
      for (unsigned bit = 0; bit < 8; ++bit) out |= ((x >> bit) & 1u) << (bit ^ c);
      table.flip_low[c][x] = static_cast<std::uint8_t>(out);
    }
  for (std::uint32_t i = 0; i < kNormalWords4; ++i) {
    position_map sigma = kIdentityMap;
    for (std::uint32_t p = table.path[i] & 0x0FFFFFFFu; p != 0; p >>= 4)
      sigma = then_move(sigma, p & 15u, true);
    table.direct[i] = code_of(sigma, (table.path[i] >> 31) != 0);
    if (apply_code(table, table.direct[i], i) != table.representative[i])
      broken("a direct path misses its representative");
  }
}

// --- stabiliser walks ---------------------------------------------------------

/// The moves a walk uses: the ten that act on the inputs alone (output
/// complements come from normalisation after each move).
constexpr int kWalkMoves[10] = {1, 2, 3, 4, 5, 6, 8, 10, 12, 14};
constexpr int kStates = 384;

/// The graph of the 384 four-input transforms under the ten moves, with a
/// shortest path between every pair of them. Built once per table.
struct TransformGraph {
  std::array<std::array<std::int16_t, 10>, kStates> next{};  // next[s][i]: s after move i
  std::vector<std::uint8_t> dist;                            // kStates x kStates
  std::vector<std::uint8_t> first;             // index of the first move on a shortest path
  std::array<std::int16_t, kStates> order{};   // breadth-first order from the identity
  std::array<std::int16_t, kStates> parent{};  // parent in that order
  std::array<std::int8_t, kStates> via{};      // move index from the parent
  std::array<position_map, kStates> sigma{};   // where each state moves the bits

  TransformGraph() : dist(kStates * kStates, 0xFF), first(kStates * kStates, 0xFF) {
    // States are the packed transforms with t[0] ignored; key = fields 2..5.
    std::vector<std::int16_t> index(1u << 16, -1);
    std::vector<packed_transform> state;
    auto key = [](packed_transform p) { return (p >> 8) & 0xFFFFu; };
    state.push_back(kIdentityPacked);
    index[key(kIdentityPacked)] = 0;
    for (std::size_t s = 0; s < state.size(); ++s) {
      for (int i = 0; i < 10; ++i) {
        const packed_transform p = move_packed(state[s], kWalkMoves[i]) & ~1u;
        if (index[key(p)] < 0) {
          index[key(p)] = static_cast<std::int16_t>(state.size());
          state.push_back(p);
        }
        next[s][i] = index[key(p)];
      }
    }
    if (state.size() != kStates) broken("transform group has the wrong order");
    // Breadth-first search from every state; the one from the identity also
    // gives the spanning tree used to transform representatives.
    std::vector<std::int16_t> queue(kStates);
    for (int src = 0; src < kStates; ++src) {
      std::uint8_t* d = &dist[src * kStates];
      std::uint8_t* f = &first[src * kStates];
      d[src] = 0;
      std::size_t head = 0, tail = 0;
      queue[tail++] = static_cast<std::int16_t>(src);
      if (src == 0) parent[0] = -1, via[0] = -1;
      while (head < tail) {
        const int s = queue[head++];
        for (int i = 0; i < 10; ++i) {
          const int t = next[s][i];
          if (d[t] != 0xFF) continue;
          d[t] = static_cast<std::uint8_t>(d[s] + 1);
          f[t] = s == src ? static_cast<std::uint8_t>(i) : f[s];
          queue[tail++] = static_cast<std::int16_t>(t);
          if (src == 0)
            parent[t] = static_cast<std::int16_t>(s), via[t] = static_cast<std::int8_t>(i);
        }
      }
      if (src == 0) std::copy(queue.begin(), queue.end(), order.begin());
    }
    sigma[0] = kIdentityMap;
    for (int j = 1; j < kStates; ++j) {
      const int s = order[j];
      sigma[s] = then_move(sigma[parent[s]], kWalkMoves[via[s]]);
    }
  }
};

/// Fills the walks and class_of from the representative region: for each
/// representative, the stabiliser (transforms whose normalised image of the
/// representative is itself) and a walk through it that goes each time to the
/// nearest stabiliser element not yet passed.
void build_walks(canonisation_table& table) {
  const TransformGraph g;
  std::fill(std::begin(table.class_of), std::end(table.class_of), std::uint8_t{255});
  std::size_t classes = 0, used = 0, elements = 0;
  std::array<std::uint16_t, kStates> image{};
  std::array<bool, kStates> in_stab{}, passed{};
  for (std::uint32_t v = 0; v < kNormalWords4; ++v) {
    if (table.representative[v] != v) continue;
    if (classes == kClasses4) broken("too many representatives");
    if (table.class_of[v % 1984] != 255) broken("representative hash collides");
    table.class_of[v % 1984] = static_cast<std::uint8_t>(classes);
    // The normalised image of v under every transform, along the BFS tree.
    image[0] = static_cast<std::uint16_t>(v);
    for (int j = 1; j < kStates; ++j) {
      const int s = g.order[j];
      std::uint32_t w = move_word(std::uint32_t{image[g.parent[s]]} << 16, kWalkMoves[g.via[s]]);
      w >>= 16;
      if (w & 0x8000) w ^= 0xFFFF;
      image[s] = static_cast<std::uint16_t>(w);
    }
    int remaining = 0;
    for (int s = 0; s < kStates; ++s) {
      in_stab[s] = image[s] == v;
      passed[s] = s == 0;
      remaining += in_stab[s] && s != 0;
    }
    auto& walk = table.walks[classes];
    walk.representative = static_cast<std::uint16_t>(v);
    walk.stabiliser_size = static_cast<std::uint16_t>(remaining + 1);
    walk.begin = static_cast<std::uint16_t>(used);
    // The stabiliser as transform codes, for the representative-only search.
    walk.first_element = static_cast<std::uint16_t>(elements);
    for (int st = 1; st < kStates; ++st) {
      if (!in_stab[st]) continue;
      const position_map& sigma = g.sigma[st];
      std::uint32_t raw = 0;
      for (int p = 0; p < 16; ++p) raw |= ((v >> p) & 1u) << sigma[p];
      if (elements == kElementCapacity) broken("element capacity exceeded");
      table.elements[elements++] = code_of(sigma, raw != v);
    }
    int cur = 0;
    while (remaining > 0) {
      int target = -1;
      for (int s = 0; s < kStates; ++s) {
        if (in_stab[s] && !passed[s] &&
            (target < 0 || g.dist[cur * kStates + s] < g.dist[cur * kStates + target]))
          target = s;
      }
      while (cur != target) {
        const int i = g.first[cur * kStates + target];
        if (used == kWalkCapacity) broken("walk capacity exceeded");
        table.walk_moves[used++] = static_cast<std::uint8_t>(kWalkMoves[i]);
        cur = g.next[cur][i];
        if (in_stab[cur] && !passed[cur]) passed[cur] = true, --remaining;
      }
    }
    walk.length = static_cast<std::uint16_t>(used - walk.begin);
    walk.packed = 0;
    if (walk.length <= canonisation_table::kShortWalk)
      for (unsigned k = 0; k < walk.length; ++k)
        walk.packed |= std::uint32_t{table.walk_moves[walk.begin + k]} << (4 * k);
    ++classes;
  }
  if (classes != kClasses4) broken("wrong number of representatives");
  for (std::uint32_t i = 0; i < kNormalWords4; ++i)
    table.class_index[i] = table.class_of[table.representative[i] % 1984];
}

/// Fills path[] by following the move region from every normal word. The
/// output complements of the odd moves commute with every move, so they are
/// gathered into bit 31 and each odd move is stored as its even partner.
void fill_paths(canonisation_table& table) {
  for (std::uint32_t i = 0; i < kNormalWords4; ++i) {
    std::uint32_t w = i << 16, path = 0;
    for (unsigned k = 0;; ++k) {
      const unsigned m = table.move[w >> 16];
      if (m == 0) break;
      if (k == 7 || m > 14) broken("move path longer than seven");
      const bool odd = m >= 7 && (m & 1u);
      path |= (odd ? m + 1 : m) << (4 * k);
      path ^= odd ? 0x80000000u : 0u;
      w = move_word(w, m);
    }
    table.path[i] = path;
  }
}

/// The word after each rotation: rotation k has node k + 1 of f at node 1 and
/// the other four nodes, in increasing order, at nodes 2..5; its transform.
constexpr packed_transform kRotationTransform[5] = {0x543210, 0x543120, 0x542130, 0x532140,
                                                    0x432150};

/// The five rotations of f and the ranking of their ten halves by
/// four-input class: `least` is the smallest class index among the halves,
/// and bit 2c of `candidates` is set when candidate c (the upper, c even, or
/// lower half of rotation c / 2) belongs to it.
struct ranking {
  std::uint32_t r[5];
  unsigned candidates;
  std::uint32_t least;
};

inline ranking rank_halves(std::uint32_t f, const canonisation_table& table) {
  ranking out;
  std::uint32_t* const r = out.r;
  r[0] = f;
  r[1] = delta_swap(r[0], 8, 0x0000FF00u);
  r[2] = delta_swap(r[1], 12, 0x0000F0F0u);
  r[3] = delta_swap(r[2], 14, 0x0000CCCCu);
  r[4] = delta_swap(r[3], 15, 0x0000AAAAu);
  // Rank the ten halves by their four-input representatives. Candidate
  // c = 2k + h is the upper (h = 0) or lower (h = 1) half of r[k]; the first
  // eight are the 16-bit lanes of one vector, lane c, the last two apart. A
  // half with bit 15 set is complemented first.
  __m128i halves = _mm_set_epi32(static_cast<int>(r[3]), static_cast<int>(r[2]),
                                 static_cast<int>(r[1]), static_cast<int>(r[0]));
  halves = _mm_or_si128(_mm_slli_epi32(halves, 16), _mm_srli_epi32(halves, 16));
  halves = _mm_xor_si128(halves, _mm_srai_epi16(halves, 15));
  alignas(16) std::uint16_t half[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(half), halves);
  const std::uint8_t* const index = table.class_index;
  const __m128i ranks =
      _mm_set_epi16(index[half[7]], index[half[6]], index[half[5]], index[half[4]], index[half[3]],
                    index[half[2]], index[half[1]], index[half[0]]);
  const std::uint32_t hi4 = r[4] >> 16, lo4 = r[4] & 0xFFFFu;
  const std::uint32_t rank8 = index[(hi4 ^ (0u - (hi4 >> 15))) & 0x7FFFu];
  const std::uint32_t rank9 = index[(lo4 ^ (0u - (lo4 >> 15))) & 0x7FFFu];
  const std::uint32_t least =
      std::min({static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(ranks)) & 0xFFFF),
                rank8, rank9});
  // Bit 2c set: candidate c reaches the least representative.
  unsigned candidates = static_cast<unsigned>(_mm_movemask_epi8(
                            _mm_cmpeq_epi16(ranks, _mm_set1_epi16(static_cast<short>(least))))) &
                        0x5555u;
  candidates |= (unsigned{rank8 == least} << 16) | (unsigned{rank9 == least} << 18);
  out.candidates = candidates;
  out.least = least;
  return out;
}

template <bool Track>
inline std::uint32_t canonise(std::uint32_t f, packed_transform& t_out,
                              const canonisation_table& table) {
  if (f == 0 || f == 0x69969669u) {
    t_out = kIdentityPacked;
    return f;
  }
  const ranking ranked = rank_halves(f, table);
  const std::uint32_t* const r = ranked.r;
  unsigned candidates = ranked.candidates;
  const std::uint32_t least = ranked.least;

  const auto& walk = table.walks[least];
  const std::uint32_t v = walk.representative;
  if constexpr (!Track) {
    // The representative alone: every candidate's upper half becomes v, so
    // only the lower halves compete. Each is brought along its direct path
    // and through the stabiliser by table lookups, with no chain of moves.
    const std::uint16_t* const element = table.elements + walk.first_element;
    const unsigned others = walk.stabiliser_size - 1u;
    std::uint32_t best_low = ~0u;
    while (candidates != 0) {
      const int c = __builtin_ctz(candidates) >> 1;
      candidates &= candidates - 1;
      std::uint32_t w = r[c >> 1];
      if (c & 1) w = (w << 16) | (w >> 16);
      w ^= 0u - (w >> 31);
      const std::uint32_t low = apply_code(table, table.direct[w >> 16], w & 0xFFFFu);
      best_low = std::min(best_low, low);
      if (others <= 1) {
        best_low = std::min(best_low, apply_code(table, others ? element[0] : 0u, low));
      } else {
        for (unsigned i = 0; i < others; ++i)
          best_low = std::min(best_low, apply_code(table, element[i], low));
      }
      if (v == 0) break;  // see below
    }
    t_out = kIdentityPacked;
    return (v << 16) | best_low;
  }
  const std::uint8_t* const walk_begin = table.walk_moves + walk.begin;
  const std::uint8_t* const walk_end = walk_begin + walk.length;
  const bool short_walk = walk.length <= canonisation_table::kShortWalk;

  std::uint32_t best = ~0u;
  packed_transform best_t = kIdentityPacked;
  while (candidates != 0) {
    const int c = __builtin_ctz(candidates) >> 1;
    candidates &= candidates - 1;
    const int k = c >> 1;
    std::uint32_t w = r[k];
    packed_transform t = kRotationTransform[k];
    if (c & 1) {  // the lower half: exchange the halves
      w = (w << 16) | (w >> 16);
      t ^= 0x80;  // t[1] = -(k + 1)
    }
    if (w >> 31) {
      w = ~w;
      t ^= 1;
    }
    // Bring the upper half to v along the move region: seven moves, the
    // missing ones no-ops, then the gathered output complement.
    std::uint32_t path = table.path[w >> 16];
    const std::uint32_t flip = path >> 31;
    for (int i = 0; i < 7; ++i, path >>= 4) {
      w = move_word_inputs(w, path & 15u);
      if constexpr (Track) t = move_packed(t, path & 15u);
    }
    w ^= 0u - flip;
    if constexpr (Track) t ^= flip;
    if (w < best) best = w, best_t = t;
    // Every other transform that keeps the upper half at v. Most walks are
    // short (a stabiliser of one or two elements) and go without a loop.
    auto step = [&](unsigned m) {
      w = move_word_inputs(w, m);
      const std::uint32_t neg = 0u - (w >> 31);
      w ^= neg;
      if constexpr (Track) t = move_packed(t, m) ^ (neg & 1u);
      if (w < best) best = w, best_t = t;
    };
    if (short_walk) {
      std::uint32_t p = walk.packed;
      for (unsigned i = 0; i < canonisation_table::kShortWalk; ++i, p >>= 4) step(p & 15u);
    } else {
      for (const std::uint8_t* p = walk_begin; p != walk_end; ++p) step(*p);
    }
    // A constant half: the walk above covered every transform of the other
    // half, and any other candidate yields the same words.
    if (v == 0) break;
  }
  t_out = best_t;
  return best;
}

}  // namespace

transform unpack_transform(packed_transform p) {
  transform t;
  t[0] = static_cast<std::int16_t>(p & 1u);
  for (int k = 1; k < 6; ++k) {
    const unsigned field = (p >> (4 * k)) & 15u;
    const auto m = static_cast<std::int16_t>(field & 7u);
    t[k] = (field & 8u) ? static_cast<std::int16_t>(-m) : m;
  }
  return t;
}

std::uint32_t apply_move(std::uint32_t w, int move) {
  return move_word(w, move >= 0 && move <= 14 ? move : 0);
}

void apply_move(transform& t, int move) {
  switch (move) {
    case 1:
      std::swap(t[2], t[3]);
      break;
    case 2:
      std::swap(t[3], t[4]);
      break;
    case 3:
      std::swap(t[4], t[5]);
      break;
    case 4:
      std::swap(t[2], t[4]);
      break;
    case 5:
      std::swap(t[3], t[5]);
      break;
    case 6:
      std::swap(t[2], t[5]);
      break;
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14: {
      const int k = 2 + (move - 7) / 2;
      t[k] = static_cast<std::int16_t>(-t[k]);
      if (move & 1) t[0] ^= 1;
      break;
    }
    default:
      break;
  }
}

std::uint16_t canonise_circuit_4(std::uint16_t f, transform& t) {
  transform cur = transform::identity();
  std::uint16_t best = 0xFFFF;
  for (int s = -1; s < 383; ++s) {
    const int code = s < 0 ? 255 : kDelta4[s] - '0';
    f = step4(f, code);
    apply_move(cur, step4_move(code));
    if ((code == 255 || code == 0) && (f & 0x8000)) {
      f = static_cast<std::uint16_t>(~f);
      cur[0] ^= 1;
    }
    if (f < best) best = f, t = cur;
  }
  return best;
}

void run_dijkstra(const std::uint16_t* representative, std::uint8_t* move) {
  std::vector<std::uint16_t> distance(kNormalWords4, 999);
  std::fill(move, move + kNormalWords4, std::uint8_t{0});
  for (std::size_t i = 0; i < kNormalWords4; ++i) distance[representative[i]] = 0;
  // Passes in place until nothing improves; an improvement is used at once by
  // the words after it in the same pass.
  for (bool changed = true; changed;) {
    changed = false;
    for (std::uint32_t a = 0; a < kNormalWords4; ++a) {
      for (int m = 1; m <= 14; ++m) {
        const std::uint32_t w = move_word(a << 16, m);
        if (w >> 31) continue;
        const unsigned b = distance[w >> 16];
        if (b + 1 < distance[a]) {
          distance[a] = static_cast<std::uint16_t>(b + 1);
          move[a] = static_cast<std::uint8_t>(m);
          changed = true;
        }
      }
    }
  }
}

void init_tableau(std::uint16_t* tableau) {
  // Index bits 0..2 are the operator, bit 3 complements input A, bit 9 input B.
  static constexpr std::uint16_t kA[8] = {0, 0x8000, 0, 0x8000, 0x0002, 0x8002, 0x0002, 0x8002};
  static constexpr std::uint16_t kB[8] = {0, 0, 0x8000, 0x8000, 0x0001, 0x0001, 0x8001, 0x8001};
  static constexpr std::uint16_t kAB[8] = {0, 0x8000, 0x8000, 0, 0x8003, 0x0003, 0x0003, 0x8003};
  for (int op = 0; op < 8; ++op) {
    tableau[op] = 0;
    tableau[8 + op] = kA[op];
    tableau[512 + op] = kB[op];
    tableau[520 + op] = kAB[op];
  }
}

void prepare_table(canonisation_table& table) {
  fill_representatives(table.representative);
  run_dijkstra(table.representative, table.move);
  init_tableau(table.tableau);
  build_walks(table);
  fill_paths(table);
  fill_direct(table);
}

std::uint32_t canonise_circuit_fast(std::uint32_t f, transform& t,
                                    const canonisation_table& table) {
  packed_transform p;
  const std::uint32_t r = canonise<true>(f, p, table);
  t = unpack_transform(p);
  return r;
}

std::uint32_t get_representant(std::uint32_t f, const canonisation_table& table) {
  packed_transform unused;
  return canonise<false>(f ^ (0u - (f >> 31)), unused, table);
}

unsigned symmetry_count(std::uint32_t r, const canonisation_table& table) {
  if (r >> 31) return 0;
  // Every input transform puts one node, in one polarity, at node 1 (a
  // candidate half) and transforms the other four; those that can give r
  // bring that half to r's upper half, so they are the candidates of the
  // least class, each followed by its direct path and then every element of
  // the stabiliser of that class (the identity included).
  const ranking ranked = rank_halves(r, table);
  const auto& walk = table.walks[ranked.least];
  if ((r >> 16) != walk.representative) return 0;
  const std::uint16_t* const element = table.elements + walk.first_element;
  const unsigned others = walk.stabiliser_size - 1u;
  const std::uint32_t target = r & 0xFFFFu;
  unsigned count = 0;
  for (unsigned candidates = ranked.candidates; candidates != 0; candidates &= candidates - 1) {
    const int c = __builtin_ctz(candidates) >> 1;
    std::uint32_t w = ranked.r[c >> 1];
    if (c & 1) w = (w << 16) | (w >> 16);
    w ^= 0u - (w >> 31);
    const std::uint32_t low = apply_code(table, table.direct[w >> 16], w & 0xFFFFu);
    count += low == target;
    for (unsigned i = 0; i < others; ++i) count += apply_code(table, element[i], low) == target;
  }
  return count;
}

std::span<const std::uint8_t> stabiliser_walk(const canonisation_table& table, std::uint16_t v) {
  const std::uint8_t c = table.class_of[v % 1984];
  if (c == 255 || table.walks[c].representative != v) return {};
  return {table.walk_moves + table.walks[c].begin, table.walks[c].length};
}

unsigned stabiliser_size(const canonisation_table& table, std::uint16_t v) {
  const std::uint8_t c = table.class_of[v % 1984];
  if (c == 255 || table.walks[c].representative != v) return 0;
  return table.walks[c].stabiliser_size;
}

}  // namespace opt5
