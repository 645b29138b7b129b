#include "metrics/algebraic_immunity.hpp"

#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "error.hpp"

namespace varnel {

namespace {

// The monomials of n variables (masks) in order of degree, then of value, up
// to degree `limit`.
std::vector<std::uint32_t> monomials_by_degree(unsigned n, unsigned limit) {
  std::vector<std::uint32_t> out;
  for (unsigned d = 0; d <= limit && d <= n; ++d) {
    for (std::uint32_t u = 0; u < (std::uint32_t{1} << n); ++u) {
      if (static_cast<unsigned>(std::popcount(u)) == d) out.push_back(u);
    }
  }
  return out;
}

// An echelon basis of vectors of `words` 64-bit words, each stored with its
// lowest set bit as pivot; `pivot_row[b]` is the row whose pivot is bit b.
class EchelonBasis {
 public:
  EchelonBasis(std::size_t bits, std::size_t words) : words_(words), pivot_row_(bits, kNone) {}

  // Reduces v against the basis; adds it and returns true when it is
  // independent, returns false when it reduces to zero.
  bool insert(std::vector<std::uint64_t>& v) {
    std::size_t w = 0;
    while (true) {
      while (w < words_ && v[w] == 0) ++w;
      if (w == words_) return false;
      const std::size_t bit = w * 64 + static_cast<std::size_t>(std::countr_zero(v[w]));
      const std::uint32_t row = pivot_row_[bit];
      if (row == kNone) {
        pivot_row_[bit] = static_cast<std::uint32_t>(rows_.size() / words_);
        rows_.insert(rows_.end(), v.begin(), v.end());
        return true;
      }
      // The row is zero below its pivot word, so words before w stay zero.
      const std::uint64_t* r = rows_.data() + std::size_t{row} * words_;
      for (std::size_t k = w; k < words_; ++k) v[k] ^= r[k];
    }
  }

 private:
  static constexpr std::uint32_t kNone = ~std::uint32_t{0};
  std::size_t words_;
  std::vector<std::uint32_t> pivot_row_;
  std::vector<std::uint64_t> rows_;
};

}  // namespace

unsigned annihilator_degree(const FValue& f, bool value, unsigned limit) {
  const unsigned n = f.n_vars();
  if (n > kMaxAnnihilatorVars) {
    throw ValueError("the annihilator search takes at most " + std::to_string(kMaxAnnihilatorVars) +
                     " variables");
  }
  // The points where f takes `value`: g must vanish on each of them.
  std::vector<std::uint32_t> points;
  for (std::uint64_t x = 0; x < f.size(); ++x) {
    if (f[x] == value) points.push_back(static_cast<std::uint32_t>(x));
  }
  if (points.empty()) return 0;  // the constant 1 vanishes nowhere needed
  const std::size_t words = (points.size() + 63) / 64;
  EchelonBasis basis(points.size(), words);
  std::vector<std::uint64_t> v(words);
  for (const std::uint32_t u : monomials_by_degree(n, limit)) {
    // The monomial u is 1 at the points that contain u.
    std::fill(v.begin(), v.end(), 0);
    for (std::size_t j = 0; j < points.size(); ++j) {
      if ((points[j] & u) == u) v[j >> 6] |= std::uint64_t{1} << (j & 63);
    }
    if (!basis.insert(v)) return static_cast<unsigned>(std::popcount(u));
  }
  return limit + 1;
}

unsigned algebraic_immunity(const FValue& f) {
  const unsigned n = f.n_vars();
  const unsigned bound = (n + 1) / 2;
  const unsigned first = annihilator_degree(f, true, bound);
  if (first == 0) return 0;
  const unsigned second = annihilator_degree(f, false, first - 1);
  return second < first ? second : first;
}

}  // namespace varnel
