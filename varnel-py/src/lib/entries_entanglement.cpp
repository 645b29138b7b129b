// Entries of entropy and entanglement over the balanced bipartitions.
#include "entries.hpp"
#include "metrics/entanglement.hpp"
#include "result_classes.hpp"

namespace varnel::py::entries {

std::uint64_t entanglement(const FValue& f) { return varnel::entanglement(f); }

float entropy(const FValue& f) { return varnel::entropy(f); }

std::vector<EntanglementSet> entanglement_sets(const FValue& f) {
  return varnel::entanglement_sets(f);
}

std::vector<EntropySet> entropy_sets(const FValue& f) { return varnel::entropy_sets(f); }

}  // namespace varnel::py::entries
