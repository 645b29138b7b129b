// The algebraic normal form: f(x) = XOR over the monomials u with a(u) = 1 of
// the AND of the variables of u (bit j of u = variable j), over GF(2). The
// coefficient table a is the Möbius transform of the truth table, a(u) = XOR
// of f(x) over the x contained in u, and the transform is its own inverse.
#pragma once

#include <cstdint>
#include <span>

#include "fvalue.hpp"

namespace varnel {

/// The Möbius transform in place on the packed words of a table of n
/// variables (entry u at bit u & 63 of word u >> 6; max(1, 2^n / 64) words).
void moebius_transform(std::span<std::uint64_t> words, unsigned n);

/// The coefficient table of the algebraic normal form, as a table of n variables.
FValue algebraic_normal_form(const FValue& f);

/// The largest popcount(u) with a(u) = 1: the algebraic degree (0 for
/// constants, including the constant false).
unsigned algebraic_degree(const FValue& f);

/// The same, read from a coefficient table.
unsigned anf_degree(const FValue& anf);

}  // namespace varnel
