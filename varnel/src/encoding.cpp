#include "encoding.hpp"

#include <cstring>

#include "bit_unpack.hpp"
#include "error.hpp"

namespace varnel {

namespace {

[[noreturn]] void undecodable() { throw ValueError("Unable to decode"); }

std::uint64_t read_le(const std::uint8_t* p, unsigned bytes) {
  std::uint64_t v = 0;
  for (unsigned i = 0; i < bytes; ++i) v |= std::uint64_t{p[i]} << (8 * i);
  return v;
}

}  // namespace

std::size_t length_prefix_size(std::uint64_t length) noexcept {
  if (length <= 250) return 1;
  if (length <= 0xFFFF) return 3;
  if (length <= 0xFFFFFFFFULL) return 5;
  return 9;
}

std::uint64_t encoded_size(const FValue& table) noexcept {
  return length_prefix_size(table.size()) + table.size();
}

void encode_into(const FValue& table, std::uint8_t* p) noexcept {
  const std::uint64_t size = table.size();
  const std::size_t prefix = length_prefix_size(size);
  switch (prefix) {
    case 1:
      *p++ = static_cast<std::uint8_t>(size);
      break;
    case 3:
      *p++ = 0xFB;
      break;
    case 5:
      *p++ = 0xFC;
      break;
    default:
      *p++ = 0xFD;
      break;
  }
  for (std::size_t i = 0; i + 1 < prefix; ++i) *p++ = static_cast<std::uint8_t>(size >> (8 * i));

  unpack_bits(table.words(), size, p);
}

std::vector<std::uint8_t> encode(const FValue& table) {
  std::vector<std::uint8_t> out(encoded_size(table));
  encode_into(table, out.data());
  return out;
}

FValue decode(std::span<const std::uint8_t> raw) {
  if (raw.empty()) undecodable();
  const std::uint8_t marker = raw[0];
  std::uint64_t length = 0;
  std::size_t pos = 1;
  if (marker <= 250) {
    length = marker;
  } else if (marker <= 253) {
    const unsigned bytes = marker == 251 ? 2 : marker == 252 ? 4 : 8;
    if (raw.size() < 1 + bytes) undecodable();
    length = read_le(raw.data() + 1, bytes);
    pos += bytes;
  } else {
    undecodable();
  }
  if (length > 0x7FFFFFFFFFFFFFFFULL) panic("capacity overflow");
  // Never reserve for a length that the input cannot hold.
  if (length > raw.size() - pos) undecodable();

  const std::uint8_t* entries = raw.data() + pos;
  // Validate every entry byte before the size check, as the format demands:
  // an entry byte other than 0 or 1 is undecodable whatever the length.
  std::uint64_t bad = 0;
  std::uint64_t x = 0;
  for (; x + 8 <= length; x += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, entries + x, 8);
    bad |= chunk & 0xFEFEFEFEFEFEFEFEULL;
  }
  for (; x < length; ++x) bad |= entries[x] & 0xFE;
  if (bad) undecodable();

  if (length < 64) return FValue::from_bytes({entries, static_cast<std::size_t>(length)});
  FValue table = FValue::zeros(length);  // fails with "Invalid size" unless a power of two
  auto words = table.mutable_words();
  for (std::uint64_t w = 0; w < words.size(); ++w) {
    std::uint64_t word = 0;
    for (unsigned b = 0; b < 8; ++b) {
      std::uint64_t chunk;
      std::memcpy(&chunk, entries + w * 64 + b * 8, 8);
      // chunk holds eight bytes 0/1; the multiply collects byte i's bit at bit 56 + i.
      word |= ((chunk * 0x0102040810204080ULL) >> 56) << (8 * b);
    }
    words[w] = word;
  }
  return table;
}

}  // namespace varnel
