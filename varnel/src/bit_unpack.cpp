#include "bit_unpack.hpp"

#include <immintrin.h>

#include <array>
#include <cstring>

#include "simd.hpp"

namespace varnel {

namespace {

// Byte b expanded to eight bytes 0/1, least significant bit first.
constexpr std::array<std::uint64_t, 256> make_spread() {
  std::array<std::uint64_t, 256> t{};
  for (unsigned b = 0; b < 256; ++b) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < 8; ++i) v |= std::uint64_t{(b >> i) & 1u} << (8 * i);
    t[b] = v;
  }
  return t;
}
constexpr std::array<std::uint64_t, 256> kSpread = make_spread();

void unpack_word_portable(std::uint64_t w, std::uint8_t* out) {
  for (unsigned i = 0; i < 8; ++i) {
    const std::uint64_t v = kSpread[(w >> (8 * i)) & 255];
    std::memcpy(out + 8 * i, &v, 8);
  }
}

void unpack_portable(const std::uint64_t* words, std::uint64_t full, std::uint8_t* out) {
  for (std::uint64_t i = 0; i < full; ++i) unpack_word_portable(words[i], out + 64 * i);
}

__attribute__((target("avx2"))) void unpack_avx2(const std::uint64_t* words, std::uint64_t full,
                                                 std::uint8_t* out) {
  // Byte i of the result takes byte i/8 of the 32-bit half and tests bit i%8.
  const __m256i select = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2,
                                          2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
  const __m256i bits = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
  const __m256i one = _mm256_set1_epi8(1);
  for (std::uint64_t i = 0; i < full; ++i) {
    const std::uint64_t w = words[i];
    for (unsigned h = 0; h < 2; ++h) {
      const __m256i v =
          _mm256_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(w >> (32 * h))));
      const __m256i spread = _mm256_shuffle_epi8(v, select);
      const __m256i hit = _mm256_cmpeq_epi8(_mm256_and_si256(spread, bits), bits);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64 * i + 32 * h),
                          _mm256_and_si256(hit, one));
    }
  }
}

__attribute__((target("avx512f,avx512bw"))) void unpack_avx512(const std::uint64_t* words,
                                                               std::uint64_t full,
                                                               std::uint8_t* out) {
  for (std::uint64_t i = 0; i < full; ++i) {
    _mm512_storeu_si512(out + 64 * i, _mm512_maskz_set1_epi8(words[i], 1));
  }
}

}  // namespace

void unpack_bits(std::span<const std::uint64_t> words, std::uint64_t count, std::uint8_t* out) {
  const std::uint64_t full = count / 64;
  switch (simd::level()) {
    case simd::Level::avx512:
      unpack_avx512(words.data(), full, out);
      break;
    case simd::Level::avx2:
      unpack_avx2(words.data(), full, out);
      break;
    default:
      unpack_portable(words.data(), full, out);
      break;
  }
  if (count % 64 != 0) {
    std::uint8_t tail[64];
    unpack_word_portable(words[full], tail);
    std::memcpy(out + 64 * full, tail, count % 64);
  }
}

}  // namespace varnel
