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
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <tuple>
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

// The literal driver: the strict minimum of pair_value over the first `limit`
// bipartitions; returns the number of pairs it processed.
template <class T, class PairValue>
std::uint64_t literal_minimum(unsigned n, std::uint64_t limit, PairValue&& pair_value, T& result) {
  varnel::SubsetIterator source(n);
  std::mutex lock;
  std::uint64_t taken = 0;
  const unsigned threads = n >= 10 ? varnel::pool::num_threads() : 1;
  std::vector<std::optional<T>> best(threads);
  varnel::pool::run(threads, [&](unsigned p) {
    while (true) {
      std::optional<std::pair<varnel::VarList, varnel::VarList>> pair;
      {
        std::lock_guard<std::mutex> hold(lock);
        if (taken >= limit) return;
        pair = source.next();
        if (!pair) return;
        ++taken;
      }
      const T v = pair_value(pair->first, pair->second);
      if (!best[p] || v < *best[p]) best[p] = v;
    }
  });
  std::optional<T> out;
  for (const auto& b : best) {
    if (b && (!out || *b < *out)) out = b;
  }
  result = *out;
  return taken;
}

float literal_entropy(const plain::Table& t, std::uint64_t limit, std::uint64_t* pairs = nullptr) {
  float r = 0;
  const std::uint64_t done = literal_minimum<float>(
      plain::n_vars(t), limit,
      [&](const plain::Vars& a, const plain::Vars& b) {
        const float ha = plain::literal_set_entropy(t, a);
        const float hb = plain::literal_set_entropy(t, b);
        return ha + hb;
      },
      r);
  if (pairs) *pairs = done;
  return r;
}

std::uint64_t literal_entanglement(const plain::Table& t, std::uint64_t limit,
                                   std::uint64_t* pairs = nullptr) {
  std::uint64_t r = 0;
  const std::uint64_t done = literal_minimum<std::uint64_t>(
      plain::n_vars(t), limit,
      [&](const plain::Vars& a, const plain::Vars& b) {
        return plain::literal_count_forms(t, a) + plain::literal_count_forms(t, b);
      },
      r);
  if (pairs) *pairs = done;
  return r;
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
// when the wall-clock times are stretched by other processes.
template <class Ours, class Literal>
void compare(const char* what, unsigned n, std::uint64_t sample, int reps, Ours&& ours,
             Literal&& literal) {
  const std::uint64_t total = varnel::balanced_subset_masks(n).size();
  char name[96];
  const auto [wall_ours, cpu_ours] = timed(std::max(reps, 3), ours);
  double wall_literal = 0, cpu_literal = 0;
  if (sample >= total) {
    std::snprintf(name, sizeof name, "%s n=%u (%llu pairs)", what, n,
                  static_cast<unsigned long long>(total));
    std::tie(wall_literal, cpu_literal) = timed(reps, [&] { literal(total); });
  } else {
    std::snprintf(name, sizeof name, "%s n=%u est (%llu of %llu pairs)", what, n,
                  static_cast<unsigned long long>(sample), static_cast<unsigned long long>(total));
    std::tie(wall_literal, cpu_literal) = timed(1, [&] { literal(sample); });
    const double scale = static_cast<double>(total) / static_cast<double>(sample);
    wall_literal *= scale;
    cpu_literal *= scale;
  }
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

  for (unsigned n : {12u, 14u, 16u}) {
    const varnel::FValue f = random_function(n, rng, t);
    const int reps = n <= 14 ? 3 : 1;
    compare(
        "entropy", n, ~0ull, reps, [&] { bench::keep(varnel::entropy(f)); },
        [&](std::uint64_t limit) { bench::keep(literal_entropy(t, limit)); });
    compare(
        "entanglement", n, ~0ull, reps, [&] { bench::keep(varnel::entanglement(f)); },
        [&](std::uint64_t limit) { bench::keep(literal_entanglement(t, limit)); });
  }
  {
    const varnel::FValue f = random_function(16, rng, t);
    compare(
        "entropy_sets", 16, ~0ull, 1, [&] { bench::keep(varnel::entropy_sets(f)); },
        [&](std::uint64_t limit) { bench::keep(literal_entropy(t, limit)); });
    // A structured function: majority, whose forms repeat heavily.
    for (std::size_t x = 0; x < t.size(); ++x) t[x] = __builtin_popcountll(x) > 8;
    const varnel::FValue m = plain::pack(t);
    compare(
        "entropy majority", 16, ~0ull, 1, [&] { bench::keep(varnel::entropy(m)); },
        [&](std::uint64_t limit) { bench::keep(literal_entropy(t, limit)); });
  }
  for (unsigned n : {18u, 20u}) {
    const varnel::FValue f = random_function(n, rng, t);
    const std::uint64_t sample = 64ull * varnel::pool::num_threads();
    compare(
        "entropy", n, sample, 1, [&] { bench::keep(varnel::entropy(f)); },
        [&](std::uint64_t limit) { bench::keep(literal_entropy(t, limit)); });
    compare(
        "entanglement", n, sample, 1, [&] { bench::keep(varnel::entanglement(f)); },
        [&](std::uint64_t limit) { bench::keep(literal_entanglement(t, limit)); });
  }
  std::printf("load at the end: %s\n", load().c_str());
  return 0;
}
