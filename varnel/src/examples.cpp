#include "examples.hpp"

#include <sys/sysinfo.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include "clique_solver.hpp"
#include "error.hpp"
#include "pool.hpp"

namespace varnel::examples {

namespace {

using Words = std::span<std::uint64_t>;

constexpr std::uint64_t kAll = ~std::uint64_t{0};
// Bit b of a word is the input 64w + b, which is odd exactly when b is.
constexpr std::uint64_t kOddPositions = 0xAAAAAAAAAAAAAAAAull;
// Words per chunk of the simple word-by-word fills on the pool.
constexpr std::uint64_t kFillGrain = std::uint64_t{1} << 14;
// Tables below this many words (2 MiB) are built on the calling thread alone:
// their work is shorter than waking the pool's workers can be on a busy machine.
constexpr std::uint64_t kPoolWords = std::uint64_t{1} << 18;

// body(begin, end) over chunks of [0, n) of `grain` items: on the pool when the
// table has at least kPoolWords words, else in one call on this thread.
void spread(std::uint64_t n, std::uint64_t grain, std::uint64_t table_words,
            const std::function<void(std::uint64_t, std::uint64_t)>& body) {
  if (table_words < kPoolWords) {
    if (n > 0) body(0, n);
    return;
  }
  pool::parallel_for(n, grain, body);
}

// ---------------------------------------------------------------------------
// Sizes and failures

void check_range(std::uint64_t n, std::uint64_t max, const char* family) {
  if (n > max) {
    throw ValueError(std::string(family) + ": n must be at most " + std::to_string(max) + ", got " +
                     std::to_string(n));
  }
}

// parity, majority and primality have n variables. A table of 2^63 entries (n
// of 63 modulo 64) cannot be represented at all; other n above 62 describe no
// table of this family.
void check_single_operand(std::uint64_t n, const char* family) {
  if (n % 64 == 63) panic("capacity overflow");
  check_range(n, 62, family);
}

// Memory and swap of the machine together, or 0 when unknown.
std::uint64_t memory_bytes() {
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return 0;
  using u128 = unsigned __int128;
  const u128 unit = info.mem_unit == 0 ? 1 : info.mem_unit;
  const u128 total = (u128{info.totalram} + info.totalswap) * unit;
  return total > ~std::uint64_t{0} ? ~std::uint64_t{0} : static_cast<std::uint64_t>(total);
}

// A fresh all-false table of 2^vars entries. A table larger than the machine's
// memory and swap together is refused up front with std::bad_alloc (MemoryError
// in Python), so the outcome does not depend on how the kernel treats
// over-large requests.
FValue new_table(unsigned vars) {
  const std::uint64_t size = std::uint64_t{1} << vars;
  const std::uint64_t memory = memory_bytes();
  if (memory != 0 && words_for(size) > memory / 8) throw std::bad_alloc();
  return FValue::zeros(size);
}

std::uint64_t isqrt(std::uint64_t v) {
  auto r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(v)));
  while (r > 0 && r * r > v) --r;
  while ((r + 1) * (r + 1) <= v) ++r;
  return r;
}

// ---------------------------------------------------------------------------
// Word patterns

// Bit j set when popcount(j) is even.
constexpr std::uint64_t kEvenWeight = [] {
  std::uint64_t w = 0;
  for (unsigned j = 0; j < 64; ++j) {
    if (std::popcount(j) % 2 == 0) w |= std::uint64_t{1} << j;
  }
  return w;
}();

// kWeightAtLeast[t]: bit j set when popcount(j) >= t (t = 0 .. 7).
constexpr std::array<std::uint64_t, 8> kWeightAtLeast = [] {
  std::array<std::uint64_t, 8> a{};
  for (unsigned t = 0; t < 8; ++t) {
    for (unsigned j = 0; j < 64; ++j) {
      if (static_cast<unsigned>(std::popcount(j)) >= t) a[t] |= std::uint64_t{1} << j;
    }
  }
  return a;
}();

