// Entries of the classical measures: spectrum, influence, sensitivity,
// certificate complexity and the frontier.
#include "entries.hpp"
#include "metrics/certificate.hpp"
#include "metrics/frontier.hpp"
#include "metrics/influence.hpp"
#include "metrics/sensitivity.hpp"
#include "metrics/spectral.hpp"

namespace varnel::py::entries {

std::uint64_t frontier_size(VarnelData& data) {
  return varnel::frontier_size(data.frontier, data.table);
}

std::uint64_t max_frontier_size(VarnelData& data) { return varnel::max_frontier_size(data.table); }

std::uint32_t max_sensitivity(const FValue& f) { return varnel::max_sensitivity(f); }

float mean_sensitivity(const FValue& f) { return varnel::mean_sensitivity(f); }

float spectral_entropy(const FValue& f) { return varnel::spectral_entropy(f); }

std::uint64_t degree(const FValue& f) { return varnel::degree(f); }

std::uint64_t no_linearity(const FValue& f) { return varnel::no_linearity(f); }

float influence(const FValue& f, std::uint64_t var) { return varnel::influence(f, var); }

float total_influence(const FValue& f) { return varnel::total_influence(f); }

std::uint32_t certificate_complexity(const FValue& f) {
  return varnel::certificate_complexity(f);
}

}  // namespace varnel::py::entries
