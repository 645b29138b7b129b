#include "fvalue.hpp"

#include <bit>
#include <string>

#include "error.hpp"

namespace varnel {

namespace {

void check_size(std::uint64_t size) {
  if (!std::has_single_bit(size)) panic("Invalid size");
}

}  // namespace

FValue::FValue(std::vector<std::uint64_t> words, std::uint64_t size)
    : words_(std::move(words)), size_(size) {
  check_size(size);
  if (words_.size() != words_for(size)) panic("word count does not match table size");
  if (size < 64) words_.data()[0] &= low_mask(size);
}

FValue FValue::zeros(std::uint64_t size) {
  check_size(size);
  return FValue(TableWords::zeros(words_for(size)), size);
}

FValue FValue::from_bytes(std::span<const std::uint8_t> entries) {
  const std::uint64_t size = entries.size();
  check_size(size);
  std::vector<std::uint64_t> words(words_for(size), 0);
  for (std::uint64_t w = 0; w < words.size(); ++w) {
    const std::uint64_t begin = w * 64;
    const std::uint64_t end = std::min<std::uint64_t>(begin + 64, size);
    std::uint64_t word = 0;
    for (std::uint64_t x = begin; x < end; ++x)
      word |= std::uint64_t{entries[x] != 0} << (x - begin);
    words[w] = word;
  }
  return FValue(std::move(words), size);
}

std::uint64_t FValue::count_ones() const noexcept {
  std::uint64_t total = 0;
  for (std::uint64_t w : words()) total += static_cast<std::uint64_t>(std::popcount(w));
  return total;
}

std::vector<std::uint8_t> FValue::to_bytes() const {
  std::vector<std::uint8_t> out(size_);
  for (std::uint64_t x = 0; x < size_; ++x) out[x] = (*this)[x];
  return out;
}

FValue from_number(std::uint64_t number, std::uint64_t num_vars) {
  // The supported range is 0..30. 31 gives a negative entry count and 63 (mod 64)
  // an impossible reservation; both fail as internal failures. Every other value
  // from 32 up would not describe a table of 2^num_vars entries and is rejected.
  if (num_vars % 64 == 63) panic("capacity overflow");
  if (num_vars == 31) panic("Invalid size");
  if (num_vars > 31) {
    throw ValueError("num_vars must be at most 30, got " + std::to_string(num_vars));
  }
  const std::uint64_t size = std::uint64_t{1} << num_vars;
  FValue table = FValue::zeros(size);
  auto words = table.mutable_words();
  words[0] = number & low_mask(size);
  return table;
}

}  // namespace varnel
