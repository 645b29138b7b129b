// The classical measures against the plain implementations of their literal
// algorithms (byte per entry: the int64 transform of the sign vector, one bit
// flip at a time, the frontier as an edge list, certificate complexity as a
// hitting set per input on the pool), in the same run, with the ratio. Every
// pair of results is checked for equality as well.
#include <bit>
#include <cstdio>
#include <optional>
#include <random>

#include "classical.hpp"
#include "families_plain.hpp"
#include "harness.hpp"
#include "metrics/certificate.hpp"
#include "metrics/frontier.hpp"
#include "metrics/influence.hpp"
#include "metrics/sensitivity.hpp"
#include "metrics/spectral.hpp"
#include "plain.hpp"

namespace {

// The Rubinstein function: blocks of w variables, a block is true when its
// only ones are one adjacent pair at positions (2j, 2j + 1); f is the OR of the
// blocks. Low sensitivity, high certificate complexity: a hard case.
plain::Table rubinstein(unsigned blocks, unsigned w) {
  return plain::make_table(blocks * w, [&](std::size_t x) {
    for (unsigned i = 0; i < blocks; ++i) {
      const std::size_t block = (x >> (i * w)) & ((std::size_t{1} << w) - 1);
      for (unsigned j = 0; j + 1 < w; j += 2) {
        if (block == (std::size_t{3} << j)) return true;
      }
    }
    return false;
  });
}

}  // namespace

int main() {
  std::mt19937_64 rng(2024);

  {
    const unsigned n = 24;
    const plain::Table t = plain::random_table(n, rng);
    const varnel::FValue f = plain::pack(t);
    std::printf("== spectrum, n = %u (random)\n", n);
    bench::compare(
        "spectral_entropy", {3, 1}, [&] { return varnel::spectral_entropy(f); },
        [&] { return plain::spectral_entropy_mended(t); });
    bench::compare(
        "no_linearity", {3, 1}, [&] { return static_cast<std::uint32_t>(varnel::no_linearity(f)); },
        [&] { return plain::no_linearity(t); });
    bench::compare(
        "degree", {3, 1}, [&] { return varnel::degree(f); }, [&] { return plain::degree(t); });
    // From 13 variables the influences are counts rounded once: the plain side
    // counts the definition one input at a time.
    bench::compare(
        "influence(12)", {3, 1}, [&] { return varnel::influence(f, 12); },
        [&] { return plain::counted_fraction(plain::changes_along(t, 12), n); });
    bench::compare(
        "influence(3)", {3, 1}, [&] { return varnel::influence(f, 3); },
        [&] { return plain::counted_fraction(plain::changes_along(t, 3), n); });
    bench::compare(
        "total_influence", {3, 1}, [&] { return varnel::total_influence(f); },
        [&] {
          std::uint64_t sum = 0;
          for (unsigned var = 0; var < n; ++var) sum += plain::changes_along(t, var);
          return plain::counted_fraction(sum, n);
        });

    std::printf("== sensitivity and frontier, n = %u (random)\n", n);
    bench::compare(
        "max_sensitivity", {5, 1}, [&] { return varnel::max_sensitivity(f); },
        [&] { return plain::max_sensitivity(t); });
    bench::compare(
        "mean_sensitivity", {5, 1}, [&] { return varnel::mean_sensitivity(f); },
        [&] { return plain::mean_sensitivity(t); });
    bench::compare(
        "frontier_size (first call: builds the graph)", {5, 1},
        [&] {
          std::optional<varnel::FrontierGraph> cache;
          return varnel::frontier_size(cache, f);
        },
        [&] { return static_cast<std::uint64_t>(plain::frontier_graph(t).edges.size()); });
    bench::compare(
        "max_frontier_size", {5, 1},
        [&] { return static_cast<std::uint32_t>(varnel::max_frontier_size(f)); },
        [&] { return plain::max_frontier_size(t); });
  }

  {
    // The literal algorithm costs about 4^n reads plus a hitting-set search per
    // input, and far more on random tables (long difference lists, many sizes
    // to try): at 14 variables those take a quarter of an hour, so the random
    // table is compared at 12 variables.
    std::printf("== certificate complexity (plain: hitting sets on the pool)\n");
    const std::pair<const char*, plain::Table> cases[] = {
        {"n=14 majority", plain::threshold(14, 7)},
        {"n=14 tribes of 3", plain::tribes(14, 3)},
        {"n=14 biased 0.1", plain::biased(14, 0.1, rng)},
        {"n=12 random", plain::random_table(12, rng)},
    };
    for (const auto& [name, t] : cases) {
      const varnel::FValue f = plain::pack(t);
      bench::compare(
          std::string("certificate_complexity ") + name, {5, 1},
          [&] { return varnel::certificate_complexity(f); },
          [&] { return plain::certificate_complexity(t); });
    }
  }

  {
    std::printf("== certificate complexity, ours alone\n");
    const std::pair<std::string, plain::Table> cases[] = {
        {"n=18 random", plain::random_table(18, rng)},
        {"n=18 biased 0.3", plain::biased(18, 0.3, rng)},
        {"n=18 majority", plain::threshold(18, 9)},
        {"n=18 tribes of 3", plain::tribes(18, 3)},
        {"n=18 rubinstein 3x6", rubinstein(3, 6)},
        {"n=20 majority", plain::threshold(20, 10)},
        {"n=20 rubinstein 4x5", rubinstein(4, 5)},
        {"n=24 random", plain::random_table(24, rng)},
    };
    for (const auto& [name, t] : cases) {
      const varnel::FValue f = plain::pack(t);
      std::uint32_t c = 0;
      const double secs = bench::best_of(1, [&] { c = varnel::certificate_complexity(f); });
      std::printf("%-48s ours %10.3f ms   C = %u, max sensitivity %u\n",
                  ("certificate_complexity " + name).c_str(), secs * 1e3, c,
                  varnel::max_sensitivity(f));
    }
  }

  return bench::verdict();
}
