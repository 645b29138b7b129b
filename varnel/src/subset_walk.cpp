// The stats of every subset, by a depth-first walk that refines the forms of
// a subset into those of its supersets where they repeat.
#include "subset_walk.hpp"

#include <algorithm>
#include <bit>
#include <memory>
#include <mutex>
#include <utility>

#include "error.hpp"
#include "index_permutation.hpp"
#include "pool.hpp"
#include "restriction.hpp"

namespace varnel {

namespace {

// The distinct forms of fixing some set S, one row per form (wide rows of
// `stride` words, narrow rows in the low bits of one word), with counts.
// column[v] is the position of free variable v in the rows.
struct Forms {
  unsigned col_bits = 0;
  std::uint64_t stride = 1;
  unsigned column[64] = {};
  std::vector<std::uint64_t> rows;
  std::vector<std::uint64_t> counts;
};

// Moves index bit t to position top (t <= top < 6), shifting the bits between down.
InWordPermutation rotate_to_top(unsigned t, unsigned top) {
  unsigned dest[6];
  for (unsigned i = 0; i <= top; ++i) dest[i] = i < t ? i : (i == t ? top : i - 1);
  return InWordPermutation(dest, top + 1);
}

// Writes the two cofactors (column bit t = 0, then 1) of a row of 2^m bits
// into c0 and c1, rows of 2^(m-1) bits.
void split_row(const std::uint64_t* row, unsigned m, unsigned t, const InWordPermutation& rot,
               std::uint64_t* c0, std::uint64_t* c1) {
  if (m >= 7) {
    const std::uint64_t stride = std::uint64_t{1} << (m - 6);
    if (t >= 6) {
      const std::uint64_t block = std::uint64_t{1} << (t - 6);
      for (std::uint64_t base = 0, out = 0; base < stride; base += 2 * block, out += block) {
        std::copy_n(row + base, block, c0 + out);
        std::copy_n(row + base + block, block, c1 + out);
      }
    } else {
      for (std::uint64_t i = 0; i < stride / 2; ++i) {
        const std::uint64_t a = rot(row[2 * i]);
        const std::uint64_t b = rot(row[2 * i + 1]);
        c0[i] = (a & 0xFFFFFFFFull) | (b << 32);
        c1[i] = (a >> 32) | (b & 0xFFFFFFFF00000000ull);
      }
    }
    return;
  }
  // Rows of at most 64 bits: bring bit t to the top index bit, then halve.
  const std::uint64_t half = std::uint64_t{1} << (m - 1);
  const std::uint64_t a = rot(row[0]);
  c0[0] = a & low_mask(half);
  c1[0] = (a >> half) & low_mask(half);
}

// Copies the distinct rows of a tally out of a list of rows into `forms`.
void keep_distinct(const RowList& rows, const RowTallier& tally, Forms& forms) {
  const unsigned cb = rows.col_bits;
  forms.col_bits = cb;
  forms.stride = cb >= 6 ? std::uint64_t{1} << (cb - 6) : 1;
  forms.rows.resize(tally.counts.size() * forms.stride);
  for (std::size_t id = 0; id < tally.counts.size(); ++id) {
    const std::uint64_t r = tally.first_row[id];
    if (cb >= 6) {
      std::copy_n(rows.data + r * forms.stride, forms.stride,
                  forms.rows.data() + id * forms.stride);
    } else if (rows.packed) {
      const std::uint64_t x = r << cb;
      forms.rows[id] = (rows.data[x >> 6] >> (x & 63)) & low_mask(std::uint64_t{1} << cb);
    } else {
      forms.rows[id] = rows.data[r];
    }
  }
  forms.counts.assign(tally.counts.begin(), tally.counts.end());
}

// Forms are worth keeping when at most one assignment in two brings a new
// one: refining a child from them moves and tallies about that share of the
// bits that computing it from a layout does.
bool worth_keeping(std::uint64_t forms, unsigned size) {
  return size < 64 && forms * 2 <= (std::uint64_t{1} << size);
}

// The stats of S + {v} (k = |S| + 1 fixed variables) from the forms of S:
// cofactors of each form on v, weighted by its count. When `want` (the
// child has children of its own) and its forms are worth keeping, they are
// kept in `child` and the result is true.
bool refine(const Forms& parent, unsigned v, unsigned k, bool with_entropy, bool want, Forms& child,
            FormStats& stats, std::vector<std::uint64_t>& scratch, RowTallier& tally) {
  const unsigned m = parent.col_bits;
  const unsigned t = parent.column[v];
  const unsigned cm = m - 1;
  const std::uint64_t stride = cm >= 6 ? std::uint64_t{1} << (cm - 6) : 1;
  const std::uint64_t count = parent.counts.size();
  const InWordPermutation rot = rotate_to_top(t < 6 ? t : 0, m >= 6 ? 5 : m - 1);
  scratch.resize(2 * count * stride);
  for (std::uint64_t i = 0; i < count; ++i) {
    split_row(parent.rows.data() + i * parent.stride, m, t, rot, scratch.data() + 2 * i * stride,
              scratch.data() + (2 * i + 1) * stride);
  }
  // Candidate 2i + b is cofactor b of parent form i, weighing its count.
  const RowList candidates{scratch.data(), 2 * count, cm, false};
  tally.run(candidates, RowWeights{parent.counts.data(), 1},
            want ? RowOrder::first_seen : RowOrder::counts_only);
  stats = tally.stats(k, with_entropy);
  if (!want || !worth_keeping(tally.counts.size(), k)) return false;
  keep_distinct(candidates, tally, child);
  for (unsigned u = 0; u < 64; ++u) {
    child.column[u] = parent.column[u] > t ? parent.column[u] - 1 : parent.column[u];
  }
  return true;
}

// The table laid out for counting the forms of one node S (see
// counting_layout): index bit pos[v] holds variable v; the free variables
// take the low n - |S| bits (the columns), the fixed ones the rest (the
// rows, in any order).
struct Layout {
  std::vector<std::uint64_t> words;
  const std::uint64_t* data = nullptr;  // `words`, or an ancestor's words when equal
  unsigned pos[64] = {};
  bool valid = false;
};

// Tables up to this many words have a layout per depth of the walk.
constexpr std::uint64_t kMaxLayoutWords = std::uint64_t{1} << 18;

// Walks the subsets depth first (S, then S + {v} for every v above max S).
// A node keeps its distinct forms when they are few against its 2^|S|
// assignments (at most half); its children are then refined from them (work
// proportional to the forms). Otherwise children are computed from the
// node's layout of the table: S + {v} needs only v's column moved to the row
// side, one exchange of two index bits (nothing when v is the top column
// already).
// Nodes flagged in `known` (when given) already hold their stats and are
// passed over, unless their forms are wanted for refining their children.
struct Walker {
  const FValue& f;
  unsigned n;
  unsigned max_size;
  bool with_entropy;
  std::span<FormStats> out;
  const std::uint8_t* known = nullptr;

