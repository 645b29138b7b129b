// The spectral family (spectral entropy, non-linearity, Fourier degree) and the
// frontier, against the plain implementations of their literal algorithms in
// the same run: the int64 transform of a byte-per-entry sign vector, and the
// frontier as an edge list. Prints the ratio, the 1 -> 2 thread scaling with
// the machine's load beside it, and the bytes the two passes move per second
// against the machine's measured bandwidth. Every pair of results is checked.
#include <bit>
#include <cstdio>
#include <optional>
#include <random>

#include "classical.hpp"
#include "families_plain.hpp"
#include "harness.hpp"
#include "machine.hpp"
#include "metrics/frontier.hpp"
#include "metrics/spectral.hpp"
#include "plain.hpp"

namespace {

// A random table of n variables whose last variable is irrelevant: its top
// coefficient is zero, so the degree needs the whole spectrum.
varnel::FValue without_top(unsigned n, std::mt19937_64& rng) {
  varnel::FValue f = varnel::FValue::zeros(std::uint64_t{1} << n);
  auto w = f.mutable_words();
  for (std::size_t k = 0; k < w.size() / 2; ++k) w[k] = w[k + w.size() / 2] = rng();
  return f;
}

// Times one measure on 1 and 2 threads and prints both with the scaling, the
// bytes moved per second and, when given, the plain algorithm's time. The
// results on 1 and 2 threads are checked to agree, and against `want` (the
// plain result) when it is given.
template <class Ours, class Want>
void spectral_line(const std::string& name, unsigned n, const bench::Bandwidth& bw, int reps,
                   Ours&& ours, double plain_secs, const std::optional<Want>& want) {
  decltype(ours(1)) on_one{}, on_two{};
  const double one = bench::best_of(reps, [&] { bench::keep(on_one = ours(1)); });
  const double cpu = bench::cpu_best_of(reps, [&] { bench::keep(ours(1)); });
  const double load1 = bench::load_average();
  const double two = bench::best_of(reps, [&] { bench::keep(on_two = ours(2)); });
  bench::check(name + " (2 threads)", on_two, on_one);
  if (want) bench::check(name, on_one, *want);
  // Pass 1 writes and pass 2 reads 2 bytes per entry; the table is read once.
  // The rate is per second of processor time, which on a loaded machine is
  // what a quiet run's wall clock would show.
  const double bytes =
      4.0 * std::ldexp(1.0, static_cast<int>(n)) + std::ldexp(1.0, static_cast<int>(n) - 3);
  std::printf(
      "%-34s 1 thread %8.2f ms (cpu %7.2f)  2 threads %8.2f ms  scaling %4.2fx (load %.1f)"
      "  %5.1f GB/s = %3.0f%% of read bw; 2 threads %5.1f GB/s",
      name.c_str(), one * 1e3, cpu * 1e3, two * 1e3, one / two, load1, bytes / cpu / 1e9,
      100.0 * bytes / cpu / bw.read, bytes / two / 1e9);
  if (plain_secs > 0)
    std::printf("  plain %9.1f ms ratio %6.1fx", plain_secs * 1e3, plain_secs / one);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  std::mt19937_64 rng(2026);
  const bench::Bandwidth bw = bench::measure_bandwidth();
  bench::print_machine(bw);

  std::printf(
      "== spectral family on random tables (plain: int64 transform of a byte-per-entry"
      " sign vector)\n");
  for (unsigned n : {20u, 22u, 24u, 26u}) {
    if (quick && n > 24) break;
    const plain::Table t = plain::random_table(n, rng);
    const varnel::FValue f = plain::pack(t);
    const bool with_plain = n <= (quick ? 20u : 24u);
    const int reps = n <= 24 ? 5 : 3;
    float plain_h = 0;
    std::uint64_t plain_nl = 0, plain_d = 0;
    const double t_h =
        with_plain ? bench::best_of(1, [&] { plain_h = plain::spectral_entropy_accurate(t); }) : 0;
    const double t_nl =
        with_plain ? bench::best_of(1, [&] { plain_nl = plain::no_linearity_exact(t); }) : 0;
    const double t_d = with_plain ? bench::best_of(1, [&] { plain_d = plain::degree(t); }) : 0;
    const std::string tag = " n=" + std::to_string(n);
    auto given = [&](auto value) {
      return with_plain ? std::optional<decltype(value)>(value) : std::nullopt;
    };
    spectral_line(
        "spectral_entropy" + tag, n, bw, reps,
        [&](unsigned th) { return varnel::spectral_entropy_on(f, th); }, t_h, given(plain_h));
    spectral_line(
        "no_linearity" + tag, n, bw, reps,
        [&](unsigned th) { return varnel::no_linearity_on(f, th); }, t_nl, given(plain_nl));
    const varnel::FValue g = without_top(n, rng);
    spectral_line(
        "degree (top coefficient zero)" + tag, n, bw, reps,
        [&](unsigned th) { return varnel::degree_on(g, th); }, 0,
        with_plain ? std::optional(plain::degree(plain::unpack(g))) : std::nullopt);
    decltype(varnel::degree(f)) d = 0;
    const double top = bench::best_of(reps, [&] { bench::keep(d = varnel::degree(f)); });
    if (with_plain) bench::check("degree" + tag, d, plain_d);
    std::printf("%-34s %8.3f ms (top coefficient set: one pass over the packed table)",
                ("degree" + tag).c_str(), top * 1e3);
    if (with_plain) std::printf("  plain %9.1f ms ratio %6.1fx", t_d * 1e3, t_d / top);
    std::printf("\n");
  }

  std::printf("== frontier_size (first call) on random tables (plain: the edge list)\n");
  double previous = 0;
  for (unsigned n : {20u, 22u, 24u, 26u, 28u}) {
    if (quick && n > 22) break;
    const plain::Table t = n <= 26 ? plain::random_table(n, rng) : plain::Table{};
    varnel::FValue f = n <= 26 ? plain::pack(t) : varnel::FValue::zeros(std::uint64_t{1} << n);
    if (n > 26) {
      for (auto& w : f.mutable_words()) w = rng();
    }
    std::uint64_t ours = 0;
    auto first_call = [&] {
      std::optional<varnel::FrontierGraph> cache;
      ours = varnel::frontier_size(cache, f);
    };
    const double secs = bench::best_of(15, first_call);
    const double cpu = bench::cpu_best_of(15, first_call);
    const bool with_plain = n <= (quick ? 20u : 24u);
    double p = 0;
    if (with_plain) {
      std::uint64_t want = 0;
      p = bench::best_of(1, [&] { want = plain::frontier_graph(t).edges.size(); });
      bench::check("frontier_size n=" + std::to_string(n), ours, want);
    }
    std::printf(
        "%-34s %9.3f ms (cpu %8.3f)  per entry %5.3f ns  growth %5.2fx (cpu), extra memory "
        "1/2048 byte per entry per thread (load %.1f)",
        ("frontier_size n=" + std::to_string(n)).c_str(), secs * 1e3, cpu * 1e3,
        cpu * 1e9 / std::ldexp(1.0, static_cast<int>(n)), previous > 0 ? cpu / previous : 0.0,
        bench::load_average());
    previous = cpu;
    if (with_plain) std::printf("  plain %9.1f ms ratio %7.1fx", p * 1e3, p / secs);
    std::printf("\n");
  }

  return bench::verdict();
}
