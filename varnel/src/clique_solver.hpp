// Clique search in a small graph given by edge flags.
//
// The possible edges of a graph on the vertices 0 .. n-1 are the pairs lo < hi,
// numbered row by row through the upper triangle:
//   e(lo, hi) = lo * (2n - lo - 1) / 2 + (hi - lo - 1),
// so (0,1), (0,2), ..., (0,n-1), (1,2), ..., (n-2,n-1) get 0 .. n(n-1)/2 - 1.
// A non-zero flag means the edge is present; a pair whose number is at or
// beyond the end of the flag list is absent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace varnel {

/// Number of the pair lo < hi among the possible edges of an n-vertex graph.
constexpr std::uint64_t edge_index(std::uint64_t lo, std::uint64_t hi, std::uint64_t n) {
  return lo * (2 * n - lo - 1) / 2 + (hi - lo - 1);
}

/// The first clique of k vertices in lexicographic order of its (ascending)
/// vertex list, or nothing. k = 1 gives [0] without looking at the graph; k = 0
/// gives the empty clique; k > n (k != 1) gives nothing.
std::optional<std::vector<std::size_t>> find_clique(std::span<const std::uint8_t> edges,
                                                    std::size_t n, std::size_t k);

}  // namespace varnel
