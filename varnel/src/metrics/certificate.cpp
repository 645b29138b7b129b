// The search behind certificate_complexity.
//
// For a set F of free variables let A_F be the set of inputs x whose subcube
// {y : y agrees with x outside F} is monochromatic, kept as a bitset over all
// 2^N inputs (64 to a word). A_{} holds every input, and for j outside F
//
//   A_{F+j}(x) = A_F(x) and A_F(x ^ 2^j) and f(x) == f(x ^ 2^j),
//
// since the subcube along F+j is the union of the two subcubes along F through
// x and x ^ 2^j. So each set costs a few word operations per table word, given
// the bitset of the set one smaller. cov[d], the union of A_F over |F| = d,
// holds the inputs that lie in a monochromatic subcube of dimension d, and C(f)
// = N - d* where d* is the largest d with cov[d] full; a subcube of a
// monochromatic subcube is monochromatic, so cov[d] shrinks as d grows.
//
// The sets are visited depth first, each reached from the set without its
// largest element. Three things keep the search small:
//  * an upper bound: an input x with sensitivity s(x) has no monochromatic
//    subcube of dimension above N - s(x) (its sensitive variables must stay
//    fixed), so d* <= U = N - max sensitivity and no level above U is needed;
//  * pruning: the descendants G of F have A_G inside A_F and sizes up to
//    e = min(U, |F| + number of variables left to add). If A_F already lies in
//    cov[e], they add nothing that the final suffix unions of the levels would
//    miss, since cov[e] counts toward every level <= e;
//  * an early stop when cov[U] fills up: then d* = U.
// At the end, the union of cov[d .. U] is the exact set of inputs with a
// monochromatic subcube of dimension >= d, for every d <= U.
//
// A table of fewer than 6 variables is first widened to 6 by repeating it; the
// added variables are free everywhere and leave C(f) unchanged. The top of the
// search tree (the sets of one and two variables) is split into tasks that the
// pool's threads take in turn, each with its own levels, which are joined by
// OR at the end. Memory: 2 (U + 1) bitsets of 2^N bits per thread.
//
// Cost: at most one step of 2^N / 64 words per set of at most U variables, so
// at most about 4^N / 64 word operations, and much less when the pruning or the
// bound bites. Functions with an input of high sensitivity (random ones, for
// example) finish in milliseconds even at 24 variables; the hard cases are
// functions of low sensitivity whose levels fill up slowly, such as majority
// (about half a second at 18 variables, ten seconds at 20, some minutes at 22
// on two cores).
#include "metrics/certificate.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <string>
#include <vector>

#include "error.hpp"
#include "metrics/hypercube.hpp"
#include "metrics/sensitivity.hpp"
#include "interrupt.hpp"
#include "pool.hpp"
#include "simd.hpp"

