// Restriction counting (`set_entropy`, `count_forms_by_multiple_fixed`),
// bipartitions and whole subset walks, against the literal algorithm: one
// byte vector per assignment, hashed whole, in a hash set / hash map. Every
// pair of results is checked: counts exactly, our own routes against each
// other bit for bit, and entropies against the literal ones within the
// tolerance of their order of addition (literal_tolerance).
#include <sys/resource.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <ranges>
#include <utility>
#include <vector>

#include "harness.hpp"
#include "restriction.hpp"
#include "subset_walk.hpp"
#include "restriction_plain.hpp"

namespace {

using plain::Vars;

Vars random_vars(unsigned n, unsigned k, std::mt19937_64& rng) {
  Vars all;
  for (unsigned v = 0; v < n; ++v) all.push_back(v);
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(k);
  return all;
}

varnel::VarMask mask_of(const Vars& vars) {
  varnel::VarMask m = 0;
  for (auto v : vars) m |= varnel::VarMask{1} << v;
  return m;
}

// The literal entropy adds its terms in hash-map order, ours in ascending
// order of count; both are valid sums of the same at most 2^k terms (one per
// distinct form), so they may differ in their last bits.
double literal_tolerance(std::size_t k) {
  return bench::sum_order_tolerance(std::ldexp(1.0, static_cast<int>(k)));
}

// The stats of a subset as a comparable pair (entropies bit for bit).
std::pair<std::uint64_t, float> key(const varnel::FormStats& s) { return {s.forms, s.entropy}; }

// Our stats of every subset against a plain list of them, entry by entry.
bool same_stats(const std::vector<varnel::FormStats>& ours,
                const std::vector<varnel::FormStats>& plain) {
  return bench::agree(ours | std::views::transform(key), plain | std::views::transform(key));
}

long max_rss_kib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void compare_one(const char* label, const varnel::FValue& f, const plain::Table& t,
                 const Vars& vars, int reps) {
  char name[96];
  std::snprintf(name, sizeof name, "set_entropy %s", label);
  bench::compare(
      name, reps, [&] { return varnel::set_entropy(f, vars); },
      [&] { return plain::literal_set_entropy(t, vars); },
      bench::within(literal_tolerance(vars.size())));
  std::snprintf(name, sizeof name, "count_forms %s", label);
  bench::compare(
      name, reps, [&] { return varnel::count_forms_by_multiple_fixed(f, vars); },
      [&] { return plain::literal_count_forms(t, vars); });
}

// `calls` entropies of one random function of n variables and k random fixed
// variables per timed run, against as many literal ones.
void compare_calls(unsigned n, unsigned k, int calls, int reps, std::mt19937_64& rng) {
  const plain::Table t = plain::random_table(n, rng);
  const varnel::FValue f = plain::pack(t);
  const Vars vars = random_vars(n, k, rng);
  char name[96];
  std::snprintf(name, sizeof name, "set_entropy n=%u k=%u (x%d)", n, k, calls);
  bench::compare(
      name, reps,
      [&] {
        float h = 0;
        for (int i = 0; i < calls; ++i) bench::keep(h = varnel::set_entropy(f, vars));
        return h;
      },
      [&] {
        float h = 0;
        for (int i = 0; i < calls; ++i) bench::keep(h = plain::literal_set_entropy(t, vars));
        return h;
      },
      bench::within(literal_tolerance(k)));
}

}  // namespace

