// The vector instruction level of the bit-manipulation kernels: the best the
// processor offers (AVX-512F/BW, AVX2, or the x86-64-v2 baseline), chosen at
// run time. Tests may force a lower level to exercise every kernel.
#pragma once

namespace varnel::simd {

enum class Level { baseline = 0, avx2 = 1, avx512 = 2 };

/// The level in use: the processor's best, or the forced one if lower.
Level level() noexcept;

/// The processor's best level.
Level detected() noexcept;

/// Caps the level (tests only; not for use while kernels run on other threads).
void force(Level cap) noexcept;

}  // namespace varnel::simd