// kSupersets[x]: bit j set when j contains every bit of x (j & x == x).
constexpr std::array<std::uint64_t, 64> kSupersets = [] {
  std::array<std::uint64_t, 64> a{};
  for (unsigned x = 0; x < 64; ++x) {
    for (unsigned j = 0; j < 64; ++j) {
      if ((j & x) == x) a[x] |= std::uint64_t{1} << j;
    }
  }
  return a;
}();

// Multiples of a set of primes as a bit pattern over inputs 0 .. 64P - 1, P the
// product of the primes: it repeats every P words, since 64P is a multiple of P.
std::vector<std::uint64_t> multiples_pattern(std::initializer_list<std::uint64_t> primes) {
  std::uint64_t period = 1;
  for (auto p : primes) period *= p;
  std::vector<std::uint64_t> words(period, 0);
  for (auto p : primes) {
    for (std::uint64_t m = 0; m < 64 * period; m += p) {
      words[m >> 6] |= std::uint64_t{1} << (m & 63);
    }
  }
  return words;
}

// dst[i] op= pattern[(first + i) mod P], in runs that the compiler vectorises.
template <class Op>
void apply_periodic(Words dst, std::uint64_t first, std::span<const std::uint64_t> pattern, Op op) {
  const std::uint64_t period = pattern.size();
  std::uint64_t r = first % period;
  std::uint64_t i = 0;
  while (i < dst.size()) {
    const std::uint64_t run = std::min<std::uint64_t>(dst.size() - i, period - r);
    std::uint64_t* d = dst.data() + i;
    const std::uint64_t* s = pattern.data() + r;
    for (std::uint64_t q = 0; q < run; ++q) d[q] = op(d[q], s[q]);
    i += run;
    r = 0;
  }
}

// ---------------------------------------------------------------------------
// Prime sieve

// Odd primes below 64 are struck out word by word through periodic patterns,
// grouped so that each group's period stays a few thousand words.
constexpr std::uint64_t kPatternPrimesBelow = 64;
constexpr std::array<std::uint64_t, 17> kPatternPrimes = {3,  5,  7,  11, 13, 17, 19, 23, 29,
                                                          31, 37, 41, 43, 47, 53, 59, 61};

const std::vector<std::vector<std::uint64_t>>& odd_prime_groups() {
  static const std::vector<std::vector<std::uint64_t>> groups = {
      multiples_pattern({3, 5, 7, 11}), multiples_pattern({13, 17, 19}),
      multiples_pattern({23, 29}),      multiples_pattern({31, 37}),
      multiples_pattern({41, 43}),      multiples_pattern({47, 53}),
      multiples_pattern({59, 61}),
  };
  return groups;
}

// Multiples of each prime p < 64 alone, p words each (index p; others empty).
const std::vector<std::vector<std::uint64_t>>& single_prime_patterns() {
  static const std::vector<std::vector<std::uint64_t>> patterns = [] {
    std::vector<std::vector<std::uint64_t>> v(kPatternPrimesBelow);
    v[2] = multiples_pattern({2});
    for (auto p : kPatternPrimes) v[p] = multiples_pattern({p});
    return v;
  }();
  return patterns;
}

// The primes p with from <= p <= to, by a plain sieve of Eratosthenes.
std::vector<std::uint64_t> primes_between(std::uint64_t from, std::uint64_t to) {
  std::vector<std::uint64_t> primes;
  if (to < 2) return primes;
  std::vector<bool> composite(to + 1, false);
  for (std::uint64_t p = 2; p <= to; ++p) {
    if (composite[p]) continue;
    if (p >= from) primes.push_back(p);
    for (std::uint64_t m = p * p; m <= to; m += p) composite[m] = true;
  }
  return primes;
}

