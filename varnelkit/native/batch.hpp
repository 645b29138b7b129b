// Five-input functions by the array: NPN representatives and transforms,
// minimal gate counts and class indices over contiguous buffers of uint32
// table words, written into buffers the caller allocated (one item per word).
// The work runs on the worker pool with the interpreter lock released. Each
// returns the number of items written.
#pragma once

#include <cstdint>

#include "args.hpp"

namespace varnelkit::native {

using varnel::py::ReadBuffer;
using varnel::py::WriteBuffer;

/// representatives: uint32 per word; transforms: 7-byte records (permutation
/// bytes, input-complement mask, output complement).
std::uint64_t npn_canonize_many(ReadBuffer words, WriteBuffer representatives,
                                WriteBuffer transforms);
std::uint64_t npn_representatives(ReadBuffer words, WriteBuffer representatives);
/// gates: uint8 per word.
std::uint64_t minimal_gates_many(ReadBuffer words, WriteBuffer gates);
/// classes: uint32 per word, the position of the class in the catalogue.
std::uint64_t npn_class_indices(ReadBuffer words, WriteBuffer classes);

/// Number of classes in the catalogue.
std::uint64_t npn5_class_count();
/// Fills the catalogue: representatives (uint32), gates (uint8) and orbit
/// sizes (uint32), one item per class.
std::uint64_t npn5_classes_fill(WriteBuffer representatives, WriteBuffer gates,
                                WriteBuffer orbit_sizes);

}  // namespace varnelkit::native