namespace varnel {

namespace {

using hypercube::flip_in_word;
using Word = std::uint64_t;

// ---------------------------------------------------------------------------
// Kernels: one step A -> A_{+j} over all W words of a level.
//
// inner: writes the child, ORs it into cov_k and reports whether it has an
//        input outside cov_e (whether its subtree can still add anything).
// leaf:  only ORs the child into cov_k; with Count, returns how many inputs of
//        cov_k were new.

[[gnu::always_inline]] inline Word child_low(Word a, Word ft, unsigned j) {
  return a & flip_in_word(a, j) & ~(ft ^ flip_in_word(ft, j));
}

[[gnu::always_inline]] inline bool inner_step(const Word* a, const Word* f, std::size_t words,
                                              unsigned j, Word* child, Word* cov_k,
                                              const Word* cov_e) {
  Word escape = 0;
  if (j < 6) {
    for (std::size_t t = 0; t < words; ++t) {
      const Word v = child_low(a[t], f[t], j);
      child[t] = v;
      cov_k[t] |= v;
      escape |= v & ~cov_e[t];
    }
    return escape != 0;
  }
  const std::size_t m = std::size_t{1} << (j - 6);
  for (std::size_t base = 0; base < words; base += 2 * m) {
    for (std::size_t u = 0; u < m; ++u) {
      const std::size_t lo = base + u, hi = base + m + u;
      const Word v = a[lo] & a[hi] & ~(f[lo] ^ f[hi]);
      child[lo] = v;
      child[hi] = v;
      cov_k[lo] |= v;
      cov_k[hi] |= v;
      escape |= (v & ~cov_e[lo]) | (v & ~cov_e[hi]);
    }
  }
  return escape != 0;
}

template <bool Count>
[[gnu::always_inline]] inline std::uint64_t leaf_step(const Word* a, const Word* f,
                                                      std::size_t words, unsigned j, Word* cov_k) {
  std::uint64_t added = 0;
  if (j < 6) {
    for (std::size_t t = 0; t < words; ++t) {
      const Word v = child_low(a[t], f[t], j);
      if constexpr (Count) added += static_cast<std::uint64_t>(std::popcount(v & ~cov_k[t]));
      cov_k[t] |= v;
    }
    return added;
  }
  const std::size_t m = std::size_t{1} << (j - 6);
  for (std::size_t base = 0; base < words; base += 2 * m) {
    for (std::size_t u = 0; u < m; ++u) {
      const std::size_t lo = base + u, hi = base + m + u;
      const Word v = a[lo] & a[hi] & ~(f[lo] ^ f[hi]);
      if constexpr (Count) {
        added += static_cast<std::uint64_t>(std::popcount(v & ~cov_k[lo])) +
                 static_cast<std::uint64_t>(std::popcount(v & ~cov_k[hi]));
      }
      cov_k[lo] |= v;
      cov_k[hi] |= v;
    }
  }
  return added;
}

bool inner_base(const Word* a, const Word* f, std::size_t w, unsigned j, Word* c, Word* ck,
                const Word* ce) {
  return inner_step(a, f, w, j, c, ck, ce);
}
__attribute__((target("avx2"))) bool inner_avx2(const Word* a, const Word* f, std::size_t w,
                                                unsigned j, Word* c, Word* ck, const Word* ce) {
  return inner_step(a, f, w, j, c, ck, ce);
}
template <bool Count>
std::uint64_t leaf_base(const Word* a, const Word* f, std::size_t w, unsigned j, Word* ck) {
  return leaf_step<Count>(a, f, w, j, ck);
}
template <bool Count>
__attribute__((target("avx2"))) std::uint64_t leaf_avx2(const Word* a, const Word* f, std::size_t w,
                                                        unsigned j, Word* ck) {
  return leaf_step<Count>(a, f, w, j, ck);
}

struct Kernels {
  bool (*inner)(const Word*, const Word*, std::size_t, unsigned, Word*, Word*, const Word*);
  std::uint64_t (*leaf)(const Word*, const Word*, std::size_t, unsigned, Word*);
  std::uint64_t (*leaf_count)(const Word*, const Word*, std::size_t, unsigned, Word*);
};

Kernels pick_kernels() {
  if (simd::avx2()) return {inner_avx2, leaf_avx2<false>, leaf_avx2<true>};
  return {inner_base, leaf_base<false>, leaf_base<true>};
}

// ---------------------------------------------------------------------------

struct Problem {
  unsigned n;         // variables of the (widened) table, >= 6
  std::size_t words;  // words per bitset, 2^n / 64
  const Word* f;      // the table
  unsigned top;       // U: the largest level that matters, >= 1
  Kernels kernels;
};

// A top-level piece of the search: the set {i} alone (second < 0), or the
// subtree under {i, second}.
struct Task {
  unsigned first;
  int second;
};

class Search {
 public:
  Search(const Problem& p, std::atomic<bool>& stop)
      : p_(p),
        stop_(stop),
        stack_((p.top + 1) * p.words),
        cov_((p.top + 1) * p.words, 0),
        all_(p.words, ~Word{0}) {}

