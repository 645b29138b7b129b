// The vector instruction level of the kernels: the best the processor offers
// (AVX-512F/BW, AVX2, or the x86-64-v2 baseline), chosen at run time. Kernels
// that gain from a level are compiled a second time for it (with
// __attribute__((target(...)))) and pick their version here on every call.
// This is the one switch for every kernel: tests force a lower level to
// exercise the slower versions everywhere at once.
#pragma once

namespace varnel::simd {

enum class Level { baseline = 0, avx2 = 1, avx512 = 2 };

/// The level in use: the processor's best, or the forced one if lower.
Level level() noexcept;

/// The processor's best level.
Level detected() noexcept;

/// Caps the level (tests only; not for use while kernels run on other threads).
void force(Level cap) noexcept;

/// Whether kernels may use AVX2 (the level in use is AVX2 or higher).
inline bool avx2() noexcept { return level() >= Level::avx2; }

/// Whether kernels may count bits eight words at a time (the level in use is
/// AVX-512 and the processor has AVX512_VPOPCNTDQ).
bool vector_popcount() noexcept;

}  // namespace varnel::simd