// Words of a sieve segment: 2^20 inputs, 128 KiB, which stays in the L2 cache.
constexpr std::uint64_t kSieveSegment = std::uint64_t{1} << 14;
// Segments per task on the pool; a task finds where each prime's multiples
// start once and carries them from segment to segment.
constexpr std::uint64_t kSegmentsPerTask = 16;

// The larger primes strike only their multiples p*q with q prime to 2, 3 and 5
// (the others are even or already struck as multiples of 3 or 5): q runs over
// the residues 1, 7, 11, 13, 17, 19, 23, 29 modulo 30, whose gaps these are.
constexpr std::array<std::uint64_t, 8> kWheelResidues = {1, 7, 11, 13, 17, 19, 23, 29};
constexpr std::array<std::uint64_t, 8> kWheelGaps = {6, 4, 2, 4, 2, 4, 6, 2};

struct Striker {
  std::uint64_t next;  // next multiple to strike
  unsigned wheel;      // position of next / p on the wheel
};

// The first multiple p*q >= max(p^2, from) with q on the wheel.
Striker first_multiple(std::uint64_t p, std::uint64_t from) {
  std::uint64_t q = std::max(p, (from + p - 1) / p);
  const std::uint64_t base = q - q % 30;
  unsigned w = 0;
  while (base + kWheelResidues[w] < q) {
    if (++w == 8) break;
  }
  if (w == 8) return {p * (base + 30 + 1), 0};
  return {p * (base + kWheelResidues[w]), w};
}

// Sets bit x of `words` exactly when x is prime, for every x below
// 64 * words.size(); the words are overwritten. A segmented sieve of
// Eratosthenes over the table itself, runs of segments spread over the pool.
void sieve_primes(Words words) {
  const std::uint64_t limit = 64 * words.size();
  const std::vector<std::uint64_t> sieving = primes_between(kPatternPrimesBelow, isqrt(limit - 1));
  const auto& groups = odd_prime_groups();
  const std::uint64_t segments = (words.size() + kSieveSegment - 1) / kSieveSegment;
  spread(segments, kSegmentsPerTask, words.size(), [&](std::uint64_t s0, std::uint64_t s1) {
    std::vector<Striker> strikers(sieving.size());
    for (std::size_t j = 0; j < sieving.size(); ++j) {
      strikers[j] = first_multiple(sieving[j], 64 * s0 * kSieveSegment);
    }
    for (std::uint64_t s = s0; s < s1; ++s) {
      const std::uint64_t w0 = s * kSieveSegment;
      const std::uint64_t w1 = std::min<std::uint64_t>(w0 + kSieveSegment, words.size());
      const Words seg = words.subspan(w0, w1 - w0);
      // Composites with a prime factor below 64, then keep the odd rest.
      std::fill(seg.begin(), seg.end(), 0);
      for (const auto& g : groups) {
        apply_periodic(seg, w0, g, [](std::uint64_t a, std::uint64_t b) { return a | b; });
      }
      for (auto& w : seg) w = ~w & kOddPositions;
      const std::uint64_t lo = 64 * w0;
      const std::uint64_t end = 64 * w1 - lo;
      std::uint64_t* out = seg.data();
      for (std::size_t j = 0; j < sieving.size(); ++j) {
        const std::uint64_t p = sieving[j];
        Striker& st = strikers[j];
        if (st.next - lo >= end) {
          // Starts are squares until first reached, and squares ascend: the
          // first prime whose square lies beyond this segment ends the pass.
          if (st.next == p * p) break;
          continue;
        }
        std::array<std::uint64_t, 8> gaps;
        for (unsigned g = 0; g < 8; ++g) gaps[g] = p * kWheelGaps[g];
        std::uint64_t x = st.next - lo;
        unsigned w = st.wheel;
        while (x < end) {
          out[x >> 6] &= ~(std::uint64_t{1} << (x & 63));
          x += gaps[w];
          w = (w + 1) & 7;
        }
        st.next = x + lo;
        st.wheel = w;
      }
      if (w0 == 0) {
        // 1 is not prime, 2 is, and the pattern primes struck out themselves.
        out[0] &= ~std::uint64_t{2};
        out[0] |= std::uint64_t{4};
        for (auto p : kPatternPrimes) out[0] |= std::uint64_t{1} << p;
      }
    }
  });
}

