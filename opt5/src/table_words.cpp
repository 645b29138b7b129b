#include "opt5/table_words.hpp"

#include <algorithm>

namespace opt5 {

namespace {

/// Words per block of the lookups: the representatives of a block are found
/// first and their slots prefetched, so the misses of a block overlap.
constexpr std::size_t kBlock = 32;

/// For each block of words, fills a block of representatives and hands it to
/// `use` after prefetching their slots.
template <class Use>
void by_blocks(std::span<const std::uint32_t> words, const class_catalogue& catalogue,
               const canonisation_table& table, Use&& use) {
  std::uint32_t reps[kBlock];
  for (std::size_t start = 0; start < words.size(); start += kBlock) {
    const std::size_t n = std::min(kBlock, words.size() - start);
    for (std::size_t i = 0; i < n; ++i) {
      reps[i] = get_representant(words[start + i], table);
      catalogue.prefetch(reps[i]);
    }
    use(start, reps, n);
  }
}

}  // namespace

std::uint32_t apply_transform(std::uint32_t h, const npn_transform& t) {
  std::uint32_t g = 0;
  for (unsigned x = 0; x < 32; ++x) {
    unsigned z = 0;
    for (unsigned i = 0; i < 5; ++i) z |= ((x >> t.permutation[i]) & 1u) << i;
    z ^= t.input_complement;
    g |= (((h >> z) & 1u) ^ (t.output_complement & 1u)) << x;
  }
  return g;
}

std::uint32_t canonize_word(std::uint32_t f, npn_transform& t, const canonisation_table& table) {
  // Read as a library word, f is the function with every input complemented,
  // and the representative read back as a table word is too: the two
  // complements cancel, and the library transform carries over with node k
  // as variable 5 - k.
  transform lt;
  std::uint32_t r;
  if (f >> 31) {
    r = canonise_circuit_fast(~f, lt, table);
    lt[0] ^= 1;
  } else {
    r = canonise_circuit_fast(f, lt, table);
  }
  t.input_complement = 0;
  for (unsigned i = 0; i < 5; ++i) {
    const int e = lt[5 - i];
    t.permutation[i] = static_cast<std::uint8_t>(5 - (e < 0 ? -e : e));
    t.input_complement |= static_cast<std::uint8_t>((e < 0 ? 1u : 0u) << i);
  }
  t.output_complement = static_cast<std::uint8_t>(lt[0] & 1);
  return r;
}

void canonize_words(std::span<const std::uint32_t> words, std::span<std::uint32_t> representatives,
                    std::span<npn_transform> transforms, const canonisation_table& table) {
  for (std::size_t i = 0; i < words.size(); ++i)
    representatives[i] = canonize_word(words[i], transforms[i], table);
}

void representatives_of_words(std::span<const std::uint32_t> words,
                              std::span<std::uint32_t> representatives,
                              const canonisation_table& table) {
  for (std::size_t i = 0; i < words.size(); ++i)
    representatives[i] = get_representant(words[i], table);
}

void gates_of_words(std::span<const std::uint32_t> words, std::span<std::uint8_t> gates,
                    const class_catalogue& catalogue, const canonisation_table& table) {
  by_blocks(words, catalogue, table,
            [&](std::size_t start, const std::uint32_t* reps, std::size_t n) {
              for (std::size_t i = 0; i < n; ++i)
                gates[start + i] = static_cast<std::uint8_t>(catalogue.gates_of(reps[i]));
            });
}

void classes_of_words(std::span<const std::uint32_t> words, std::span<std::uint32_t> classes,
                      const class_catalogue& catalogue, const canonisation_table& table) {
  by_blocks(words, catalogue, table,
            [&](std::size_t start, const std::uint32_t* reps, std::size_t n) {
              for (std::size_t i = 0; i < n; ++i) classes[start + i] = catalogue.index_of(reps[i]);
            });
}

}  // namespace opt5
