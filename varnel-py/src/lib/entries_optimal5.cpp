// Entries of the optimal five-input circuits (group WithMinimalGates).
#include "entries.hpp"
#include "optimal5.hpp"

namespace varnel::py::entries {

std::optional<std::uint32_t> minimal_gates(const FValue& f) { return varnel::minimal_gates(f); }

std::optional<FValue> npn_representant(const FValue& f) {
  const std::optional<std::uint32_t> r = varnel::npn_representant(f);
  if (!r) return std::nullopt;
  return varnel::unpack_library_word(*r);
}

}  // namespace varnel::py::entries