// ---------------------------------------------------------------------------
// Upward closure

// Inputs 0 .. 2^18 - 1 (2^12 words, 32 KiB) form a block closed in the L1 cache.
constexpr unsigned kBlockVars = 18;

// Closes a block of words upwards over its word-index variables:
// blk[w | s] |= blk[w] for every word-index bit s. The entries within each word
// must already be closed.
[[gnu::always_inline]] inline void close_words_body(std::uint64_t* blk, std::uint64_t count) {
  if (count >= 8) {
    // Word strides 1, 2 and 4 within groups of eight words, in registers.
    for (std::uint64_t i = 0; i < count; i += 8) {
      std::uint64_t* a = blk + i;
      a[1] |= a[0], a[3] |= a[2], a[5] |= a[4], a[7] |= a[6];
      a[2] |= a[0], a[3] |= a[1], a[6] |= a[4], a[7] |= a[5];
      a[4] |= a[0], a[5] |= a[1], a[6] |= a[2], a[7] |= a[3];
    }
  } else {
    for (std::uint64_t s = 1; s < count; s <<= 1) {
      for (std::uint64_t b = 0; b < count; b += 2 * s) {
        for (std::uint64_t t = 0; t < s; ++t) blk[b + s + t] |= blk[b + t];
      }
    }
    return;
  }
  for (std::uint64_t s = 8; s < count; s <<= 1) {
    for (std::uint64_t b = 0; b < count; b += 2 * s) {
      std::uint64_t* __restrict dst = blk + b + s;
      const std::uint64_t* __restrict src = blk + b;
      for (std::uint64_t t = 0; t < s; ++t) dst[t] |= src[t];
    }
  }
}

[[gnu::target("avx2")]] void close_words_avx2(std::uint64_t* blk, std::uint64_t count) {
  close_words_body(blk, count);
}

void close_words_plain(std::uint64_t* blk, std::uint64_t count) { close_words_body(blk, count); }

void close_words(std::uint64_t* blk, std::uint64_t count) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    close_words_avx2(blk, count);
  } else {
    close_words_plain(blk, count);
  }
}

// Sets entry i of the table of 2^vars entries exactly when some seed s is a
// subset of i (s & i == s); entries start false. The table is cut into blocks
// of the low kBlockVars variables. A block whose high index is h holds the
// closure of the low parts of the seeds whose high parts lie within h; it is
// built in cache from those seeds alone, so every word of the table is written
// once and no pass runs over the whole table.
void fill_upward_closure(Words words, unsigned vars, std::span<const std::uint64_t> seeds) {
  if (vars < 6) {
    std::uint64_t w = 0;
    for (auto s : seeds) w |= kSupersets[s];
    words[0] = w & low_mask(std::uint64_t{1} << vars);
    return;
  }
  const unsigned low_vars = std::min(vars, kBlockVars);
  const std::uint64_t low_mask_bits = (std::uint64_t{1} << low_vars) - 1;
  const std::uint64_t block_words = std::uint64_t{1} << (low_vars - 6);
  const std::uint64_t blocks = std::uint64_t{1} << (vars - low_vars);
  spread(blocks, 1, words.size(), [&](std::uint64_t h0, std::uint64_t h1) {
    for (std::uint64_t h = h0; h < h1; ++h) {
      std::uint64_t* blk = words.data() + h * block_words;
      bool any = false;
      bool full = false;
      for (auto s : seeds) {
        if (((s >> low_vars) & ~h) != 0) continue;
        const std::uint64_t low = s & low_mask_bits;
        if (low == 0) {
          full = true;
          break;
        }
        blk[low >> 6] |= kSupersets[low & 63];
        any = true;
      }
      if (full) {
        std::fill(blk, blk + block_words, kAll);
      } else if (any) {
        close_words(blk, block_words);
      }
    }
  });
}

}  // namespace

