// The generator's passes over the state: the rules of one level of the
// induction, and the walks and reductions that look for the classes a level
// still misses.
#pragma once

#include <vector>

#include "moves.hpp"
#include "state.hpp"

namespace chaingen {

/// Runs move m on the stored chains refs.
PhaseStats run_moves(State& st, const char* name, const std::vector<ChainRef>& refs, Move m);

struct LevelRules {
  bool general = true;   // insertion of a gate over any pair of nodes
  bool two_gate = true;  // two-gate extension
  bool shared = true;    // shared top-down
};

/// Builds level r from the finished lower levels and closes it.
void build_level(State& st, int r, const LevelRules& rules);

/// Walks away from the stored chains of level lvl: each round rewires only
/// the chains the previous round added (at first the last `quota` chains of
/// each class), and each class of the level takes up to `quota` new chains
/// per round, so the walk keeps moving outward instead of filling every
/// class with the first neighbours of its first chains. A rewired chain that
/// lands in a class placed higher moves that class down. Chains of older
/// rounds are dropped (their fingerprints stay, so they are not found
/// again); a class keeps its first `base` chains. Stops once the level is
/// exact.
void deep_walk(State& st, int lvl, int quota, int rounds, std::size_t base);

/// Looks for chains of r gates among the moves on the stored chains of level
/// r + 1 that delete a gate, for the classes not known to cost r or less.
void reduce_to(State& st, int r);

}  // namespace chaingen
