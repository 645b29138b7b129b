// Restriction counting (`set_entropy`, `count_forms_by_multiple_fixed`),
// bipartitions and whole subset walks, against the literal algorithm: one
// byte vector per assignment, hashed whole, in a hash set / hash map.
#include <sys/resource.h>

#include <bit>
#include <cstdio>
#include <random>

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
      name, reps, [&] { bench::keep(varnel::set_entropy(f, vars)); },
      [&] { bench::keep(plain::literal_set_entropy(t, vars)); });
  std::snprintf(name, sizeof name, "count_forms %s", label);
  bench::compare(
      name, reps, [&] { bench::keep(varnel::count_forms_by_multiple_fixed(f, vars)); },
      [&] { bench::keep(plain::literal_count_forms(t, vars)); });
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
    const plain::Table t10 = plain::random_table(10, rng);
    const varnel::FValue f10 = plain::pack(t10);
    const Vars v5 = random_vars(10, 5, rng);
    bench::compare(
        "set_entropy n=10 k=5 (x1000)", 5,
        [&] {
          for (int i = 0; i < 1000; ++i) bench::keep(varnel::set_entropy(f10, v5));
        },
        [&] {
          for (int i = 0; i < 1000; ++i) bench::keep(plain::literal_set_entropy(t10, v5));
        });
    const plain::Table t14 = plain::random_table(14, rng);
    const varnel::FValue f14 = plain::pack(t14);
    const Vars v7 = random_vars(14, 7, rng);
    bench::compare(
        "set_entropy n=14 k=7 (x100)", 3,
        [&] {
          for (int i = 0; i < 100; ++i) bench::keep(varnel::set_entropy(f14, v7));
        },
        [&] {
          for (int i = 0; i < 100; ++i) bench::keep(plain::literal_set_entropy(t14, v7));
        });
    // Both sides of a bipartition from one matrix, against two literal calls.
    const Vars a = random_vars(20, 10, rng);
    Vars b;
    for (unsigned v = 0; v < 20; ++v) {
      if (std::find(a.begin(), a.end(), v) == a.end()) b.push_back(v);
    }
    bench::compare(
        "bipartition_stats n=20 10|10", 3,
        [&] { bench::keep(varnel::bipartition_stats(f, mask_of(a))); },
        [&] {
          bench::keep(plain::literal_set_entropy(t, a));
          bench::keep(plain::literal_set_entropy(t, b));
        });
    bench::compare(
        "bipartition_stats vs 2x form_stats n=20", 5,
        [&] { bench::keep(varnel::bipartition_stats(f, mask_of(a))); },
        [&] {
          bench::keep(varnel::form_stats(f, mask_of(a)));
          bench::keep(varnel::form_stats(f, mask_of(b)));
        });
  }

  // Every subset: the walk against one call per subset, and against the
  // literal algorithm per subset (smaller n).
  {
    const plain::Table t = plain::random_table(12, rng);
    const varnel::FValue f = plain::pack(t);
    bench::compare(
        "subset_stats n=12 (all 4096 subsets)", 3,
        [&] { bench::keep(varnel::subset_stats(f, 12)); },
        [&] {
          for (varnel::VarMask m = 0; m < 4096; ++m) {
            Vars vars;
            for (unsigned v = 0; v < 12; ++v) {
              if ((m >> v) & 1u) vars.push_back(v);
            }
            bench::keep(plain::literal_set_entropy(t, vars));
          }
        });
    const varnel::FValue f16 = plain::pack(plain::random_table(16, rng));
    bench::compare(
        "subset_stats n=16 vs form_stats per subset", 1,
        [&] { bench::keep(varnel::subset_stats(f16, 16)); },
        [&] {
          for (varnel::VarMask m = 0; m < (1u << 16); ++m) bench::keep(varnel::form_stats(f16, m));
        });
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
          [&] { bench::keep(varnel::subset_stats(fs, 16)); },
          [&] {
            for (varnel::VarMask m = 0; m < (1u << 16); ++m) bench::keep(varnel::form_stats(fs, m));
          });
    }
    bench::compare(
        "subset_stats n=16 parallel vs serial", 1,
        [&] { bench::keep(varnel::subset_stats(f16, 16, true, true)); },
        [&] { bench::keep(varnel::subset_stats(f16, 16, true, false)); });
  }

  // n = 24 with 12 fixed variables: our time and memory first, then the literal run.
  {
    std::vector<std::uint64_t> words(std::uint64_t{1} << 18);
    for (auto& w : words) w = rng();
    const varnel::FValue f(std::move(words), std::uint64_t{1} << 24);
    const Vars vars = random_vars(24, 12, rng);
    const long before = max_rss_kib();
    float h = 0;
    const double ours = bench::best_of(5, [&] { h = varnel::set_entropy(f, vars); });
    const double ours_count =
        bench::best_of(5, [&] { bench::keep(varnel::count_forms_by_multiple_fixed(f, vars)); });
    const long after = max_rss_kib();
    std::printf("n=24 k=12: packed table %zu KiB; peak memory growth during our calls %ld KiB\n",
                f.words().size() * 8 / 1024, after - before);
    const plain::Table t = plain::unpack(f);
    const double literal =
        bench::best_of(1, [&] { bench::keep(plain::literal_set_entropy(t, vars)); });
    bench::report("set_entropy n=24 k=12", ours, literal);
    const double literal_count =
        bench::best_of(1, [&] { bench::keep(plain::literal_count_forms(t, vars)); });
    bench::report("count_forms n=24 k=12", ours_count, literal_count);
    bench::keep(h);
  }
  return 0;
}
