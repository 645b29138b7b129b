// The methods of `Varnel` whose core operation needs adapting to the binding:
// a receiver that is not a plain table, a result built straight into a Python
// object, or an argument check of the binding's own. Every other method names
// its core operation directly (methods.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fvalue.hpp"
#include "pyref.hpp"
#include "varnel_object.hpp"

namespace varnel::py::entries {

/// Entry i of the table; IndexError "Index out of range: {i}" past the end.
bool eval(const FValue& f, std::uint64_t i);
/// The table as a new list of bools, entry 0 first.
PyRef repr(const FValue& f);
/// The number of entries, 2^n.
std::uint64_t size(const FValue& f);
/// The number of variables n.
std::uint64_t n_vars(const FValue& f);
/// The byte encoding, written straight into a new bytes object.
PyRef encode(const FValue& f);
/// The restriction matrix of `vars` as a new NumPy bool array.
PyRef table(const FValue& f, std::vector<std::uint64_t> vars);
/// The frontier size; the first call fills the object's frontier cache.
std::uint64_t frontier_size(VarnelData& data);
/// The largest frontier over the object's table.
std::uint64_t max_frontier_size(VarnelData& data);
/// The NPN representative as a table of five variables; None for other sizes.
std::optional<FValue> npn_representant(const FValue& f);

}  // namespace varnel::py::entries
