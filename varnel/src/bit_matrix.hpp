// A bit matrix of 2^row_bits rows by 2^col_bits columns, stored as one packed
// table of 2^(row_bits + col_bits) entries: entry (r, c) is table index
// r * 2^col_bits + c. A row of 64 bits or more is 2^(col_bits - 6) whole
// words; shorter rows share words (64 / 2^col_bits rows to a word).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

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
