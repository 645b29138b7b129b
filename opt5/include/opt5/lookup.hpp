// Gate counts by lookup: the stored chain of a function's representative is
// rewritten through the canonicalising transform into a chain for the
// function itself, evaluated and checked against it.
#pragma once

#include <cstdint>

#include "opt5/chain.hpp"
#include "opt5/database.hpp"
#include "opt5/npn.hpp"

namespace opt5 {

/// Index-rewrite table of t: byte k (k = 1..5) = ((|t[k]| XOR k) << 1) |
/// (t[k] < 0); every other byte 0.
void populate_perm(std::uint8_t table[16], const transform& t);

/// Rewrites the chain's input references by t: node k (1..5) becomes node
/// |t[k]|, complemented when t[k] < 0; other nodes stay. Then t[0] is
/// exclusive-ored into the output literal. A zero-gate chain rewrites its
/// output literal the same way.
void apply_perm(gatevec_fast& chain, const transform& t);

/// The function the chain computes. Rewrites the gate words in place: bits
/// 0..2 then describe each gate on the stored (possibly complemented) values
/// of its inputs, bit 15 is cleared (the complement is carried to the readers
/// through `tableau`), bits 3 and 9 are left as they were; the output literal
/// is adjusted to name the stored value.
std::uint32_t normalise_chain_fast(gatevec_fast& chain, const std::uint16_t* tableau);

/// A chain computing f, checked: the representative's chain rewritten for f.
/// f = 0xFFFFFFFF takes the chain of 0 with a complemented output. A chain
/// that does not compute f (a missing key included; nothing is inserted)
/// prints "Major disaster! " with the numbers to standard error and ends the
/// process with status 1.
gatevec_fast lookup_transform(std::uint32_t f, const chain_map& map,
                              const canonisation_table& table);

/// Number of gates of an optimal chain for f (lookup_transform's length).
std::uint32_t num_gates(const wrapper& db, std::uint32_t f);
/// Canonical representative of f.
std::uint32_t npn_representant(const wrapper& db, std::uint32_t f);

}  // namespace opt5
