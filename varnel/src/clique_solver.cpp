#include "clique_solver.hpp"

#include <algorithm>
#include <numeric>

namespace varnel {

namespace {

using u128 = unsigned __int128;

// The graph behind a flag list. Pair numbers are computed in 128 bits, so no
// vertex count a machine word can hold overflows them.
class Graph {
 public:
  Graph(std::span<const std::uint8_t> edges, std::size_t n) : edges_(edges), n_(n) {}

  u128 pair_number(std::size_t lo, std::size_t hi) const {
    return u128{lo} * (2 * u128{n_} - lo - 1) / 2 + (hi - lo - 1);
  }

  bool present(std::size_t lo, std::size_t hi) const {
    const u128 e = pair_number(lo, hi);
    return e < edges_.size() && edges_[static_cast<std::size_t>(e)] != 0;
  }

  std::size_t flags() const { return edges_.size(); }

 private:
  std::span<const std::uint8_t> edges_;
  std::size_t n_;
};

// Depth-first search over ascending vertex lists, smallest vertex first. It
// visits the k-subsets in lexicographic order and prunes a prefix as soon as it
// is not a clique, which skips only subsets that are not cliques either; so the
// first clique it completes is the lexicographically first k-clique. Requires
// 2 <= k < n.
std::optional<std::vector<std::size_t>> first_clique(const Graph& g, std::size_t n, std::size_t k) {
  std::vector<std::size_t> chosen;
  chosen.reserve(k);
  std::size_t next = 0;   // first candidate for the next position
  std::size_t reach = 0;  // highest vertex that can still pair with chosen[0]
  while (true) {
    const std::size_t t = chosen.size();
    // Leave room for the k - t - 1 vertices that must follow.
    std::size_t last = n - (k - t);
    if (t > 0) last = std::min(last, reach);
    bool placed = false;
    std::size_t v = next;
    for (; v <= last; ++v) {
      if (t == 0) {
        // Pairs (v, w), w > v, are numbered from e(v, v+1) on, which grows with
        // v: once it passes the flag list, no later first vertex has an edge.
        const u128 first = g.pair_number(v, v + 1);
        if (first >= g.flags()) break;
        const u128 r = u128{v} + (g.flags() - first);
        reach = static_cast<std::size_t>(std::min<u128>(r, n - 1));
        placed = true;
        break;
      }
      bool joined = true;
      for (std::size_t p = 0; p < t && joined; ++p) joined = g.present(chosen[p], v);
      if (joined) {
        placed = true;
        break;
      }
    }
    if (placed) {
      chosen.push_back(v);
      if (chosen.size() == k) return chosen;
      next = v + 1;
      continue;
    }
    if (chosen.empty()) return std::nullopt;
    next = chosen.back() + 1;
    chosen.pop_back();
  }
}

}  // namespace

std::optional<std::vector<std::size_t>> find_clique(std::span<const std::uint8_t> edges,
                                                    std::size_t n, std::size_t k) {
  if (k == 1) return std::vector<std::size_t>{0};
  const Graph g(edges, n);
  if (k == n) {
    // The pairs in this order are numbered 0, 1, 2, ...: the loop ends at the
    // first absent one, at the latest just past the end of the flag list.
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = i + 1; j < n; ++j) {
        if (!g.present(i, j)) return std::nullopt;
      }
    }
    std::vector<std::size_t> all(n);
    std::iota(all.begin(), all.end(), std::size_t{0});
    return all;
  }
  if (k > n) return std::nullopt;
  if (k == 0) return std::vector<std::size_t>{};
  return first_clique(g, n, k);
}

}  // namespace varnel
