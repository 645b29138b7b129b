// Checkpoints of the generator's state: after each finished level L,
// WORKDIR/state-L.bin (state.bin links to the latest), so that a later run
// resumes where this one stopped.
#pragma once

#include <string>

#include "state.hpp"

namespace chaingen {

void save_state(const State& st, const std::string& dir, int level);

/// Loads WORKDIR/state.bin (from < 0) or WORKDIR/state-<from>.bin into an
/// empty state; returns the level it was saved after, or -1 when there is no
/// usable checkpoint (a missing state-<from>.bin is fatal).
int load_state(State& st, const std::string& dir, int from);

}  // namespace chaingen
