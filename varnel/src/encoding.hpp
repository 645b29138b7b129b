// Byte encoding of a truth table: a variable-length length prefix followed by
// one byte (0x00 or 0x01) per entry, entry 0 first.
//
// Length prefix, little-endian: v <= 250 as one byte; else 0xFB + 16 bits,
// 0xFC + 32 bits, 0xFD + 64 bits. The encoder writes the shortest form, the
// decoder accepts any form. 0xFE and 0xFF never start a valid prefix.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fvalue.hpp"

namespace varnel {

/// Size in bytes of the shortest length prefix for `length`.
std::size_t length_prefix_size(std::uint64_t length) noexcept;

/// Size in bytes of the encoding of `table`.
std::uint64_t encoded_size(const FValue& table) noexcept;

/// Writes the encoding of `table` into `out`, which holds encoded_size(table) bytes.
void encode_into(const FValue& table, std::uint8_t* out) noexcept;

/// The encoding of `table`: prefix, then one byte per entry.
std::vector<std::uint8_t> encode(const FValue& table);

/// Decodes `raw`; trailing bytes after the last entry are ignored.
/// A bad or truncated prefix, an entry byte other than 0 or 1, or input shorter
/// than the declared length: ValueError "Unable to decode" (checked before any
/// memory is reserved). A declared length above 2^63 - 1: "capacity overflow".
/// A length that is not a power of two: "Invalid size".
FValue decode(std::span<const std::uint8_t> raw);

}  // namespace varnel