  void run(const Task& task) {
    if (task.second < 0) {
      step(0, all_.data(), task.first, false);
      return;
    }
    // Rebuild A_{first} (its own task adds it to cov[1]) and go below it
    // unless it is already covered.
    const unsigned i = task.first;
    const unsigned e = std::min(p_.top, p_.n - i);
    if (!p_.kernels.inner(all_.data(), p_.f, p_.words, i, level(stack_, 1), level(cov_, 1),
                          level(cov_, e))) {
      return;
    }
    step(1, level(stack_, 1), static_cast<unsigned>(task.second), true);
  }

  std::vector<Word> take_cov() { return std::move(cov_); }

 private:
  Word* level(std::vector<Word>& v, unsigned k) { return v.data() + k * p_.words; }

  // The child F + j of the set F (size k, bitset a).
  void step(unsigned k, const Word* a, unsigned j, bool recurse) {
    pacer_.tick(p_.words);
    const unsigned kc = k + 1;
    const unsigned e = std::min(p_.top, kc + (p_.n - 1 - j));
    Word* cov_k = level(cov_, kc);
    if (!recurse || e == kc) {
      if (kc == p_.top) {
        filled_ += p_.kernels.leaf_count(a, p_.f, p_.words, j, cov_k);
        if (filled_ == p_.words * 64) stop_.store(true, std::memory_order_relaxed);
      } else {
        p_.kernels.leaf(a, p_.f, p_.words, j, cov_k);
      }
      return;
    }
    Word* child = level(stack_, kc);
    if (p_.kernels.inner(a, p_.f, p_.words, j, child, cov_k, level(cov_, e))) {
      for (unsigned next = j + 1; next < p_.n; ++next) {
        if (stop_.load(std::memory_order_relaxed)) return;
        step(kc, child, next, true);
      }
    }
  }

