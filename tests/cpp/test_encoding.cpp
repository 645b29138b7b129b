#include <gtest/gtest.h>

#include <random>

#include "encoding.hpp"
#include "error.hpp"
#include "plain.hpp"

using Bytes = std::vector<std::uint8_t>;

namespace {

// The format written out literally: shortest prefix, then one byte per entry.
Bytes plain_encode(const plain::Table& t) {
  Bytes out;
  const std::uint64_t v = t.size();
  auto put = [&](std::uint8_t marker, unsigned bytes) {
    out.push_back(marker);
    for (unsigned i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  if (v <= 250) {
    out.push_back(static_cast<std::uint8_t>(v));
  } else if (v <= 0xFFFF) {
    put(0xFB, 2);
  } else if (v <= 0xFFFFFFFF) {
    put(0xFC, 4);
  } else {
    put(0xFD, 8);
  }
  out.insert(out.end(), t.begin(), t.end());
  return out;
}

enum class Outcome { ok, undecodable, invalid_size, capacity_overflow };

Outcome decode_outcome(const Bytes& raw, plain::Table* out = nullptr) {
  try {
    varnel::FValue f = varnel::decode(raw);
    if (out) *out = plain::unpack(f);
    return Outcome::ok;
  } catch (const varnel::ValueError& e) {
    EXPECT_STREQ(e.what(), "Unable to decode");
    return Outcome::undecodable;
  } catch (const varnel::Panic& p) {
    if (std::string(p.what()) == "Invalid size") return Outcome::invalid_size;
    EXPECT_STREQ(p.what(), "capacity overflow");
    return Outcome::capacity_overflow;
  }
}

// The decoding rules written out literally, for the fuzz comparison.
Outcome plain_decode(const Bytes& raw, plain::Table* out) {
  if (raw.empty()) return Outcome::undecodable;
  std::uint64_t len = raw[0];
  std::size_t pos = 1;
  if (raw[0] >= 251 && raw[0] <= 253) {
    const unsigned bytes = raw[0] == 251 ? 2 : raw[0] == 252 ? 4 : 8;
    if (raw.size() < 1 + bytes) return Outcome::undecodable;
    len = 0;
    for (unsigned i = 0; i < bytes; ++i) len |= std::uint64_t{raw[1 + i]} << (8 * i);
    pos += bytes;
  } else if (raw[0] > 253) {
    return Outcome::undecodable;
  }
  if (len > 0x7FFFFFFFFFFFFFFFull) return Outcome::capacity_overflow;
  if (len > raw.size() - pos) return Outcome::undecodable;
  plain::Table t;
  for (std::uint64_t i = 0; i < len; ++i) {
    if (raw[pos + i] > 1) return Outcome::undecodable;
    t.push_back(raw[pos + i]);
  }
  if (len == 0 || (len & (len - 1)) != 0) return Outcome::invalid_size;
  *out = t;
  return Outcome::ok;
}

}  // namespace

TEST(Encoding, KnownBytes) {
  EXPECT_EQ(varnel::encode(plain::pack({1, 0, 0, 1})), (Bytes{4, 1, 0, 0, 1}));
  EXPECT_EQ(varnel::encode(plain::pack({0})), (Bytes{1, 0}));
  EXPECT_EQ(varnel::encode(plain::pack({1})), (Bytes{1, 1}));
  Bytes e8 = varnel::encode(varnel::FValue::zeros(256));
  EXPECT_EQ(Bytes(e8.begin(), e8.begin() + 3), (Bytes{0xFB, 0x00, 0x01}));
  Bytes e16 = varnel::encode(varnel::FValue::zeros(65536));
  EXPECT_EQ(Bytes(e16.begin(), e16.begin() + 5), (Bytes{0xFC, 0, 0, 1, 0}));
  EXPECT_EQ(e16.size(), 65536u + 5);
}

TEST(Encoding, RoundTripAgainstPlainEncoder) {
  std::mt19937_64 rng(7);
  for (int rep = 0; rep < 300; ++rep) {
    const unsigned n = rng() % 17;
    plain::Table t = plain::random_table(n, rng);
    Bytes raw = varnel::encode(plain::pack(t));
    ASSERT_EQ(raw, plain_encode(t)) << "n=" << n;
    plain::Table back;
    ASSERT_EQ(decode_outcome(raw, &back), Outcome::ok);
    ASSERT_EQ(back, t);
  }
}

TEST(Decoding, Failures) {
  struct Case {
    Bytes raw;
    Outcome outcome;
  };
  const Case cases[] = {
      {{2, 0, 1, 0xFF}, Outcome::ok},
      {{0xFB, 2, 0, 0, 1}, Outcome::ok},
      {{0xFB, 4, 0}, Outcome::undecodable},
      {{2, 0, 2}, Outcome::undecodable},
      {{4, 0, 1}, Outcome::undecodable},
      {{}, Outcome::undecodable},
      {{0xFE, 1, 1}, Outcome::undecodable},
      {{0xFF}, Outcome::undecodable},
      {{0xFB, 1}, Outcome::undecodable},
      {{0xFD, 0, 0, 0, 0, 0, 0, 0, 0x40}, Outcome::undecodable},
      {{0xFD, 0, 0, 0, 0, 0, 0, 0, 0x80}, Outcome::capacity_overflow},
      {{3, 0, 1, 0}, Outcome::invalid_size},
      {{0}, Outcome::invalid_size},
      {{3, 0, 1, 2}, Outcome::undecodable},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_outcome(c.raw), c.outcome);
}

TEST(Decoding, MutatedInputsMatchPlainDecoder) {
  std::mt19937_64 rng(11);
  for (int rep = 0; rep < 20000; ++rep) {
    Bytes raw = varnel::encode(plain::pack(plain::random_table(rng() % 9, rng)));
    const int edits = rng() % 4;
    for (int e = 0; e < edits; ++e) {
      switch (rng() % 4) {
        case 0:
          raw[rng() % raw.size()] = static_cast<std::uint8_t>(rng());
          break;
        case 1:
          raw.resize(rng() % (raw.size() + 1));
          break;
        case 2:
          raw.push_back(static_cast<std::uint8_t>(rng() % 3));
          break;
        default:
          if (!raw.empty()) raw[rng() % raw.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      }
      if (raw.empty()) break;
    }
    plain::Table fast, slow;
    const Outcome expected = plain_decode(raw, &slow);
    ASSERT_EQ(decode_outcome(raw, &fast), expected);
    if (expected == Outcome::ok) {
      ASSERT_EQ(fast, slow);
    }
  }
}
