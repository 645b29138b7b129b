#include "bit_matrix.hpp"

#include "error.hpp"
#include "fvalue.hpp"
#include "index_permutation.hpp"

namespace varnel {

BitMatrix::BitMatrix(unsigned row_bits, unsigned col_bits, std::vector<std::uint64_t> words)
    : row_bits_(row_bits), col_bits_(col_bits), words_(std::move(words)) {
  if (row_bits + col_bits > 63 ||
      words_.size() != words_for(std::uint64_t{1} << (row_bits + col_bits))) {
    panic("bit matrix of the wrong size");
  }
}

void transpose_bits(std::span<const std::uint64_t> words, unsigned row_bits, unsigned col_bits,
                    std::span<std::uint64_t> out) {
  // Column index bits go to the top, row index bits to the bottom.
  const unsigned n = row_bits + col_bits;
  unsigned dest[64];
  for (unsigned i = 0; i < col_bits; ++i) dest[i] = i + row_bits;
  for (unsigned t = 0; t < row_bits; ++t) dest[col_bits + t] = t;
  permute_index_bits(words, n, std::span<const unsigned>(dest, n), out);
}

BitMatrix BitMatrix::transposed() const {
  std::vector<std::uint64_t> out(words_.size());
  transpose_bits(words_, row_bits_, col_bits_, out);
  return BitMatrix(col_bits_, row_bits_, std::move(out));
}

}  // namespace varnel