// ---------------------------------------------------------------------------
// The families

FValue parity(std::uint64_t n) {
  check_single_operand(n, "parity");
  FValue table = new_table(static_cast<unsigned>(n));
  const Words out = table.mutable_words();
  if (n < 6) {
    out[0] = kEvenWeight & low_mask(table.size());
    return table;
  }
  // Word w holds inputs 64w + j: the weight is popcount(w) + popcount(j).
  spread(out.size(), kFillGrain, out.size(), [&](std::uint64_t b, std::uint64_t e) {
    for (std::uint64_t w = b; w < e; ++w) {
      out[w] = kEvenWeight ^ (std::uint64_t{0} - (std::popcount(w) & 1u));
    }
  });
  return table;
}

FValue majority(std::uint64_t n) {
  check_single_operand(n, "majority");
  FValue table = new_table(static_cast<unsigned>(n));
  const Words out = table.mutable_words();
  const std::int64_t half = static_cast<std::int64_t>(n / 2);
  // popcount(64w + j) > half  <=>  popcount(j) >= half + 1 - popcount(w).
  auto word = [&](std::uint64_t w) {
    const std::int64_t need = half + 1 - std::popcount(w);
    if (need <= 0) return kAll;
    if (need >= 7) return std::uint64_t{0};
    return kWeightAtLeast[static_cast<std::size_t>(need)];
  };
  if (n < 6) {
    out[0] = word(0) & low_mask(table.size());
    return table;
  }
  spread(out.size(), kFillGrain, out.size(), [&](std::uint64_t b, std::uint64_t e) {
    for (std::uint64_t w = b; w < e; ++w) out[w] = word(w);
  });
  return table;
}

FValue primality(std::uint64_t n) {
  check_single_operand(n, "primality");
  FValue table = new_table(static_cast<unsigned>(n));
  const Words out = table.mutable_words();
  sieve_primes(out);
  if (n < 6) out[0] &= low_mask(table.size());
  return table;
}

FValue coprimes(std::uint64_t n) {
  check_range(n, 31, "coprimes");
  const auto bits = static_cast<unsigned>(n);
  FValue table = new_table(2 * bits);
  const Words out = table.mutable_words();
  const std::uint64_t side = std::uint64_t{1} << bits;
  if (bits < 6) {
    // At most 1024 entries: Euclid on each.
    for (std::uint64_t i = 0; i < side * side; ++i) {
      std::uint64_t a = i >> bits;
      std::uint64_t b = i & (side - 1);
      while (b != 0) {
        const std::uint64_t r = a % b;
        a = b;
        b = r;
      }
      if (a == 1) out[i >> 6] |= std::uint64_t{1} << (i & 63);
    }
    return table;
  }
  // Row x (the entries with high operand x) holds the y coprime to x: for x >= 2
  // those divisible by none of the prime factors of x (so never y = 0); for
  // x = 1 every y; for x = 0 only y = 1, since gcd(0, y) = y.
  const std::uint64_t row_words = side / 64;
  const std::vector<std::uint64_t> divisors = primes_between(2, isqrt(side - 1));
  const auto& patterns = single_prime_patterns();
  auto strike = [&](Words row, std::uint64_t p) {
    if (p < kPatternPrimesBelow) {
      apply_periodic(row, 0, patterns[p], [](std::uint64_t a, std::uint64_t b) { return a & ~b; });
      return;
    }
    std::uint64_t* r = row.data();
    for (std::uint64_t y = 0; y < side; y += p) r[y >> 6] &= ~(std::uint64_t{1} << (y & 63));
  };
  const std::uint64_t grain = std::max<std::uint64_t>(1, kFillGrain / row_words);
  spread(side, grain, out.size(), [&](std::uint64_t x0, std::uint64_t x1) {
    for (std::uint64_t x = x0; x < x1; ++x) {
      const Words row = out.subspan(x * row_words, row_words);
      if (x == 0) {
        row[0] = 2;
        continue;
      }
      std::fill(row.begin(), row.end(), kAll);
      std::uint64_t rest = x;
      for (const std::uint64_t p : divisors) {
        if (p * p > rest) break;
        if (rest % p != 0) continue;
        strike(row, p);
        do rest /= p;
        while (rest % p == 0);
      }
      if (rest > 1) strike(row, rest);
    }
  });
  return table;
}

