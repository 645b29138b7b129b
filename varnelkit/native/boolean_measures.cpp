#include "boolean_measures.hpp"

#include <algorithm>

#include "metrics/algebraic_immunity.hpp"
#include "metrics/anf.hpp"
#include "metrics/autocorrelation.hpp"
#include "metrics/block_sensitivity.hpp"
#include "metrics/decision_tree.hpp"
#include "metrics/symmetry.hpp"
#include "metrics/walsh.hpp"

namespace varnelkit::native {

NoResult walsh_spectrum(ReadBuffer table, std::uint64_t n, WriteBuffer out) {
  varnel::walsh_spectrum(unpack_table(table, n), int64_output(out, n));
  return {};
}

Counts fourier_level_weights(ReadBuffer table, std::uint64_t n) {
  return {varnel::fourier_level_weights(unpack_table(table, n))};
}

NoResult autocorrelation(ReadBuffer table, std::uint64_t n, WriteBuffer out) {
  varnel::autocorrelation(unpack_table(table, n), int64_output(out, n));
  return {};
}

NoResult anf(ReadBuffer table, std::uint64_t n, WriteBuffer out) {
  const varnel::FValue coefficients = varnel::algebraic_normal_form(unpack_table(table, n));
  std::ranges::copy(coefficients.words(), words_output(out, n).begin());
  return {};
}

std::uint64_t algebraic_degree(ReadBuffer table, std::uint64_t n) {
  return varnel::algebraic_degree(unpack_table(table, n));
}

std::uint64_t algebraic_immunity(ReadBuffer table, std::uint64_t n) {
  return varnel::algebraic_immunity(unpack_table(table, n));
}

std::uint64_t decision_tree_depth(ReadBuffer table, std::uint64_t n) {
  return varnel::decision_tree_depth(unpack_table(table, n));
}

std::uint64_t block_sensitivity(ReadBuffer table, std::uint64_t n) {
  return varnel::block_sensitivity(unpack_table(table, n));
}

bool is_symmetric(ReadBuffer table, std::uint64_t n) {
  return varnel::is_symmetric(unpack_table(table, n));
}

}  // namespace varnelkit::native
