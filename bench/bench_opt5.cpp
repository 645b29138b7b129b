// The optimal-circuit library: canonicalisation against the walk over all
// 3,840 transforms, the first-call build of the database against a plain
// build (std::unordered_map, the table by canonise_circuit_4 on every word),
// and lookups when the build embeds the chain database. Both sides of every
// comparison are checked to agree.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <span>
#include <string>
#include <tuple>
#include <random>
#include <unordered_map>
#include <vector>

#include "harness.hpp"
#include "npn_plain.hpp"
#include "opt5/database.hpp"
#include "opt5/lookup.hpp"
#include "opt5/npn.hpp"

namespace {

std::size_t rss_bytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<std::size_t>(resident) * 4096;
}

// A synthetic file of full size for timing the loader when the build has no
// chain data: valid 12-gate records f = g XOR (x4 AND h) with g and h random
// five-gate chains over variables 0..3, so that most keys are distinct as in
// the real file.
std::vector<std::uint8_t> synthetic_file(std::mt19937_64& rng) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(opt5::kDatabaseBytes);
  auto pick = [&](unsigned first_gate, unsigned gates) {
    // Nodes 2..5 (variables 3..0) or one of the gates built so far.
    const unsigned n = static_cast<unsigned>(rng() % (4 + gates));
    return n < 4 ? 2 + n : first_gate + (n - 4);
  };
  for (std::size_t r = 0; r < opt5::kDatabaseRecords; ++r) {
    std::vector<unsigned> fields;
    for (unsigned part = 0; part < 2; ++part) {
      const unsigned first = 6 + 5 * part;
      for (unsigned i = 0; i < 5; ++i) {
        const unsigned a = i == 0 ? pick(first, 0) : first + i - 1;
        unsigned b = pick(first, i);
        if (b == a) b = a == 2 ? 3 : 2;
        fields.push_back(plain::field(a, b, static_cast<unsigned>(rng() % 4)));
      }
    }
    fields.push_back(plain::field(15, 1, 0));   // node 16 = h AND x4
    fields.push_back(plain::field(10, 16, 2));  // node 17 = g XOR node 16
    const auto rec = plain::record(fields);
    bytes.insert(bytes.end(), rec.begin(), rec.end());
  }
  return bytes;
}

