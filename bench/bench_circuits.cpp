// Five-input functions by the array: representatives, transforms, gate counts
// and class indices over 2^22 random table words on the worker pool, against
// the one-at-a-time path (one checked lookup per word, one thread), with an
// agreement check; and one optimal circuit per call.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "harness.hpp"
#include "opt5/catalogue.hpp"
#include "opt5/circuit.hpp"
#include "opt5/lookup.hpp"
#include "opt5/table_words.hpp"
#include "pool.hpp"

namespace {

constexpr std::size_t kWords = std::size_t{1} << 22;
constexpr std::uint64_t kGrain = 1u << 14;

/// Processor time of the whole process, in seconds.
double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

/// Least processor time per word of the pool's runs since the last report
/// (all threads).
double g_cpu_per_word = 1e300;

template <class Kernel>
void on_pool(Kernel&& kernel) {
  const double start = cpu_seconds();
  varnel::pool::parallel_for(kWords, kGrain,
                             [&](std::uint64_t b, std::uint64_t e) { kernel(b, e - b); });
  g_cpu_per_word = std::min(g_cpu_per_word, (cpu_seconds() - start) / kWords);
}

/// Wall-clock rates, and the processor time per word of the pool's run (on a
/// shared machine the wall clock also counts other processes' turns; two
/// threads at that processor time per word give the last column).
void rate(const char* name, double ours, double plain, std::size_t plain_words) {
  const double ours_rate = kWords / ours / 1e6, plain_rate = plain_words / plain / 1e6;
  std::printf(
      "%-32s ours %7.1f M/s   one at a time %6.2f M/s   ratio %5.1fx   cpu %5.1f ns/word"
      " (2 threads: %5.1f M/s)\n",
      name, ours_rate, plain_rate, ours_rate / plain_rate, g_cpu_per_word * 1e9,
      2e-6 / g_cpu_per_word);
  g_cpu_per_word = 1e300;
  std::fflush(stdout);
}

}  // namespace

int main() {
  if (opt5::embedded_chains().empty()) {
    std::printf("built without opt5/chains.bin: nothing to time\n");
    return 0;
  }
  const auto t0 = std::chrono::steady_clock::now();
  const auto& db = opt5::embedded_database();
  const auto t1 = std::chrono::steady_clock::now();
  const auto& catalogue = opt5::embedded_catalogue();
  const auto t2 = std::chrono::steady_clock::now();
  std::printf("threads %u; database %.0f ms, catalogue %.0f ms (first use)\n",
              varnel::pool::num_threads(), std::chrono::duration<double>(t1 - t0).count() * 1e3,
              std::chrono::duration<double>(t2 - t1).count() * 1e3);
  const auto& table = *db.table;

  std::mt19937_64 rng(20261208);
  std::vector<std::uint32_t> words(kWords);
  for (auto& w : words) w = static_cast<std::uint32_t>(rng());
  const std::span<const std::uint32_t> in(words);
  std::vector<std::uint32_t> reps(kWords), classes(kWords), one(kWords);
  std::vector<opt5::npn_transform> ts(kWords);
  std::vector<std::uint8_t> gates(kWords);
  // The one-at-a-time path runs on an eighth of the words.
  const std::size_t few = kWords / 8;

  double ours = bench::best_of(3, [&] {
    on_pool([&](std::size_t b, std::size_t n) {
      opt5::representatives_of_words(in.subspan(b, n), std::span(reps).subspan(b, n), table);
    });
  });
  double plain = bench::best_of(1, [&] {
    for (std::size_t i = 0; i < few; ++i)
      one[i] = opt5::npn_representant(db, opt5::mirror_word(words[i]));
  });
  bench::check("representatives", std::span(reps).first(few), std::span(one).first(few));
  rate("representatives", ours, plain, few);

  ours = bench::best_of(3, [&] {
    on_pool([&](std::size_t b, std::size_t n) {
      opt5::canonize_words(in.subspan(b, n), std::span(reps).subspan(b, n),
                           std::span(ts).subspan(b, n), table);
    });
  });
  std::vector<std::uint32_t> back(few);
  for (std::size_t i = 0; i < few; ++i) back[i] = opt5::apply_transform(reps[i], ts[i]);
  bench::check("transforms lead back to the words", back, std::span(words).first(few));
  rate("representatives and transforms", ours, plain, few);

  ours = bench::best_of(3, [&] {
    on_pool([&](std::size_t b, std::size_t n) {
      opt5::gates_of_words(in.subspan(b, n), std::span(gates).subspan(b, n), catalogue, table);
    });
  });
  plain = bench::best_of(1, [&] {
    for (std::size_t i = 0; i < few; ++i) one[i] = opt5::num_gates(db, opt5::mirror_word(words[i]));
  });
  bench::check("minimal gate counts", std::span(gates).first(few), std::span(one).first(few));
  rate("minimal gate counts", ours, plain, few);

  ours = bench::best_of(3, [&] {
    on_pool([&](std::size_t b, std::size_t n) {
      opt5::classes_of_words(in.subspan(b, n), std::span(classes).subspan(b, n), catalogue, table);
    });
  });
  std::vector<std::uint32_t> of_class(few), walked(few);
  for (std::size_t i = 0; i < few; ++i) {
    of_class[i] = catalogue.representatives()[classes[i]];
    walked[i] = opt5::npn_representant(db, opt5::mirror_word(words[i]));
  }
  bench::check("class indices", of_class, walked);
  rate("class indices", ours, plain, few);

  // One optimal circuit per call, one thread: wall clock and processor time.
  std::uint32_t check = 0;
  double cpu_call = 1e300, cpu_count = 1e300;
  const double per_call = bench::best_of(3, [&] {
    const double start = cpu_seconds();
    for (std::size_t i = 0; i < few; ++i) check += opt5::optimal_circuit(db, words[i]).length;
    cpu_call = std::min(cpu_call, cpu_seconds() - start);
  });
  const double per_count = bench::best_of(3, [&] {
    const double start = cpu_seconds();
    for (std::size_t i = 0; i < few; ++i) check += opt5::num_gates(db, opt5::mirror_word(words[i]));
    cpu_count = std::min(cpu_count, cpu_seconds() - start);
  });
  bench::keep(check);
  std::printf(
      "%-32s %6.0f ns per call (cpu %4.0f ns)   checked gate count %6.0f ns (cpu %4.0f ns)\n",
      "optimal circuit, one thread", per_call / few * 1e9, cpu_call / few * 1e9,
      per_count / few * 1e9, cpu_count / few * 1e9);
  return bench::verdict();
}
