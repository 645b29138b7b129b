// NPN classes of five-input functions given as table words: entry x at bit x,
// variable j being bit j of x (the `from_number` order of the Python side).
//
// The representative of a class is the same 32-bit number whichever order
// the words are read in: complementing every input reverses a word's bits,
// so each class holds the mirror image of each of its words, and the least
// word of the class is its least table word too. It is the library
// representative unchanged.
//
// A transform (permutation p, input-complement mask m, output complement c)
// leads from a function h to the function g with
//     g(x) = c XOR h(z),  z_i = x_{p[i]} XOR (bit i of m),
// that is, input i of h is fed by input p[i] of g, complemented when bit i of
// m is set. Canonicalising f gives its representative r and the transform
// that leads from r to f.
#pragma once

#include <cstdint>
#include <span>

#include "opt5/catalogue.hpp"
#include "opt5/npn.hpp"

namespace opt5 {

/// A transform of table words; seven bytes, the record layout of the batch
/// output.
struct npn_transform {
  std::uint8_t permutation[5];
  std::uint8_t input_complement;
  std::uint8_t output_complement;
};
static_assert(sizeof(npn_transform) == 7);

/// The function t leads to from h.
std::uint32_t apply_transform(std::uint32_t h, const npn_transform& t);

/// Representative of the table word f.
inline std::uint32_t word_representative(std::uint32_t f, const canonisation_table& table) {
  return get_representant(f, table);
}

/// Representative of the table word f and the transform leading from it to f.
std::uint32_t canonize_word(std::uint32_t f, npn_transform& t, const canonisation_table& table);

/// The same over arrays: out[i] for words[i]; the spans have equal lengths.
void canonize_words(std::span<const std::uint32_t> words, std::span<std::uint32_t> representatives,
                    std::span<npn_transform> transforms, const canonisation_table& table);
void representatives_of_words(std::span<const std::uint32_t> words,
                              std::span<std::uint32_t> representatives,
                              const canonisation_table& table);
/// Minimal gate counts.
void gates_of_words(std::span<const std::uint32_t> words, std::span<std::uint8_t> gates,
                    const class_catalogue& catalogue, const canonisation_table& table);
/// Class indices (positions in the catalogue).
void classes_of_words(std::span<const std::uint32_t> words, std::span<std::uint32_t> classes,
                      const class_catalogue& catalogue, const canonisation_table& table);

}  // namespace opt5
