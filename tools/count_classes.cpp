// Canonicalises every normal five-input word (2^31 of them) and counts the
// distinct representatives: the number of NPN classes of five-input
// functions, 616,126. A whole-space check of the canonicaliser: a class split
// in two or two classes merged would change the count.
//
//   count_classes            all 2^31 normal words
//   count_classes 28         only the words below 2^28 (a quicker partial run)
//
// Threads: the worker pool (RAYON_NUM_THREADS sets the count).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "opt5/database.hpp"
#include "opt5/npn.hpp"
#include "pool.hpp"

int main(int argc, char** argv) {
  const unsigned bits = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 31;
  if (bits < 16 || bits > 31) {
    std::fprintf(stderr, "usage: count_classes [bits 16..31]\n");
    return 2;
  }
  const std::uint64_t words = std::uint64_t{1} << bits;
  const auto start = std::chrono::steady_clock::now();
  auto table = std::make_unique<opt5::canonisation_table>();
  opt5::prepare_table(*table);

  // One bit per normal word: set when the word is some word's representative.
  std::vector<std::atomic<std::uint64_t>, opt5::huge_page_allocator<std::atomic<std::uint64_t>>>
      seen(std::uint64_t{1} << 25);
  for (auto& s : seen) s.store(0, std::memory_order_relaxed);
  std::atomic<std::uint64_t> bad{0};
  varnel::pool::parallel_for(words, std::uint64_t{1} << 20, [&](std::uint64_t b, std::uint64_t e) {
    std::uint64_t last = ~std::uint64_t{0}, mask = 0;
    for (std::uint64_t f = b; f < e; ++f) {
      const std::uint32_t r = opt5::get_representant(static_cast<std::uint32_t>(f), *table);
      if (r > f) bad.fetch_add(1, std::memory_order_relaxed);  // not the least of its class
      if ((r >> 6) != last) {
        if (mask) seen[last].fetch_or(mask, std::memory_order_relaxed);
        last = r >> 6;
        mask = 0;
      }
      mask |= std::uint64_t{1} << (r & 63);
    }
    if (mask) seen[last].fetch_or(mask, std::memory_order_relaxed);
  });
  std::uint64_t classes = 0;
  for (auto& s : seen) classes += static_cast<std::uint64_t>(__builtin_popcountll(s.load()));
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("normal words: %llu; distinct representatives: %llu%s\n",
              static_cast<unsigned long long>(words), static_cast<unsigned long long>(classes),
              bits == 31
                  ? (classes == 616126 ? " (expected 616,126: OK)" : " (expected 616,126: WRONG)")
                  : "");
  std::printf("representatives above their word: %llu\n",
              static_cast<unsigned long long>(bad.load()));
  std::printf("time: %.1f s on %u threads (%.1f ns per word per thread)\n", secs,
              varnel::pool::num_threads(),
              1e9 * secs * varnel::pool::num_threads() / static_cast<double>(words));
  return bits == 31 && classes != 616126 ? 1 : 0;
}
