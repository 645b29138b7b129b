// Uninitialised, cache-line aligned scratch arrays for the large transforms.
// Arrays of 2 MiB and more are aligned to 2 MiB and advised for transparent
// huge pages, which saves most of the page faults of a first touch.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace varnel {

struct FreeScratch {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
using Scratch = std::unique_ptr<T[], FreeScratch>;

/// An array of `count` uninitialised T; throws std::bad_alloc when memory is short.
template <class T>
Scratch<T> make_scratch(std::size_t count) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (count > (~std::size_t{0}) / sizeof(T) - kHuge) throw std::bad_alloc();
  std::size_t bytes = count * sizeof(T);
  const std::size_t align = bytes >= kHuge ? kHuge : 64;
  bytes = (bytes + align - 1) / align * align;
  if (bytes == 0) bytes = align;
  void* p = std::aligned_alloc(align, bytes);
  if (p == nullptr) throw std::bad_alloc();
  if (align == kHuge) madvise(p, bytes, MADV_HUGEPAGE);
  return Scratch<T>(static_cast<T*>(p));
}

}  // namespace varnel