// The plain build: the same records into std::unordered_map, and the
// canonisation table with canonise_circuit_4 on each of the 32,768 words.
std::size_t plain_build(std::span<const std::uint8_t> bytes, opt5::canonisation_table& table) {
  std::unordered_map<std::uint32_t, opt5::gatevec_fast> map;
  map.max_load_factor(0.5f);
  map[0] = opt5::gatevec_fast{};
  map[0x0000FFFF] = opt5::gatevec_fast{{}, 0, 2};
  opt5::chain_map one;
  for (std::size_t r = 0; r + 15 <= bytes.size(); r += 15) {
    opt5::bytes2gv(bytes.subspan(r, 15), one);  // parse one record
  }
  one.for_each([&](std::uint32_t key, const opt5::gatevec_fast& c) { map[key] = c; });
  for (std::uint32_t i = 0; i < opt5::kNormalWords4; ++i) {
    opt5::transform t;
    table.representative[i] = opt5::canonise_circuit_4(static_cast<std::uint16_t>(i), t);
  }
  opt5::run_dijkstra(table.representative, table.move);
  opt5::init_tableau(table.tableau);
  return map.size();
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU seconds of the calling thread (the machine is shared: wall times of a
// single run can include time spent waiting for a core).
double thread_cpu() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void bench_canonicalisation(std::mt19937_64& rng, const opt5::canonisation_table& table) {
  std::vector<std::uint32_t> words(200000);
  for (auto& w : words) w = static_cast<std::uint32_t>(rng());
  std::vector<std::uint32_t> ours_first, walk_first;
  for (std::size_t i = 0; i < 2000; ++i) {
    ours_first.push_back(opt5::get_representant(words[i], table));
    walk_first.push_back(plain::npn_walk(words[i]));
  }
  bench::check("representative of 2000 random words, one by one", ours_first, walk_first);
  // The short run of ours is repeated more often: on a shared machine a
  // single preemption distorts a 10 ms run more than a 1 s one. Both sides
  // sum the representatives.
  bench::compare(
      "representative, 200k random words", {15, 3},
      [&] {
        std::uint32_t acc = 0;
        for (auto w : words) acc += opt5::get_representant(w, table);
        return acc;
      },
      [&] {
        std::uint32_t acc = 0;
        for (auto w : words) acc += plain::npn_walk(w);
        return acc;
      });
  std::vector<std::uint32_t> many(10000000);
  for (auto& w : many) w = static_cast<std::uint32_t>(rng());
  const double t_rep = bench::best_of(3, [&] {
    std::uint32_t acc = 0;
    for (auto w : many) acc += opt5::get_representant(w, table);
    bench::keep(acc);
  });
  const double t_tr = bench::best_of(3, [&] {
    std::uint32_t acc = 0;
    for (auto w : many) {
      opt5::transform t;
      acc +=
          opt5::canonise_circuit_fast(w & 0x7FFFFFFFu, t, table) + static_cast<std::uint32_t>(t[1]);
    }
    bench::keep(acc);
  });
  const double c0 = thread_cpu();
  std::uint32_t acc = 0;
  for (auto w : many) acc += opt5::get_representant(w, table);
  bench::keep(acc);
  const double t_cpu = thread_cpu() - c0;
  const double n = static_cast<double>(many.size());
  std::printf(
      "throughput, one thread, 10M random words: representative %.1f M/s (%.1f ns; "
      "%.1f ns of thread CPU), with transform %.1f M/s (%.1f ns)\n",
      1e-6 * n / t_rep, 1e9 * t_rep / n, 1e9 * t_cpu / n, 1e-6 * n / t_tr, 1e9 * t_tr / n);
}

void bench_first_call(std::mt19937_64& rng) {
  std::span<const std::uint8_t> file = opt5::embedded_chains();
  std::vector<std::uint8_t> synthetic;
  if (file.empty()) {
    synthetic = synthetic_file(rng);
    file = synthetic;
    std::printf("no embedded chain data: timing a synthetic file of %zu records\n",
                opt5::kDatabaseRecords);
  }
  {
    const std::size_t rss0 = rss_bytes();
    const double c0 = thread_cpu();
    const auto start = std::chrono::steady_clock::now();
    auto db = opt5::make_wrapper(file);
    const double first = seconds_since(start), cpu = thread_cpu() - c0;
    const std::size_t rss1 = rss_bytes();
    std::printf(
        "first call (parse + table), cold: %.1f ms (%.1f ms thread CPU); %zu keys in %zu "
        "slots; map %.1f MiB + table %.2f MiB; resident growth %.1f MiB\n",
        1e3 * first, 1e3 * cpu, db->chains.size(), db->chains.slot_count(),
        static_cast<double>(db->chains.memory_bytes()) / 1048576.0,
        static_cast<double>(sizeof(opt5::canonisation_table)) / 1048576.0,
        static_cast<double>(rss1 - rss0) / 1048576.0);
  }
  // Both builds are checked to agree in the number of keys and in what the
  // plain build fills of the canonisation table: the representatives, the
  // move region and the defined tableau entries.
  auto plain_table = std::make_unique<opt5::canonisation_table>();
  auto built = [](const opt5::canonisation_table& t) {
    return std::tuple(std::span(t.representative), std::span(t.move),
                      std::span(t.tableau).first(16), std::span(t.tableau).subspan(512, 16));
  };
  bench::compare(
      "first call: parse + table", 3, [&] { return opt5::make_wrapper(file); },
      [&] { return plain_build(file, *plain_table); },
      [&](const std::unique_ptr<opt5::wrapper>& db, std::size_t keys) {
        return bench::agree(db->chains.size(), keys) &&
               bench::agree(built(*db->table), built(*plain_table));
      });
  const double t_table = bench::best_of(5, [&] { opt5::prepare_table(*plain_table); });
  std::printf("  of which the canonisation table: %.1f ms\n", 1e3 * t_table);
}

void bench_lookup(std::mt19937_64& rng) {
  const auto embedded = opt5::embedded_chains();
  if (embedded.empty()) {
    std::printf("num_gates: skipped (built without opt5/chains.bin)\n");
    return;
  }
  auto db = opt5::make_wrapper(embedded);
  std::unordered_map<std::uint32_t, opt5::gatevec_fast> plain_map;
  db->chains.for_each([&](std::uint32_t k, const opt5::gatevec_fast& c) { plain_map[k] = c; });
  std::vector<std::uint32_t> queries(100000);
  for (auto& w : queries) w = static_cast<std::uint32_t>(rng());
  bench::compare(
      "num_gates, 100k random words", 3,
      [&] {
        std::uint32_t acc = 0;
        for (auto w : queries) acc += opt5::num_gates(*db, w);
        return acc;
      },
      [&] {
        // Brute-force representative and a hash lookup, no check.
        std::uint32_t acc = 0;
        for (auto w : queries) acc += plain_map.at(plain::npn_walk(w)).length;
        return acc;
      });
}

}  // namespace

// Parts to run may be named on the command line: canon, load, lookup.
int main(int argc, char** argv) {
  auto wanted = [&](const char* part) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i)
      if (std::string(argv[i]) == part) return true;
    return false;
  };
  std::mt19937_64 rng(0xbe9c);
  auto table = std::make_unique<opt5::canonisation_table>();
  opt5::prepare_table(*table);
  if (wanted("canon")) bench_canonicalisation(rng, *table);
  if (wanted("load")) bench_first_call(rng);
  if (wanted("lookup")) bench_lookup(rng);
  return bench::verdict();
}