  // Per-thread working memory: one Forms per depth, one Layout per depth
  // (kept for tables of at most kMaxLayoutWords words, otherwise only
  // `single` is used), plus scratch.
  struct Workspace {
    std::vector<Forms> depth;
    std::vector<Layout> layout;
    Layout single;
    std::vector<std::uint64_t> scratch;
    RowTallier tally;
  };

  bool layered() const { return f.words().size() <= kMaxLayoutWords; }

  std::unique_ptr<Workspace> workspace() const {
    auto ws = std::make_unique<Workspace>();
    ws->depth.resize(n + 1);
    if (layered()) {
      ws->layout.resize(n + 1);
      Layout& root = ws->layout[0];
      root.data = f.words().data();
      for (unsigned v = 0; v < n; ++v) root.pos[v] = v;
      root.valid = true;
    }
    return ws;
  }

  // Whether the node is known and nothing about it needs computing.
  bool skip(VarMask mask, unsigned size, bool has_children) const {
    return known != nullptr && known[mask] != 0 &&
           !(has_children && worth_keeping(out[mask].forms, size));
  }

  // Lays the table out for the node `mask` (|S| = size) into `to`.
  void lay_out(VarMask mask, Layout& to) const {
    counting_layout(f, mask, to.words, to.pos);
    to.data = to.words.data();
    to.valid = true;
  }

  // The layout of S + {v} from that of S (|S| = size): v's column goes to the
  // top column position, whose variable takes v's place.
  void lay_out_child(const Layout& parent, unsigned size, unsigned v, Layout& to) const {
    const unsigned top = n - size - 1;
    const unsigned from = parent.pos[v];
    std::copy_n(parent.pos, n, to.pos);
    to.valid = true;
    if (from == top) {
      to.data = parent.data;
      return;
    }
    unsigned u = 0;
    while (parent.pos[u] != top) ++u;
    to.pos[u] = from;
    to.pos[v] = top;
    const std::uint64_t words = f.words().size();
    to.words.resize(words);
    swap_index_bits(std::span<const std::uint64_t>(parent.data, words), n, from, top, to.words);
    to.data = to.words.data();
  }

  // The node S = mask (|S| = size) from the table; when `want` (the node has
  // children), fills `forms` and returns true if its forms are worth keeping.
  // With per-depth layouts, the layout of S is built from its parent's
  // (S minus its highest variable, at depth size - 1) when `from_parent`,
  // the parent's own layout being made first if it is not in memory; either
  // way the node's layout stays for its children.
  bool direct(VarMask mask, unsigned size, Forms& forms, Workspace& ws, bool want,
              bool from_parent) {
    const unsigned m = n - size;
    if (size == n) {
      out[mask] = form_stats(f, mask, with_entropy);
      return false;
    }
    Layout* layout = layered() ? &ws.layout[size] : &ws.single;
    Layout* parent = layered() ? &ws.layout[size - 1] : nullptr;
    const unsigned v = static_cast<unsigned>(63 - std::countl_zero(mask));
    if (parent != nullptr && from_parent && !parent->valid) {
      lay_out(mask & ~(VarMask{1} << v), *parent);
    }
    if (parent != nullptr && parent->valid) {
      lay_out_child(*parent, size - 1, v, *layout);
    } else {
      lay_out(mask, *layout);
    }
    const RowList rows{layout->data, std::uint64_t{1} << size, m, true};
    // The distinct rows are kept only when wanted, and then in order.
    ws.tally.run(rows, {}, want ? RowOrder::first_seen : RowOrder::counts_only);
    out[mask] = ws.tally.stats(size, with_entropy);
    if (!want || !worth_keeping(ws.tally.counts.size(), size)) return false;
    keep_distinct(rows, ws.tally, forms);
    for (unsigned v = 0; v < n; ++v) forms.column[v] = ((mask >> v) & 1u) ? 0 : layout->pos[v];
    return true;
  }

