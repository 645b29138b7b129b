// Expanding packed bits into one byte (0 or 1) per entry, for handing tables
// to NumPy. Vector paths (AVX-512BW, AVX2) are chosen at run time.
#pragma once

#include <cstdint>
#include <span>

namespace varnel {

/// Writes entries 0 .. count-1 of the packed `words` to out[0 .. count-1].
void unpack_bits(std::span<const std::uint64_t> words, std::uint64_t count, std::uint8_t* out);

}  // namespace varnel
