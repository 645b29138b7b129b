// The result classes EntropySets and EntanglementSet: small read-only Python
// objects, one per balanced bipartition, created from the records of
// entropy_sets and entanglement_sets. Their type objects are created on the
// first result of each class and are not attributes of the module.
#pragma once

#include <vector>

#include "metrics/entanglement.hpp"
#include "to_py.hpp"

namespace varnel::py {

template <>
struct ToPy<std::vector<EntropySet>> {
  static PyRef convert(std::vector<EntropySet>&& records);
};

template <>
struct ToPy<std::vector<EntanglementSet>> {
  static PyRef convert(std::vector<EntanglementSet>&& records);
};

}  // namespace varnel::py
