#include "metrics/symmetry.hpp"

#include <bit>
#include <cstdint>

namespace varnel {

bool is_symmetric(const FValue& f) {
  const unsigned n = f.n_vars();
  // The value of each weight class, read at its smallest member.
  std::uint64_t by_weight = 0;
  for (unsigned k = 0; k <= n; ++k) {
    by_weight |= std::uint64_t{f[(std::uint64_t{1} << k) - 1]} << k;
  }
  for (std::uint64_t x = 0; x < f.size(); ++x) {
    if (f[x] != ((by_weight >> std::popcount(x)) & 1u)) return false;
  }
  return true;
}

}  // namespace varnel