FValue sum_is_prime(std::uint64_t n) {
  check_range(n, 15, "sum_is_prime");
  const auto bits = static_cast<unsigned>(n);
  FValue table = new_table(2 * bits);
  const Words out = table.mutable_words();
  const std::uint64_t side = std::uint64_t{1} << bits;
  // Primality of every sum 0 .. 2^(n+1) - 2, with a spare zero word at the end
  // for the two-word reads below.
  std::vector<std::uint64_t> primes(words_for(2 * side) + 1, 0);
  sieve_primes(Words(primes).first(primes.size() - 1));
  if (bits < 6) {
    for (std::uint64_t i = 0; i < side * side; ++i) {
      const std::uint64_t s = (i >> bits) + (i & (side - 1));
      if ((primes[s >> 6] >> (s & 63)) & 1u) out[i >> 6] |= std::uint64_t{1} << (i & 63);
    }
    return table;
  }
  // Row x is the primality bits of x .. x + 2^n - 1: the prime bitmap shifted
  // down by x.
  const std::uint64_t row_words = side / 64;
  const std::uint64_t grain = std::max<std::uint64_t>(1, kFillGrain / row_words);
  spread(side, grain, out.size(), [&](std::uint64_t x0, std::uint64_t x1) {
    for (std::uint64_t x = x0; x < x1; ++x) {
      const std::uint64_t* src = primes.data() + (x >> 6);
      const unsigned shift = x & 63;
      std::uint64_t* dst = out.data() + x * row_words;
      if (shift == 0) {
        std::copy(src, src + row_words, dst);
      } else {
        for (std::uint64_t j = 0; j < row_words; ++j) {
          dst[j] = (src[j] >> shift) | (src[j + 1] << (64 - shift));
        }
      }
    }
  });
  return table;
}

FValue clique(std::uint64_t n) {
  check_range(n, 11, "clique");
  const auto vertices = static_cast<unsigned>(n);
  const unsigned vars = vertices * (vertices == 0 ? 0 : vertices - 1) / 2;
  const unsigned k = vertices / 2;
  FValue table = new_table(vars);
  // The graphs that are exactly one k-clique; every graph containing one of
  // them has a k-clique. For k <= 1 the one seed is the empty graph.
  std::vector<std::uint64_t> seeds;
  std::vector<unsigned> members(k);
  for (unsigned j = 0; j < k; ++j) members[j] = j;
  while (true) {
    std::uint64_t mask = 0;
    for (unsigned p = 0; p < k; ++p) {
      for (unsigned q = p + 1; q < k; ++q) {
        mask |= std::uint64_t{1} << edge_index(members[p], members[q], vertices);
      }
    }
    seeds.push_back(mask);
    unsigned i = k;
    while (i > 0 && members[i - 1] == vertices - k + (i - 1)) --i;
    if (i == 0) break;
    ++members[i - 1];
    for (unsigned j = i; j < k; ++j) members[j] = members[j - 1] + 1;
  }
  fill_upward_closure(table.mutable_words(), vars, seeds);
  return table;
}

}  // namespace varnel::examples
