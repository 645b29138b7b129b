// The operations behind the methods of `Varnel`, with C++ parameter and result
// types that the declaration machinery converts. Each is a thin adapter from
// the binding's types to one operation of the core.
#pragma once

#include <cstdint>
#include <vector>

#include "args.hpp"
#include "fvalue.hpp"
#include "metrics/entanglement.hpp"
#include "pyref.hpp"
#include "result_classes.hpp"
#include "to_py.hpp"

namespace varnel::py::entries {

// Truth table
FValue from_number(std::uint64_t number, std::uint64_t num_vars);
bool eval(const FValue& f, std::uint64_t i);
PyRef repr(const FValue& f);
std::uint64_t size(const FValue& f);
std::uint64_t n_vars(const FValue& f);

// Information measures
float equanimity_importance(const FValue& f);

// Entropy and entanglement over the balanced bipartitions
std::uint64_t entanglement(const FValue& f);
float entropy(const FValue& f);
std::vector<EntanglementSet> entanglement_sets(const FValue& f);
std::vector<EntropySet> entropy_sets(const FValue& f);

// Byte encoding
PyRef encode(const FValue& f);
FValue decode(BytesView raw);

// Restriction table and restriction counting
PyRef table(const FValue& f, std::vector<std::uint64_t> vars);
std::uint64_t information(const FValue& f, std::vector<std::uint64_t> vars);
float fragmentation_coefficient(const FValue& f, std::vector<std::uint64_t> vars);

}  // namespace varnel::py::entries