int main() {
  std::mt19937_64 rng(42);

  // n = 20, 10 fixed variables: random, the low half, the high half.
  {
    const plain::Table t = plain::random_table(20, rng);
    const varnel::FValue f = plain::pack(t);
    Vars low, high;
    for (unsigned v = 0; v < 10; ++v) low.push_back(v), high.push_back(v + 10);
    compare_one("n=20 k=10 random vars", f, t, random_vars(20, 10, rng), 5);
    compare_one("n=20 k=10 vars 0..9", f, t, low, 5);
    compare_one("n=20 k=10 vars 10..19", f, t, high, 5);
    // Structured: a function of 12 of the variables, so forms repeat.
    plain::Table s(t.size());
    for (std::size_t x = 0; x < s.size(); ++x) s[x] = t[(x & 0xFFF)];
    compare_one("n=20 k=10 structured", plain::pack(s), s, random_vars(20, 10, rng), 5);
    // Small tables, the regime of thousands of calls per measure.
    compare_calls(10, 5, 1000, 5, rng);
    compare_calls(14, 7, 100, 3, rng);
    // Both sides of a bipartition from one matrix, against two literal calls.
    const Vars a = random_vars(20, 10, rng);
    Vars b;
    for (unsigned v = 0; v < 20; ++v) {
      if (std::find(a.begin(), a.end(), v) == a.end()) b.push_back(v);
    }
    bench::compare(
        "bipartition_stats n=20 10|10", 3,
        [&] {
          const varnel::BipartitionStats s = varnel::bipartition_stats(f, mask_of(a));
          return std::pair{s.first.entropy, s.second.entropy};
        },
        [&] {
          return std::pair{plain::literal_set_entropy(t, a), plain::literal_set_entropy(t, b)};
        },
        bench::within(literal_tolerance(10)));
    bench::compare(
        "bipartition_stats vs 2x form_stats n=20", 5,
        [&] { return varnel::bipartition_stats(f, mask_of(a)); },
        [&] {
          return varnel::BipartitionStats{varnel::form_stats(f, mask_of(a)),
                                          varnel::form_stats(f, mask_of(b))};
        },
        bench::by([](const varnel::BipartitionStats& s) {
          return std::pair{key(s.first), key(s.second)};
        }));
  }

  // Every subset: the walk against one call per subset, and against the
  // literal algorithm per subset (smaller n).
  {
    const plain::Table t = plain::random_table(12, rng);
    const varnel::FValue f = plain::pack(t);
    bench::compare(
        "subset_stats n=12 (all 4096 subsets)", 3, [&] { return varnel::subset_stats(f, 12); },
        [&] {
          std::vector<float> h(4096);
          for (varnel::VarMask m = 0; m < 4096; ++m) {
            Vars vars;
            for (unsigned v = 0; v < 12; ++v) {
              if ((m >> v) & 1u) vars.push_back(v);
            }
            h[m] = plain::literal_set_entropy(t, vars);
          }
          return h;
        },
        [](const std::vector<varnel::FormStats>& ours, const std::vector<float>& literal) {
          return bench::near(ours | std::views::transform(&varnel::FormStats::entropy), literal,
                             literal_tolerance(12));
        });
    // Every subset from the table, one form_stats call each.
    auto per_subset = [](const varnel::FValue& g) {
      std::vector<varnel::FormStats> stats(std::size_t{1} << 16);
      for (varnel::VarMask m = 0; m < (1u << 16); ++m) stats[m] = varnel::form_stats(g, m);
      return stats;
    };
    const varnel::FValue f16 = plain::pack(plain::random_table(16, rng));
    bench::compare(
        "subset_stats n=16 vs form_stats per subset", 1,
        [&] { return varnel::subset_stats(f16, 16); }, [&] { return per_subset(f16); }, same_stats);
    // Structured functions, whose forms repeat: majority, and a random
    // function of 10 of the 16 variables.
    plain::Table majority(std::size_t{1} << 16), partial(std::size_t{1} << 16);
    const plain::Table g = plain::random_table(10, rng);
    for (std::size_t x = 0; x < majority.size(); ++x) {
      majority[x] = std::popcount(x) > 8;
      partial[x] = g[((x >> 3) & 0x3FF)];
    }
    for (const auto& [label, table] :
         {std::pair{"majority", &majority}, std::pair{"partial", &partial}}) {
      const varnel::FValue fs = plain::pack(*table);
      bench::compare(
          std::string("subset_stats n=16 ") + label + " vs per subset", 1,
          [&] { return varnel::subset_stats(fs, 16); }, [&] { return per_subset(fs); }, same_stats);
    }
    bench::compare(
        "subset_stats n=16 parallel vs serial", 1,
        [&] { return varnel::subset_stats(f16, 16, true, true); },
        [&] { return varnel::subset_stats(f16, 16, true, false); }, same_stats);
  }

  // Rows of one and two words: 2^14 (2^13) rows of 64 (128) bits at n = 20,
  // each call on another subset, as a measure meets them. Per subset: the
  // counting layout and the tally (the first version took about 440 us per
  // subset at k = 14 and 220 us at k = 13 on the 2-core machine).
  {
    const plain::Table t = plain::random_table(20, rng);
    const varnel::FValue f = plain::pack(t);
    for (unsigned k : {13u, 14u}) {
      std::vector<Vars> subsets;
      for (int i = 0; i < 64; ++i) subsets.push_back(random_vars(20, k, rng));
      const std::vector<Vars> sample(subsets.begin(), subsets.begin() + 4);
      auto ours = [&](const std::vector<Vars>& list) {
        std::vector<std::uint64_t> forms;
        for (const Vars& v : list) forms.push_back(varnel::count_forms_by_multiple_fixed(f, v));
        return forms;
      };
      const double per_subset = bench::best_of(20, [&] { bench::keep(ours(subsets)); }) /
                                static_cast<double>(subsets.size());
      std::printf("narrow rows n=20 k=%u: count_forms %.1f us per subset (64 subsets)\n", k,
                  per_subset * 1e6);
      bench::compare(
          "count_forms n=20 k=" + std::to_string(k) + " (4 subsets)", 3,
          [&] { return ours(sample); },
          [&] {
            std::vector<std::uint64_t> forms;
            for (const Vars& v : sample) forms.push_back(plain::literal_count_forms(t, v));
            return forms;
          });
    }
  }

  // n = 24 with 12 fixed variables: our time and memory first, then the literal run.
  {
    std::vector<std::uint64_t> words(std::uint64_t{1} << 18);
    for (auto& w : words) w = rng();
    const varnel::FValue f(std::move(words), std::uint64_t{1} << 24);
    const Vars vars = random_vars(24, 12, rng);
    const long before = max_rss_kib();
    float h = 0;
    std::uint64_t forms = 0;
    const double ours = bench::best_of(5, [&] { h = varnel::set_entropy(f, vars); });
    const double ours_count = bench::best_of(
        5, [&] { bench::keep(forms = varnel::count_forms_by_multiple_fixed(f, vars)); });
    const long after = max_rss_kib();
    std::printf("n=24 k=12: packed table %zu KiB; peak memory growth during our calls %ld KiB\n",
                f.words().size() * 8 / 1024, after - before);
    const plain::Table t = plain::unpack(f);
    float literal_h = 0;
    const double literal =
        bench::best_of(1, [&] { literal_h = plain::literal_set_entropy(t, vars); });
    bench::close("set_entropy n=24 k=12", h, literal_h, literal_tolerance(12));
    bench::report("set_entropy n=24 k=12", ours, literal);
    std::uint64_t literal_forms = 0;
    const double literal_count =
        bench::best_of(1, [&] { literal_forms = plain::literal_count_forms(t, vars); });
    bench::check("count_forms n=24 k=12", forms, literal_forms);
    bench::report("count_forms n=24 k=12", ours_count, literal_count);
  }
  return bench::verdict();
}
