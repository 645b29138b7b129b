// Entries of the fragmentation family.
#include "entries.hpp"
#include "metrics/fragmentation.hpp"

namespace varnel::py::entries {

float fragmentation_k(const FValue& f, std::uint64_t k) { return varnel::fragmentation_k(f, k); }

std::vector<float> fragmentation_profile(const FValue& f) {
  return varnel::fragmentation_profile(f);
}

std::pair<std::uint64_t, float> fragmentation_peak(const FValue& f) {
  return varnel::fragmentation_peak(f);
}

std::vector<float> fragmentation_delta(const FValue& f) { return varnel::fragmentation_delta(f); }

std::vector<float> fragmentation_delta2(const FValue& f) {
  return varnel::fragmentation_delta2(f);
}

}  // namespace varnel::py::entries
