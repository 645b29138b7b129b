// The function families against their literal per-entry definitions
// (tests/reference/families.hpp: one byte per entry, trial division, Euclid,
// the exhaustive clique search per graph), then our builders alone at the
// target sizes, and the peak memory of a build beyond its finished table.
// Every table is checked against the literal one (for clique(8), its part
// that the literal search covers).
//
//   bench_examples           literal sizes of a few seconds each
//   bench_examples --large   literal sizes of up to about a minute each, and
//                            clique(9), whose table is 8 GiB
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "examples.hpp"
#include "families.hpp"
#include "harness.hpp"

namespace ex = varnel::examples;

namespace {

struct Family {
  const char* name;
  varnel::FValue (*ours)(std::uint64_t);
  plain::Table (*literal)(unsigned);
  unsigned n;        // literal in a few seconds
  unsigned n_large;  // literal in up to about a minute
};

std::uint64_t status_kib(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::stoull(line.substr(std::strlen(field)));
  }
  return 0;
}

// Builds the table in a child process and reports its peak resident memory
// beyond the resident set it started with, against the table's own size.
void peak_memory(const char* name, varnel::FValue (*build)(std::uint64_t), std::uint64_t n) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    const std::uint64_t start = status_kib("VmRSS:");
    const varnel::FValue f = build(n);
    const std::uint64_t peak = status_kib("VmHWM:");
    const double table = double(f.words().size()) * 8 / 1024;
    std::printf("%-22s table %10.0f KiB   peak growth %10.0f KiB   (%.3fx the table)\n",
                (std::string(name) + "(" + std::to_string(n) + ")").c_str(), table,
                double(peak - start), double(peak - start) / table);
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

void time_ours(const char* name, varnel::FValue (*build)(std::uint64_t), std::uint64_t n,
               int reps) {
  std::uint64_t vars = 0;
  const double t = bench::best_of(reps, [&] {
    const varnel::FValue f = build(n);
    vars = f.n_vars();
    bench::keep(f);
  });
  std::printf("%-22s %2llu variables   %10.3f ms\n",
              (std::string(name) + "(" + std::to_string(n) + ")").c_str(),
              static_cast<unsigned long long>(vars), t * 1e3);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const bool large = argc > 1 && std::strcmp(argv[1], "--large") == 0;
  const std::vector<Family> families = {
      {"parity", ex::parity, plain::parity, 28, 33},
      {"majority", ex::majority, plain::majority, 28, 33},
      {"primality", ex::primality, plain::primality, 23, 26},
      {"coprimes", ex::coprimes, plain::coprimes, 12, 15},
      {"sum_is_prime", ex::sum_is_prime, plain::sum_is_prime, 13, 15},
      {"clique", ex::clique, plain::clique, 7, 7},
  };

  std::printf("peak memory of a build beyond its table\n");
  peak_memory("parity", ex::parity, 30);
  peak_memory("majority", ex::majority, 30);
  peak_memory("primality", ex::primality, 30);
  peak_memory("coprimes", ex::coprimes, 15);
  peak_memory("sum_is_prime", ex::sum_is_prime, 15);
  peak_memory("clique", ex::clique, 8);

  std::printf("\nagainst the literal per-entry definition (best of 3 ours, 1 literal)\n");
  for (const Family& f : families) {
    const unsigned n = large ? f.n_large : f.n;
    const std::string label = std::string(f.name) + "(" + std::to_string(n) + ")";
    bench::compare(
        label, {3, 1}, [&] { return f.ours(n); }, [&] { return f.literal(n); },
        [](const varnel::FValue& ours, const plain::Table& literal) {
          return ours == plain::pack(literal);
        });
  }
  {
    // clique(8) literally takes minutes: time the literal search on the first
    // 2^22 of its 2^28 graphs and scale by 64; those entries are checked.
    constexpr std::uint64_t part_size = std::uint64_t{1} << 22;
    std::optional<varnel::FValue> ours_table;
    const double ours = bench::best_of(3, [&] { ours_table.emplace(ex::clique(8)); });
    plain::Table literal(part_size);
    const double part = bench::best_of(1, [&] {
      for (std::uint64_t i = 0; i < part_size; ++i) literal[i] = plain::clique_entry(8, i);
    });
    plain::Table first(part_size);
    for (std::uint64_t i = 0; i < part_size; ++i) first[i] = (*ours_table)[i];
    bench::check("clique(8), the first 2^22 entries", first, literal);
    bench::report("clique(8), literal scaled from 1/64", ours, part * 64);
  }

  std::printf("\nours alone\n");
  time_ours("primality", ex::primality, 28, 3);
  time_ours("clique", ex::clique, 8, 3);
  time_ours("coprimes", ex::coprimes, 13, 3);
  time_ours("sum_is_prime", ex::sum_is_prime, 13, 3);
  time_ours("parity", ex::parity, 32, 3);
  time_ours("majority", ex::majority, 32, 3);
  time_ours("primality", ex::primality, 32, 1);
  time_ours("coprimes", ex::coprimes, 16, 1);
  time_ours("sum_is_prime", ex::sum_is_prime, 15, 3);
  if (large) time_ours("clique", ex::clique, 9, 1);
  return bench::verdict();
}
