#include "passes.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "phase.hpp"
#include "progress.hpp"
#include "word_rules.hpp"

namespace chaingen {

PhaseStats run_moves(State& st, const char* name, const std::vector<ChainRef>& refs, Move m) {
  return run_phase(st, name, refs.size(), chunk_size(m),
                   [&](Worker& w, std::size_t lo, std::size_t hi) {
                     for (std::size_t i = lo; i < hi; ++i)
                       apply_move(w, st.classes[refs[i].id].chains[refs[i].k], m);
                   });
}

namespace {

// Rewiring on the stored chains of level r, repeated on the chains each
// round adds, until a round finds no new class.
void rewiring_rounds(State& st, int r) {
  std::vector<std::uint32_t> start;
  for (int round = 0; round < 1000; ++round) {
    auto refs = st.chains_of_level(r, round ? &start : nullptr);
    start.assign(st.classes.size(), 0);
    for (auto id : st.level[r])
      start[id] = static_cast<std::uint32_t>(st.classes[id].chains.size());
    if (refs.empty()) break;
    if (run_moves(st, "rewiring", refs, Move::Rewire).newc == 0) break;
  }
}

}  // namespace

void build_level(State& st, int r, const LevelRules& rules) {
  st.cur_level = r;
  rule_topdown(st, r);
  rule_substitution(st, r, r <= 10 ? 3 : 2);
  if (rules.shared && r <= 11) rule_shared_topdown(st, r, 5, 4);
  {
    auto refs = st.chains_of_level(r - 1);
    run_moves(st, "ext+insertion", refs, Move::ExtendAndInsert);
    run_moves(st, "node insertion", refs, Move::InsertAtNode);
    if (rules.general) run_moves(st, "general insertion", refs, Move::ExtendAndInsertAnyPair);
  }
  if (rules.two_gate && r >= 3)
    run_moves(st, "two-gate extension", st.chains_of_level(r - 2), Move::ExtendByTwo);
  rewiring_rounds(st, r);
  for (auto id : st.level[r]) {
    st.classes[id].full = 1;
    st.mark_orbit(st.classes[id]);
  }
  if (r <= kOrbitLevels) st.build_orbit(r);
}

void deep_walk(State& st, int lvl, int quota, int rounds, std::size_t base) {
  int saved_keep = st.keep;
  st.keep = quota;
  st.cur_level = lvl;
  std::printf(
      "deep walk over the chains of %d gates (%d new per class and round, at most %d rounds)\n",
      lvl, quota, rounds);
  std::vector<std::uint32_t> start(st.classes.size(), 0);
  for (auto id : st.level[lvl]) {
    std::size_t n = st.classes[id].chains.size();
    start[id] = static_cast<std::uint32_t>(n > static_cast<std::size_t>(quota) ? n - quota : 0);
  }
  for (int round = 0; round < rounds && !st.level_exact(lvl); ++round) {
    double t0 = now_s();
    for (auto id : st.level[lvl]) {
      // Forget the chains between the first `base` and the last round's.
      auto& ch = st.classes[id].chains;
      std::size_t keep_from = std::min<std::size_t>(start[id], ch.size());
      if (keep_from > base) {
        ch.erase(ch.begin() + static_cast<std::ptrdiff_t>(base),
                 ch.begin() + static_cast<std::ptrdiff_t>(keep_from));
        start[id] = static_cast<std::uint32_t>(base);
      }
    }
    // Only the classes of the level are open to new chains (and those above
    // it, whose candidates are improvements); the cheaper ones stay marked.
    if (round == 0) st.reopen_classes([&](const Class& c) { return c.level < lvl; });
    for (auto id : st.level[lvl]) {
      Class& c = st.classes[id];
      st.unmark_orbit(c);
      c.full = 0;
      c.cap = static_cast<std::uint32_t>(c.chains.size()) + static_cast<std::uint32_t>(quota);
    }
    auto refs = st.chains_of_level(lvl, &start);
    start.assign(st.classes.size(), 0);
    for (auto id : st.level[lvl])
      start[id] = static_cast<std::uint32_t>(st.classes[id].chains.size());
    if (refs.empty()) break;
    // A class keeps the first new chains in the order of their sources, so
    // the sources are taken in a fixed pseudo-random order that changes
    // every round: otherwise the classes listed first would feed every walk.
    {
      std::vector<std::pair<std::uint64_t, ChainRef>> order(refs.size());
      for (std::size_t i = 0; i < refs.size(); ++i) {
        const Class& c = st.classes[refs[i].id];
        order[i] = {
            chain_key(c.rep ^ static_cast<std::uint32_t>(round * 0x9e3779b9u), c.chains[refs[i].k]),
            refs[i]};
      }
      std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first
                                  : (a.second.id != b.second.id ? a.second.id < b.second.id
                                                                : a.second.k < b.second.k);
      });
      for (std::size_t i = 0; i < refs.size(); ++i) refs[i] = order[i].second;
    }
    PhaseStats s = run_moves(st, "rewiring (deep walk)", refs, Move::Rewire);
    for (auto& c : st.classes) c.cap = 0;
    std::printf("  deep walk round %d done in %.1fs, shortfall %s, peak %ld MiB\n", round + 1,
                now_s() - t0, st.level_exact(lvl) ? "none" : "remains", peak_kib() / 1024);
    if (s.added == 0) break;
  }
  st.keep = saved_keep;
}

void reduce_to(State& st, int r) {
  st.reopen_classes([&](const Class& c) { return c.level <= r; });
  st.cur_level = 99;  // only new classes and shorter chains are stored
  auto refs = st.chains_of_level(r + 1);
  std::printf("reduction to %d gates\n", r);
  run_moves(st, "rewiring (reduce)", refs, Move::RewireDroppingGate);
  run_moves(st, "node replacement", refs, Move::ReplaceNode);
  run_moves(st, "cone replacement", refs, Move::ReplaceCone);
}

}  // namespace chaingen
