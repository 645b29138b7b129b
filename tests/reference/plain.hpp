// Plain reference implementations: one byte per table entry, written as the
// literal definitions. The tests compare the fast code against these on many
// seeded random functions, and the benchmarks time them side by side.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "fvalue.hpp"

namespace plain {

/// A truth table with one byte (0 or 1) per entry.
using Table = std::vector<std::uint8_t>;

/// A random table of 2^n entries from `rng`.
inline Table random_table(unsigned n, std::mt19937_64& rng) {
  Table t(std::size_t{1} << n);
  for (auto& e : t) e = static_cast<std::uint8_t>(rng() & 1);
  return t;
}

/// The packed form of a plain table.
inline varnel::FValue pack(const Table& t) { return varnel::FValue::from_bytes(t); }

/// The plain form of a packed table.
inline Table unpack(const varnel::FValue& f) {
  Table t(f.size());
  for (std::uint64_t x = 0; x < f.size(); ++x) t[x] = f[x];
  return t;
}

}  // namespace plain
