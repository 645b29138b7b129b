// Entries of the information measures.
#include "entries.hpp"
#include "metrics/entanglement.hpp"
#include "result_classes.hpp"

namespace varnel::py::entries {

float equanimity_importance(const FValue& f) { return varnel::equanimity_importance(f); }

}  // namespace varnel::py::entries
