// NPN canonicalisation of five-input library words.
//
// Two functions are NPN-equivalent when one becomes the other by permuting the
// inputs, complementing some inputs and complementing the output. The
// canonical representative of a five-input word f is the smallest unsigned
// word obtained from f by one of the 3,840 input transforms followed by
// complementing the result when its bit 31 is set; it is always normal.
// Four-input words (16 bits, bit (15 - j) = value at input j, variables 0..3)
// have representatives defined the same way over 384 transforms and bit 15;
// there are 222 of them. Either half of a five-input word is a four-input word
// with the same variable numbering: bits 16..31 hold the function with
// variable 4 at 0, bits 0..15 with variable 4 at 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace opt5 {

/// How a representative r leads back to the word f it was computed from:
/// f(x) = t[0] XOR r(y), where the node-k variable of y (k = 1..5) is the
/// node-|t[k]| variable of x, complemented when t[k] < 0. t[0] is 0 or 1.
struct transform {
  std::int16_t t[6];

  static constexpr transform identity() { return {{0, 1, 2, 3, 4, 5}}; }
  constexpr std::int16_t& operator[](std::size_t k) { return t[k]; }
  constexpr std::int16_t operator[](std::size_t k) const { return t[k]; }
  friend constexpr bool operator==(const transform&, const transform&) = default;
};

/// Number of normal four-input words (bit 15 clear).
inline constexpr std::size_t kNormalWords4 = 32768;
/// Number of four-input representatives.
inline constexpr std::size_t kClasses4 = 222;
/// Size of the region of the canonisation table laid out below (bytes).
inline constexpr std::size_t kCanonisationTableBytes = 102400;
/// Capacity of the stabiliser walks, in moves, over all representatives.
inline constexpr std::size_t kWalkCapacity = 8192;
/// Capacity of the stabiliser element lists over all representatives.
inline constexpr std::size_t kElementCapacity = 2048;

/// The canonisation table, filled once by prepare_table and read-only after.
/// The first 102,400 bytes are laid out at fixed offsets:
///   0      representative[i]: the four-input representative of normal word i
///   65536  move[i]: first elementary move (1..14) on a shortest way from
///          normal word i to its representative, 0 at a representative
///   98304  tableau[g & 0x20F]: mask that turns a gate word with complemented
///          inputs into one on the uncomplemented inputs (bit 15 = output
///          complement); entries 0..15 and 512..527 are defined
///   99360  class_of[V % 1984]: index of representative V among the 222
///          (V % 1984 is distinct for them), 255 elsewhere
/// and after it what the fast canonicaliser reads: the stabilisers of the 222
/// representatives (as move walks and as transform codes), the move paths of
/// the normal words (as moves and as transform codes), and a byte-wide copy
/// of the representative region. The representative-only search uses the
/// codes; the search that also reports a transform uses the moves.
struct canonisation_table {
  std::uint16_t representative[kNormalWords4];
  std::uint8_t move[kNormalWords4];
  std::uint16_t tableau[528];
  std::uint8_t class_of[1984];
  std::uint8_t unused_[kCanonisationTableBytes - 99360 - 1984];

  /// For each representative (by class index): the representative, the number
  /// of input transforms in its stabiliser, and its walk: walk_moves[begin ..
  /// begin + length) are elementary moves (1..14) that, applied one after the
  /// other to a word whose upper half is the representative, pass through
  /// every stabiliser element (every transform that, followed by output
  /// normalisation, keeps the upper half). The identity is the start.
  struct walk {
    std::uint16_t representative;
    std::uint16_t stabiliser_size;
    std::uint16_t begin;
    std::uint16_t length;
    /// A walk of at most kShortWalk moves, four bits each from the low end,
    /// padded with 0 (no move): walked without a data-dependent loop.
    std::uint32_t packed;
    /// elements[first_element .. + stabiliser_size - 1): the stabiliser
    /// without the identity, as transform codes (see `direct`).
    std::uint16_t first_element;
  };
  static constexpr unsigned kShortWalk = 2;
  walk walks[kClasses4];
  std::uint8_t walk_moves[kWalkCapacity];

  /// path[i]: the moves of the move region from normal word i to its
  /// representative, in order, four bits each from the low end, padded with
  /// 0 (no move) to seven, each odd move (7..13) stored as the following even
  /// one and their output complements gathered in bit 31: the walk without a
  /// loop or a dependent load.
  std::uint32_t path[kNormalWords4];

  /// Four-input transforms applied to a 16-bit half in one go, for the
  /// representative alone. Such a transform, followed by an optional
  /// complement, moves the bit at position p to P(p) XOR c, P a permutation
  /// of the four position bits; its code is (index of P among 24) | c << 5 |
  /// complement << 9. permute[P][h][x] places byte x of half h (0 low, 1
  /// high) by P; flip_low[c][x] moves bit i of byte x to bit i XOR c (c < 8).
  std::uint16_t permute[24][2][256];
  std::uint8_t flip_low[8][256];
  /// direct[i]: the code of path[i], from normal word i to its representative.
  std::uint16_t direct[kNormalWords4];
  std::uint16_t elements[kElementCapacity];
  /// class_index[i]: the index of the representative of normal word i among
  /// the 222 (indices follow the order of the representatives): the ranking
  /// of halves reads this half-size copy of the representative region.
  std::uint8_t class_index[kNormalWords4];
};

/// The elementary move `move` (1..14) applied to w: moves 1..6 exchange two of
/// variables 0..3, 8/10/12/14 complement variable 3/2/1/0, 7/9/11/13 do the
/// same and complement the word; 0 and codes above 14 leave w unchanged.
std::uint32_t apply_move(std::uint32_t w, int move);
/// The effect of the same move on a transform (swap, negate, toggle t[0]).
void apply_move(transform& t, int move);

/// Four-input representative of f (any 16-bit word) by the fixed walk over the
/// 384 input transforms; t receives a transform leading from it back to f.
std::uint16_t canonise_circuit_4(std::uint16_t f, transform& t);

/// Fills the whole table: representatives, move region, tableau, stabilisers,
/// paths.
void prepare_table(canonisation_table& table);
/// Fills the move region from the representative region (shortest move paths).
void run_dijkstra(const std::uint16_t* representative, std::uint8_t* move);
/// Writes the 32 defined tableau entries (the others are left as they are).
void init_tableau(std::uint16_t* tableau);

/// Representative of the normal word f (bit 31 clear); t receives a transform
/// leading from the representative back to f.
std::uint32_t canonise_circuit_fast(std::uint32_t f, transform& t, const canonisation_table& table);
/// Representative of any word f: complements f when bit 31 is set first.
std::uint32_t get_representant(std::uint32_t f, const canonisation_table& table);

/// Number of input transforms (of the 3,840) that, followed by complementing
/// the word when its bit 31 is set, map the representative r to itself: the
/// class of r holds 2 * 3840 / symmetry_count(r) functions. r must be a
/// representative; a word whose upper half is not its class's least half
/// gives 0.
unsigned symmetry_count(std::uint32_t r, const canonisation_table& table);

/// The walk of representative v (empty for a word that is not one).
std::span<const std::uint8_t> stabiliser_walk(const canonisation_table& table, std::uint16_t v);
/// Number of input transforms in the stabiliser of representative v (0 for a
/// word that is not a representative).
unsigned stabiliser_size(const canonisation_table& table, std::uint16_t v);

}  // namespace opt5
