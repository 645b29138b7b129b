// entropy and entanglement (and their *_sets) against the literal algorithm
// with the same number of threads: the bipartitions drawn one at a time from a
// shared SubsetIterator under a lock (on the pool from 10 variables on), and
// for each one the literal restriction counting of both sides (a fresh byte
// vector per assignment, hashed whole).
//
//   bench_entanglement            the comparisons, n = 12 .. 20
//   bench_entanglement scaling    our n = 18 times only; run it with
//                                 RAYON_NUM_THREADS=1 and =2 to see the scaling
//
// Where the literal run would take many minutes (n >= 18) it is timed on the
// first pairs of the enumeration and scaled to all of them (marked "est").
// Every comparison is checked: our minimum against the literal one, or, for
// an estimate, our value of each pair the literal run saw.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>
#include <ctime>
#include <algorithm>

#include "auxiliar.hpp"
#include "harness.hpp"
#include "metrics/entanglement.hpp"
#include "pool.hpp"
#include "restriction_plain.hpp"

namespace {

std::string load() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// What the literal driver found: the value of each bipartition it processed,
// in enumeration order, and their strict minimum.
template <class T>
struct LiteralRun {
  T minimum{};
  std::vector<T> values;
};

// The literal driver: pair_value of the first `limit` bipartitions, drawn one
// at a time under the lock, and their strict minimum (the first value seeds
// it, a later one replaces it only when strictly smaller).
template <class T, class PairValue>
LiteralRun<T> literal_minimum(unsigned n, std::uint64_t limit, PairValue&& pair_value) {
  varnel::SubsetIterator source(n);
  std::mutex lock;
  std::uint64_t taken = 0;
  LiteralRun<T> run;
  run.values.resize(std::min(limit, varnel::BalancedMasks(n).count()));
  const unsigned threads = n >= 10 ? varnel::pool::num_threads() : 1;
  varnel::pool::run(threads, [&](unsigned) {
    while (true) {
      std::optional<std::pair<varnel::VarList, varnel::VarList>> pair;
      std::uint64_t index = 0;
      {
        std::lock_guard<std::mutex> hold(lock);
        if (taken >= limit) return;
        pair = source.next();
        if (!pair) return;
        index = taken++;
      }
      run.values[index] = pair_value(pair->first, pair->second);
    }
  });
  run.minimum = run.values.at(0);
  for (const T& v : run.values) {
    if (v < run.minimum) run.minimum = v;
  }
  return run;
}

LiteralRun<float> literal_entropy(const plain::Table& t, std::uint64_t limit) {
  return literal_minimum<float>(plain::n_vars(t), limit,
                                [&](const plain::Vars& a, const plain::Vars& b) {
                                  const float ha = plain::literal_set_entropy(t, a);
                                  const float hb = plain::literal_set_entropy(t, b);
                                  return ha + hb;
                                });
}

LiteralRun<std::uint64_t> literal_entanglement(const plain::Table& t, std::uint64_t limit) {
  return literal_minimum<std::uint64_t>(
      plain::n_vars(t), limit, [&](const plain::Vars& a, const plain::Vars& b) {
        return plain::literal_count_forms(t, a) + plain::literal_count_forms(t, b);
      });
}

// The literal entropies add their terms in hash-map order, ours in ascending
// order of count: both are valid sums of the at most 2^ceil(n/2) terms of a
// side (one per distinct form), so a pair's value may differ in its last
// bits.
double literal_tolerance(unsigned n) {
  return bench::sum_order_tolerance(std::ldexp(1.0, static_cast<int>((n + 1) / 2)));
}

// The first `count` values of a *_sets list.
template <class Set, class Field>
auto first_values(const std::vector<Set>& sets, std::size_t count, Field field) {
  std::vector<std::remove_cvref_t<decltype(sets[0].*field)>> out;
  for (std::size_t i = 0; i < count && i < sets.size(); ++i) out.push_back(sets[i].*field);
  return out;
}

// Checks the literal run against ours: our result against the literal minimum
// when the run saw every pair; otherwise, as our minimum cannot be compared
// with the minimum of a part, our value of each pair it saw (from the *_sets
// list, computed here outside the timing).
void check_entropy(const std::string& name, const varnel::FValue& f, float ours,
                   const LiteralRun<float>& literal, std::uint64_t total) {
  const double tol = literal_tolerance(f.n_vars());
  if (literal.values.size() == total) {
    bench::close(name, ours, literal.minimum, tol);
    return;
  }
  bench::close(
      name + ", per pair from entropy_sets",
      first_values(varnel::entropy_sets(f), literal.values.size(), &varnel::EntropySet::entropy),
      literal.values, tol);
}

void check_entanglement(const std::string& name, const varnel::FValue& f, std::uint64_t ours,
                        const LiteralRun<std::uint64_t>& literal, std::uint64_t total) {
  if (literal.values.size() == total) {
    bench::check(name, ours, literal.minimum);
    return;
  }
  bench::check(name + ", per pair from entanglement_sets",
               first_values(varnel::entanglement_sets(f), literal.values.size(),
                            &varnel::EntanglementSet::entanglement),
               literal.values);
}

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Wall time (best of `reps` runs) and processor time (of the best run) of f.
template <class F>
std::pair<double, double> timed(int reps, F&& f) {
  double wall = 1e300, cpu = 1e300;
  for (int r = 0; r < reps; ++r) {
    const double c0 = cpu_seconds();
    const double w = bench::best_of(1, f);
    const double c = cpu_seconds() - c0;
    if (w < wall) wall = w, cpu = c;
  }
  return {wall, cpu};
}

// Our time in full against the literal time, measured in full or on the
// first `sample` pairs and scaled. Besides the wall-clock line of the
// harness, the processor times: on a shared machine they show the work done
// when the wall-clock times are stretched by other processes. Before the
// lines are printed, agrees(name, our result, literal run, number of pairs)
// checks the two.
template <class Ours, class Literal, class Agrees>
void compare(const char* what, unsigned n, std::uint64_t sample, int reps, Ours&& ours,
             Literal&& literal, Agrees&& agrees) {
  const std::uint64_t total = varnel::balanced_subset_masks(n).size();
  char name[96];
  std::optional<std::remove_cvref_t<decltype(ours())>> a;
  std::optional<std::remove_cvref_t<decltype(literal(total))>> b;
  const auto [wall_ours, cpu_ours] = timed(std::max(reps, 3), [&] { a.emplace(ours()); });
  double wall_literal = 0, cpu_literal = 0;
  if (sample >= total) {
    std::snprintf(name, sizeof name, "%s n=%u (%llu pairs)", what, n,
                  static_cast<unsigned long long>(total));
    std::tie(wall_literal, cpu_literal) = timed(reps, [&] { b.emplace(literal(total)); });
  } else {
    std::snprintf(name, sizeof name, "%s n=%u est (%llu of %llu pairs)", what, n,
                  static_cast<unsigned long long>(sample), static_cast<unsigned long long>(total));
    std::tie(wall_literal, cpu_literal) = timed(1, [&] { b.emplace(literal(sample)); });
    const double scale = static_cast<double>(total) / static_cast<double>(sample);
    wall_literal *= scale;
    cpu_literal *= scale;
  }
  agrees(std::string(name), *a, *b, total);
  bench::report(name, wall_ours, wall_literal);
  std::printf("%-48s  cpu %10.3f ms   plain cpu %10.3f ms   ratio %8.1fx\n", "", cpu_ours * 1e3,
              cpu_literal * 1e3, cpu_literal / cpu_ours);
}

varnel::FValue random_function(unsigned n, std::mt19937_64& rng, plain::Table& table) {
  table = plain::random_table(n, rng);
  return plain::pack(table);
}

}  // namespace

