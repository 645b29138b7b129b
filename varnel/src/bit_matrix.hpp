// A bit matrix of 2^row_bits rows by 2^col_bits columns, stored as one packed
// table of 2^(row_bits + col_bits) entries: entry (r, c) is table index
// r * 2^col_bits + c. A row of 64 bits or more is words_per_row() whole
// words; shorter rows share words (64 / 2^col_bits rows to a word) and are
// read with narrow_row().
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fvalue.hpp"

namespace varnel {

class BitMatrix {
 public:
  BitMatrix(unsigned row_bits, unsigned col_bits, std::vector<std::uint64_t> words);

  unsigned row_bits() const noexcept { return row_bits_; }
  unsigned col_bits() const noexcept { return col_bits_; }
  std::uint64_t rows() const noexcept { return std::uint64_t{1} << row_bits_; }
  std::uint64_t cols() const noexcept { return std::uint64_t{1} << col_bits_; }
  bool get(std::uint64_t r, std::uint64_t c) const noexcept {
    const std::uint64_t x = (r << col_bits_) | c;
    return (words_[x >> 6] >> (x & 63)) & 1u;
  }
  /// The packed table (words_for(rows * cols) words).
  std::span<const std::uint64_t> words() const noexcept { return words_; }
  /// Whether rows are whole words (col_bits >= 6).
  bool wide() const noexcept { return col_bits_ >= 6; }
  /// Words of one row, for wide matrices.
  std::uint64_t words_per_row() const noexcept { return std::uint64_t{1} << (col_bits_ - 6); }
  /// Row r of a wide matrix.
  const std::uint64_t* row_words(std::uint64_t r) const noexcept {
    return words_.data() + (r << (col_bits_ - 6));
  }
  /// Row r of a narrow matrix (col_bits < 6) as the low 2^col_bits bits of a word.
  std::uint64_t narrow_row(std::uint64_t r) const noexcept {
    const std::uint64_t x = r << col_bits_;
    return (words_[x >> 6] >> (x & 63)) & low_mask(std::uint64_t{1} << col_bits_);
  }

  /// The transposed matrix: row c of the result is column c of this one.
  BitMatrix transposed() const;

 private:
  unsigned row_bits_;
  unsigned col_bits_;
  std::vector<std::uint64_t> words_;
};

/// The transpose of a packed matrix of 2^row_bits rows by 2^col_bits columns
/// into `out` (the same number of words, distinct from `words`).
void transpose_bits(std::span<const std::uint64_t> words, unsigned row_bits, unsigned col_bits,
                    std::span<std::uint64_t> out);

}  // namespace varnel
