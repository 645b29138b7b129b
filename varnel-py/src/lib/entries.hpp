// The operations behind the methods of `Varnel`, with C++ parameter and result
// types that the declaration machinery converts. Each is a thin adapter from
// the binding's types to one operation of the core.
#pragma once

#include <cstdint>
#include <optional>

#include "args.hpp"
#include "fvalue.hpp"
#include "pyref.hpp"
#include "to_py.hpp"

namespace varnel::py::entries {

// Truth table
FValue from_number(std::uint64_t number, std::uint64_t num_vars);
bool eval(const FValue& f, std::uint64_t i);
PyRef repr(const FValue& f);
std::uint64_t size(const FValue& f);
std::uint64_t n_vars(const FValue& f);

// Byte encoding
PyRef encode(const FValue& f);
FValue decode(BytesView raw);

// Optimal five-input circuits
std::optional<std::uint32_t> minimal_gates(const FValue& f);
std::optional<FValue> npn_representant(const FValue& f);

}  // namespace varnel::py::entries