  // Records S + {v} for v >= next, and their descendants. `node` holds the
  // forms of S, or is null when they were not kept.
  void visit(const Forms* node, VarMask mask, unsigned size, unsigned next, Workspace& ws) {
    for (unsigned v = next; v < n; ++v) {
      Forms& child = ws.depth[size + 1];
      const VarMask child_mask = mask | (VarMask{1} << v);
      const bool has_children = size + 1 < max_size && v + 1 < n;
      if (layered()) ws.layout[size + 1].valid = false;
      bool kept = false;
      if (skip(child_mask, size + 1, has_children)) {
        kept = false;
      } else if (node != nullptr) {
        kept = refine(*node, v, size + 1, with_entropy, has_children, child, out[child_mask],
                      ws.scratch, ws.tally);
      } else {
        // The parent's layout is worth making when it may serve a sibling too.
        kept = direct(child_mask, size + 1, child, ws, has_children, v + 1 < n);
      }
      if (has_children) {
        visit(kept ? &child : nullptr, child_mask, size + 1, v + 1, ws);
      }
    }
  }
};

void walk_subsets(Walker& walker, bool parallel) {
  const unsigned n = walker.n;
  if (walker.max_size == 0 || n == 0) return;
  if (!parallel || walker.max_size < 2 || n < 8) {
    const auto ws = walker.workspace();
    walker.visit(nullptr, 0, 0, 0, *ws);
    return;
  }
  // The single variables on this thread; then one task per pair {u, v},
  // biggest subtrees (smallest v) first, each starting from the table.
  // Workspaces are reused from task to task.
  std::vector<std::unique_ptr<Walker::Workspace>> spare;
  std::mutex spare_lock;
  spare.push_back(walker.workspace());
  for (unsigned v = 0; v < n; ++v) {
    if (!walker.skip(VarMask{1} << v, 1, false)) {
      walker.direct(VarMask{1} << v, 1, spare[0]->depth[1], *spare[0], false, false);
    }
  }
  std::vector<std::pair<unsigned, unsigned>> tasks;
  for (unsigned v = 1; v < n; ++v) {
    for (unsigned u = 0; u < v; ++u) tasks.emplace_back(u, v);
  }
  pool::parallel_for(tasks.size(), 1, [&](std::uint64_t begin, std::uint64_t end) {
    std::unique_ptr<Walker::Workspace> ws;
    {
      const std::lock_guard<std::mutex> hold(spare_lock);
      if (!spare.empty()) {
        ws = std::move(spare.back());
        spare.pop_back();
      }
    }
    if (!ws) ws = walker.workspace();
    for (std::uint64_t i = begin; i < end; ++i) {
      const auto [u, v] = tasks[i];
      const VarMask mask = (VarMask{1} << u) | (VarMask{1} << v);
      const bool has_children = walker.max_size > 2 && v + 1 < n;
      if (walker.layered()) ws->layout[1].valid = ws->layout[2].valid = false;
      const bool kept = !walker.skip(mask, 2, has_children) &&
                        walker.direct(mask, 2, ws->depth[2], *ws, has_children, false);
      if (has_children) {
        walker.visit(kept ? &ws->depth[2] : nullptr, mask, 2, v + 1, *ws);
      }
    }
    const std::lock_guard<std::mutex> hold(spare_lock);
    spare.push_back(std::move(ws));
  });
}

}  // namespace

std::vector<FormStats> subset_stats(const FValue& f, unsigned max_size, bool with_entropy,
                                    bool parallel) {
  const unsigned n = f.n_vars();
  if (n > 40) throw ValueError("subset statistics need 2^n entries; n is too large");
  std::vector<FormStats> out(std::uint64_t{1} << n);
  out[0] = {1, -0.0f};
  Walker walker{f, n, std::min(max_size, n), with_entropy, out};
  walk_subsets(walker, parallel);
  return out;
}

void complete_subset_stats(const FValue& f, unsigned max_size, std::span<FormStats> stats,
                           std::span<const std::uint8_t> known, bool with_entropy, bool parallel) {
  const unsigned n = f.n_vars();
  if (n > 40) throw ValueError("subset statistics need 2^n entries; n is too large");
  const std::uint64_t count = std::uint64_t{1} << n;
  if (stats.size() != count || known.size() != count) panic("one stats entry per subset");
  if (known[0] == 0) stats[0] = {1, -0.0f};
  Walker walker{f, n, std::min(max_size, n), with_entropy, stats, known.data()};
  walk_subsets(walker, parallel);
}

}  // namespace varnel
