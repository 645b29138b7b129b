// The measures of varnelkit's function object, on packed tables: thin
// adapters from buffers to the core's kernels.
#pragma once

#include <cstdint>

#include "packed_table.hpp"

namespace varnelkit::native {

using varnel::py::ReadBuffer;
using varnel::py::WriteBuffer;

NoResult walsh_spectrum(ReadBuffer table, std::uint64_t n, WriteBuffer out);
Counts fourier_level_weights(ReadBuffer table, std::uint64_t n);
NoResult autocorrelation(ReadBuffer table, std::uint64_t n, WriteBuffer out);
NoResult anf(ReadBuffer table, std::uint64_t n, WriteBuffer out);
std::uint64_t algebraic_degree(ReadBuffer table, std::uint64_t n);
std::uint64_t algebraic_immunity(ReadBuffer table, std::uint64_t n);
std::uint64_t decision_tree_depth(ReadBuffer table, std::uint64_t n);
std::uint64_t block_sensitivity(ReadBuffer table, std::uint64_t n);
bool is_symmetric(ReadBuffer table, std::uint64_t n);

}  // namespace varnelkit::native
