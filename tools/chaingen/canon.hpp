// Exact NPN canonicalisation of five-input words, with the transform that
// reaches the representative.
//
// Word convention: bit (31 - j) holds the value at input j; variable i is bit
// i of j. The representative of f is the smallest word among
// c XOR f(M(x)) over the 3,840 input transforms M (variable permutation plus
// complemented variables), each complemented when its bit 31 is set.
//
// Method: the upper half of a word is its cofactor at variable 4 = 0. The
// smallest upper half over all transforms is the smallest four-input
// representative of the ten cofactors (5 variables x 2 polarities), read from
// a 64 Ki table. Among the cofactors reaching it, the lower half is minimised
// over the stabiliser of that four-input representative only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace chaingen {

/// A five-input transform: R(j) = out XOR f(map[j]) for every input j.
struct Xform {
  std::array<std::uint8_t, 32> map{};
  std::uint8_t out = 0;

  static Xform identity();
  /// The word x -> out XOR f(map[x]).
  std::uint32_t apply(std::uint32_t f) const;
  /// The inverse: if R = apply(f) then f = inverse().apply(R).
  Xform inverse() const;
  /// "this, then next": next.apply(this->apply(f)) == then(next).apply(f).
  Xform then(const Xform& next) const;
  /// For every variable i: map(x) has bit i = bit src[i] of x XOR neg bit i.
  void literals(std::array<std::uint8_t, 5>& src, std::uint8_t& neg) const;
};

class Canon {
 public:
  Canon();

  /// The representative of f (any word).
  std::uint32_t canon(std::uint32_t f) const { return run<false>(f, nullptr); }
  /// The representative of f and a transform with xf.apply(f) == result.
  std::uint32_t canon(std::uint32_t f, Xform& xf) const { return run<true>(f, &xf); }

  /// Calls visit(w) for every normal word of f's class (with repetitions,
  /// 3,840 calls).
  template <class F>
  void orbit(std::uint32_t f, F&& visit) const {
    for (int k = 0; k < 5; ++k) {
      std::uint32_t w = swap_to_top(f, k);
      std::uint16_t hi = static_cast<std::uint16_t>(w >> 16), lo = static_cast<std::uint16_t>(w);
      for (int t = 0; t < 384; ++t) {
        std::uint32_t a = apply4(t, hi), b = apply4(t, lo);
        std::uint32_t x = (a << 16) | b, y = (b << 16) | a;
        visit(x ^ (0u - (x >> 31)));
        visit(y ^ (0u - (y >> 31)));
      }
    }
  }

  /// Four-input helpers, exposed for the tests.
  std::uint16_t apply4(int t, std::uint16_t w) const {
    return static_cast<std::uint16_t>(lut_[t][0][w & 0xFF] | lut_[t][1][w >> 8]);
  }
  static std::uint32_t swap_to_top(std::uint32_t f, int k);
  int num_rep4() const { return static_cast<int>(reps4_.size()); }

 private:
  template <bool WantT>
  std::uint32_t run(std::uint32_t f, Xform* xf) const;

  std::uint8_t map4_[384][16];
  std::uint16_t lut_[384][2][256];
  std::uint16_t rep4_[65536];   // four-input representative (with output normalisation)
  std::uint16_t rep4t_[65536];  // transform id | output complement << 15
  std::uint16_t min4_[65536];   // minimum over input transforms only
  std::uint16_t min4t_[65536];
  std::vector<std::uint16_t> reps4_;
  std::vector<std::int32_t> repidx_;              // 65536 -> index into reps4_ or -1
  std::vector<std::vector<std::uint16_t>> stab_;  // per rep: transform id | d << 15
  std::vector<std::uint16_t> compose_;            // [s * 384 + t] = id of (t then s)
};

}  // namespace chaingen
