// The number of NPN classes of five-input functions by the fewest two-input
// gates that compute them (Knuth, TAOCP 7.1.2). Every chain in the database
// is an upper bound on its class's cost, so when the classes found with at
// most r gates are as many as the table allows for every r, every chain is
// optimal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chaingen {

/// Classes of cost 0..12: the constant and the variable need no gate.
inline constexpr std::uint64_t kClassesByGates[13] = {
    2, 2, 5, 20, 93, 389, 1988, 11382, 60713, 221541, 293455, 26535, 1};
inline constexpr int kMaxGates = 12;

constexpr std::uint64_t classes_up_to(int gates) {
  std::uint64_t n = 0;
  for (int g = 0; g <= gates && g <= kMaxGates; ++g) n += kClassesByGates[g];
  return n;
}

/// All NPN classes of five-input functions.
inline constexpr std::size_t kClasses = classes_up_to(kMaxGates);
static_assert(kClasses == 616126);

}  // namespace chaingen
