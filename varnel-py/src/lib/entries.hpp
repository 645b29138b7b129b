// The operations behind the methods of `Varnel`, with C++ parameter and result
// types that the declaration machinery converts. Each is a thin adapter from
// the binding's types to one operation of the core.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>
#include <optional>

#include "args.hpp"
#include "fvalue.hpp"
#include "metrics/entanglement.hpp"
#include "pyref.hpp"
#include "result_classes.hpp"
#include "to_py.hpp"
#include "varnel_object.hpp"

namespace varnel::py::entries {

// Truth table
FValue from_number(std::uint64_t number, std::uint64_t num_vars);
bool eval(const FValue& f, std::uint64_t i);
PyRef repr(const FValue& f);
std::uint64_t size(const FValue& f);
std::uint64_t n_vars(const FValue& f);

// Information measures
float equanimity_importance(const FValue& f);

// Function families (class methods)
FValue majority(std::uint64_t n);
FValue parity(std::uint64_t n);
FValue coprimes(std::uint64_t n);
FValue primality(std::uint64_t n);
FValue sum_is_prime(std::uint64_t n);
FValue clique(std::uint64_t n);
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
// Classical measures
std::uint64_t frontier_size(VarnelData& data);
std::uint64_t max_frontier_size(VarnelData& data);
std::uint32_t max_sensitivity(const FValue& f);
float mean_sensitivity(const FValue& f);
float spectral_entropy(const FValue& f);
std::uint64_t degree(const FValue& f);
std::uint64_t no_linearity(const FValue& f);
float influence(const FValue& f, std::uint64_t var);
float total_influence(const FValue& f);
std::uint32_t certificate_complexity(const FValue& f);

// Fragmentation family (fragmentation_spectrum and restriction_signature are
// further names of fragmentation_profile)
float fragmentation_k(const FValue& f, std::uint64_t k);
std::vector<float> fragmentation_profile(const FValue& f);
std::pair<std::uint64_t, float> fragmentation_peak(const FValue& f);
std::vector<float> fragmentation_delta(const FValue& f);
std::vector<float> fragmentation_delta2(const FValue& f);
// Optimal five-input circuits
std::optional<std::uint32_t> minimal_gates(const FValue& f);
std::optional<FValue> npn_representant(const FValue& f);

}  // namespace varnel::py::entries
