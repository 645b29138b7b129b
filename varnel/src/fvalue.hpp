// FValue: a Boolean function of n variables held as its full truth table.
//
// Entry x is f(x_0, ..., x_{n-1}) with x_j = (x >> j) & 1: variable j is bit j
// of the input index. The table is bit-packed, 64 entries to a word, entry x in
// bit (x & 63) of word (x >> 6). A table shorter than 64 entries uses the low
// bits of a single word; bits at or beyond the length are always zero, so word
// operations (popcount, comparison, hashing) never see garbage.
#pragma once

#include <algorithm>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "table_words.hpp"

#include "table_words.hpp"

namespace varnel {

/// Number of 64-bit words that hold `size` entries (at least one word).
constexpr std::uint64_t words_for(std::uint64_t size) { return size <= 64 ? 1 : size / 64; }

/// Mask of the meaningful bits of the single word of a table of `size` <= 64 entries.
constexpr std::uint64_t low_mask(std::uint64_t size) {
  return size >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << size) - 1;
}

class FValue {
 public:
  /// Takes over `words`, which hold `size` entries; fails with "Invalid size" unless
  /// `size` is a power of two. Bits at or beyond `size` are cleared.
  FValue(std::vector<std::uint64_t> words, std::uint64_t size);

  /// Table of `size` entries (a power of two), all false; the word-level builder
  /// for families and decoders, which then write each word once (a large
  /// table's pages are zeroed lazily by the kernel, see TableWords). Fails
  /// with "Invalid size" otherwise, and with std::bad_alloc when memory is short.
  static FValue zeros(std::uint64_t size);

  /// Builds from one byte per entry (non-zero = true); fails with "Invalid size".
  static FValue from_bytes(std::span<const std::uint8_t> entries);

  /// L, the number of entries.
  std::uint64_t size() const noexcept { return size_; }
  /// n = floor(log2 L).
  unsigned n_vars() const noexcept { return 63u - static_cast<unsigned>(__builtin_clzll(size_)); }
  /// Entry x; x must be below size().
  bool operator[](std::uint64_t x) const noexcept {
    return (words_.data()[x >> 6] >> (x & 63)) & 1u;
  }

  /// The packed words, read-only (words_for(size()) of them).
  std::span<const std::uint64_t> words() const noexcept { return words_.span(); }
  /// The packed words, writable: only for builders that own a fresh table.
  std::span<std::uint64_t> mutable_words() noexcept { return words_.span(); }

  /// Number of true entries.
  std::uint64_t count_ones() const noexcept;

  /// One byte (0 or 1) per entry, in index order.
  std::vector<std::uint8_t> to_bytes() const;

  friend bool operator==(const FValue& a, const FValue& b) noexcept {
    const auto x = a.words(), y = b.words();
    return a.size_ == b.size_ && std::equal(x.begin(), x.end(), y.begin(), y.end());
  }

 private:
  FValue(TableWords words, std::uint64_t size) noexcept : words_(std::move(words)), size_(size) {}

  TableWords words_;
  std::uint64_t size_;
};

/// Builds the table whose entry i is bit i of `number` (false for i >= 64), of
/// 2^num_vars entries. num_vars 31 fails with "Invalid size" and num_vars = 63 mod 64
/// with "capacity overflow"; any other value from 32 up is a ValueError.
FValue from_number(std::uint64_t number, std::uint64_t num_vars);

}  // namespace varnel
