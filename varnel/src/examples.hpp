// Six named families of Boolean functions, the standard test subjects of the
// measures. Each maps a size parameter n to a truth table:
//
//   parity(n)        n vars   true when the input has an even number of one bits
//   majority(n)      n vars   true when more than floor(n/2) bits are one (ties false)
//   primality(n)     n vars   true when the input index is prime
//   coprimes(n)      2n vars  true when gcd(x, y) = 1, with gcd(x, 0) = x
//   sum_is_prime(n)  2n vars  true when x + y is prime
//   clique(n)        n(n-1)/2 true when the graph has a clique of floor(n/2) vertices
//
// The two-operand families split the input index i into y = i mod 2^n (low
// operand, variables 0 .. n-1) and x = floor(i / 2^n) (high operand). The graph
// family numbers the edges of the graph on vertices 0 .. n-1 as edge_index does
// (clique_solver.hpp); a clique of at most one vertex always exists.
//
// The tables are built word by word straight into the bit-packed table (prime
// sieves, row patterns, an upward closure over clique masks) and spread over the
// worker pool when large.
//
// Failures: n of 63 modulo 64 for parity, majority and primality is the internal
// failure "capacity overflow"; any other n beyond a family's supported range
// (62, 62, 62, 31, 15, 11) is a ValueError; a table larger than memory throws
// std::bad_alloc.
#pragma once

#include <cstdint>

#include "fvalue.hpp"

namespace varnel::examples {

FValue parity(std::uint64_t n);
FValue majority(std::uint64_t n);
FValue primality(std::uint64_t n);
FValue coprimes(std::uint64_t n);
FValue sum_is_prime(std::uint64_t n);
FValue clique(std::uint64_t n);

}  // namespace varnel::examples
