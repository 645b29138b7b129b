// WithMinimalGates: the exact minimum number of two-input gates of a
// five-variable function and its NPN-canonical representative, read from the
// database of optimal chains built into the module (library opt5).
//
// A 32-entry table is packed into the library word with entry i at bit
// (31 - i), so variable k of the table is variable k of the word. The
// database is built once per process, on the first call of either operation,
// whatever the table's size.
#pragma once

#include <cstdint>
#include <optional>

#include "fvalue.hpp"

namespace varnel {

/// Whether the chain database is built into this program.
bool has_chain_database() noexcept;

/// The library word of a 32-entry table: entry i goes to bit 31 - i.
std::uint32_t pack_library_word(const FValue& f);

/// The 32-entry table with entry i = bit i of w (the representative's value at
/// input 31 - i); not the inverse of pack_library_word.
FValue unpack_library_word(std::uint32_t w);

/// Minimum gate count, 0..12; none unless the table has exactly 32 entries.
std::optional<std::uint32_t> minimal_gates(const FValue& f);

/// Canonical representative as a library word; none unless the table has
/// exactly 32 entries.
std::optional<std::uint32_t> npn_representant(const FValue& f);

}  // namespace varnel