  const Problem& p_;
  std::atomic<bool>& stop_;
  std::vector<Word> stack_;
  std::vector<Word> cov_;
  std::vector<Word> all_;
  std::uint64_t filled_ = 0;  // inputs in cov[top]
  interrupt::Pacer pacer_;    // a checkpoint every 2^16 words of steps
};

// d*, the largest dimension d such that every input lies in a monochromatic
// subcube of dimension d.
unsigned full_dimension(const Problem& p, unsigned threads) {
  std::vector<Task> tasks;
  if (p.top >= 2) {
    // Larger subtrees first: the subtree under {i, j} has 2^(n-1-j) sets.
    for (unsigned j = 1; j < p.n; ++j) {
      for (unsigned i = 0; i < j; ++i) tasks.push_back({i, static_cast<int>(j)});
    }
  }
  for (unsigned i = 0; i < p.n; ++i) tasks.push_back({i, -1});

  std::atomic<bool> stop{false};
  std::atomic<std::size_t> next{0};
  const unsigned participants = std::max(1u, std::min<unsigned>(threads, pool::num_threads()));
  std::vector<std::vector<Word>> covs(participants);
  auto work = [&](unsigned who) {
    Search search(p, stop);
    while (!stop.load(std::memory_order_relaxed)) {
      const std::size_t t = next.fetch_add(1, std::memory_order_relaxed);
      if (t >= tasks.size()) break;
      search.run(tasks[t]);
    }
    covs[who] = search.take_cov();
  };
  if (participants == 1) {
    work(0);
  } else {
    pool::run(participants, work);
  }
  if (stop.load()) return p.top;

  // Suffix unions of the levels, from the top down; the first full one is d*.
  std::vector<Word> uni(p.words, 0);
  for (unsigned d = p.top; d >= 1; --d) {
    bool full = true;
    for (std::size_t t = 0; t < p.words; ++t) {
      Word v = uni[t];
      for (const auto& c : covs) {
        if (!c.empty()) v |= c[d * p.words + t];
      }
      uni[t] = v;
      full = full && v == ~Word{0};
    }
    if (full) return d;
  }
  return 0;
}

}  // namespace

std::uint32_t certificate_complexity_on(const FValue& f, unsigned threads) {
  const unsigned n = f.n_vars();
  const std::uint64_t ones = f.count_ones();
  if (ones == 0 || ones == f.size()) return 0;  // constants, and n = 0
  const unsigned smax = max_sensitivity(f);
  if (smax == n) return n;  // C(f) lies between s(f) and n

  std::vector<Word> widened;
  std::span<const Word> table = f.words();
  if (n < 6) {
    Word w = table[0];
    for (unsigned s = 1u << n; s < 64; s <<= 1) w |= w << s;
    widened.assign(1, w);
    table = widened;
  }
  const unsigned big_n = std::max(n, 6u);
  const Problem p{big_n, table.size(), table.data(), big_n - smax, pick_kernels()};
  return big_n - full_dimension(p, n >= 4 ? threads : 1);
}

std::uint32_t certificate_complexity(const FValue& f) {
  return certificate_complexity_on(f, pool::num_threads());
}

std::uint32_t point_certificate_complexity(const FValue& f, std::uint64_t x) {
  if (x >= f.size()) {
    panic("index out of bounds: the len is " + std::to_string(f.size()) + " but the index is " +
          std::to_string(x));
  }
  const Word differ = f[x] ? ~Word{0} : 0;
  const auto words = f.words();
  const Word valid = low_mask(f.size());
  std::vector<Word> sets;
  sets.reserve(4);
  for (std::size_t k = 0; k < words.size(); ++k) {
    Word d = (words[k] ^ differ) & valid;
    while (d != 0) {
      const std::uint64_t y = k * 64 + static_cast<unsigned>(std::countr_zero(d));
      sets.push_back(x ^ y);
      d &= d - 1;
    }
  }
  return minimum_certificate_size(sets, f.n_vars());
}

std::uint32_t minimum_certificate_size(std::span<const std::uint64_t> sets, unsigned n) {
  if (sets.empty()) return 0;
  if (n == 0) panic("no variable to choose for a certificate");
  const Word vars = n >= 64 ? ~Word{0} : (Word{1} << n) - 1;
  for (const Word s : sets) {
    if ((s & vars) == 0) panic("a difference mask without variables cannot be met");
  }

  // Greedy upper bound: repeatedly take the variable that meets the most
  // remaining masks (ties to the larger index) and drop the masks it meets.
  std::vector<Word> working(sets.begin(), sets.end());
  unsigned g = 0;
  while (!working.empty()) {
    unsigned best = 0;
    if (n > 1) {
      std::size_t best_count = 0;
      for (unsigned k = 0; k < n; ++k) {
        std::size_t count = 0;
        for (const Word s : working) count += (s >> k) & 1u;
        if (k == 0 || count >= best_count) {
          best = k;
          best_count = count;
        }
      }
    }
    std::erase_if(working, [best](Word s) { return (s >> best) & 1u; });
    ++g;
  }
  if (g == 1) return 1;

  // Exhaustive search below the bound, by increasing size, masks in
  // increasing numeric order.
  for (unsigned j = 1; j < g; ++j) {
    if (j > n) continue;
    Word a = j >= 64 ? ~Word{0} : (Word{1} << j) - 1;
    while (true) {
      bool hits_all = true;
      for (const Word s : sets) {
        if ((s & a) == 0) {
          hits_all = false;
          break;
        }
      }
      if (hits_all) return j;
      const Word c = a & (~a + 1);
      const Word r = a + c;
      if (r == 0) break;  // past the top of the word
      const Word next = r | (((a ^ r) >> 2) >> std::countr_zero(a));
      if (next > vars) break;
      a = next;
    }
  }
  return g;
}

}  // namespace varnel