int main(int argc, char** argv) {
  std::mt19937_64 rng(7);
  const bool scaling = argc > 1 && std::strcmp(argv[1], "scaling") == 0;
  std::printf("entanglement benchmarks: %u threads, load %s\n", varnel::pool::num_threads(),
              load().c_str());
  plain::Table t;

  if (scaling) {
    for (int round = 0; round < 2; ++round) {
      const varnel::FValue f = random_function(18, rng, t);
      const double te = bench::best_of(2, [&] { bench::keep(varnel::entropy(f)); });
      const double tw = bench::best_of(2, [&] { bench::keep(varnel::entanglement(f)); });
      std::printf("n=18 threads=%u  entropy %.3f s  entanglement %.3f s  (load %s)\n",
                  varnel::pool::num_threads(), te, tw, load().c_str());
    }
    return 0;
  }

  // The checks of the results: the minima, or every pair's value.
  auto entropy_agrees = [&](const varnel::FValue& f) {
    return [&f](const std::string& name, float ours, const LiteralRun<float>& literal,
                std::uint64_t total) { check_entropy(name, f, ours, literal, total); };
  };
  auto entanglement_agrees = [&](const varnel::FValue& f) {
    return
        [&f](const std::string& name, std::uint64_t ours, const LiteralRun<std::uint64_t>& literal,
             std::uint64_t total) { check_entanglement(name, f, ours, literal, total); };
  };
  auto literal_entropy_of = [&](std::uint64_t limit) { return literal_entropy(t, limit); };
  auto literal_entanglement_of = [&](std::uint64_t limit) {
    return literal_entanglement(t, limit);
  };

  for (unsigned n : {12u, 14u, 16u}) {
    const varnel::FValue f = random_function(n, rng, t);
    const int reps = n <= 14 ? 3 : 1;
    compare(
        "entropy", n, ~0ull, reps, [&] { return varnel::entropy(f); }, literal_entropy_of,
        entropy_agrees(f));
    compare(
        "entanglement", n, ~0ull, reps, [&] { return varnel::entanglement(f); },
        literal_entanglement_of, entanglement_agrees(f));
  }
  {
    const varnel::FValue f = random_function(16, rng, t);
    compare(
        "entropy_sets", 16, ~0ull, 1, [&] { return varnel::entropy_sets(f); }, literal_entropy_of,
        [&](const std::string& name, const std::vector<varnel::EntropySet>& ours,
            const LiteralRun<float>& literal, std::uint64_t) {
          bench::close(name, first_values(ours, ours.size(), &varnel::EntropySet::entropy),
                       literal.values, literal_tolerance(16));
        });
    // A structured function: majority, whose forms repeat heavily.
    for (std::size_t x = 0; x < t.size(); ++x) t[x] = __builtin_popcountll(x) > 8;
    const varnel::FValue m = plain::pack(t);
    compare(
        "entropy majority", 16, ~0ull, 1, [&] { return varnel::entropy(m); }, literal_entropy_of,
        entropy_agrees(m));
  }
  for (unsigned n : {18u, 20u}) {
    const varnel::FValue f = random_function(n, rng, t);
    const std::uint64_t sample = 64ull * varnel::pool::num_threads();
    compare(
        "entropy", n, sample, 1, [&] { return varnel::entropy(f); }, literal_entropy_of,
        entropy_agrees(f));
    compare(
        "entanglement", n, sample, 1, [&] { return varnel::entanglement(f); },
        literal_entanglement_of, entanglement_agrees(f));
  }
  std::printf("load at the end: %s\n", load().c_str());
  return bench::verdict();
}
