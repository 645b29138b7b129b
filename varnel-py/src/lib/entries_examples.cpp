// Entries of the function families: class methods that build a new table.
#include "entries.hpp"
#include "examples.hpp"

namespace varnel::py::entries {

FValue majority(std::uint64_t n) { return examples::majority(n); }
FValue parity(std::uint64_t n) { return examples::parity(n); }
FValue coprimes(std::uint64_t n) { return examples::coprimes(n); }
FValue primality(std::uint64_t n) { return examples::primality(n); }
FValue sum_is_prime(std::uint64_t n) { return examples::sum_is_prime(n); }
FValue clique(std::uint64_t n) { return examples::clique(n); }

}  // namespace varnel::py::entries
