// Uninitialised, cache-line aligned scratch arrays for the large transforms.
// Arrays of 2 MiB and more are aligned to 2 MiB and advised for transparent
// huge pages, which saves most of the page faults of a first touch.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <atomic>
#include <memory>
#include <new>
#include <utility>

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

/// One scratch array kept from one use to the next, for transforms that are
/// called again and again on large tables: faulting in (and zeroing) fresh
/// pages then costs more than the transform, and the page faults do not
/// spread over threads. Arrays above `keep_bytes` are not kept. Safe to use
/// from several threads at once (a thread that finds none kept allocates),
/// and lock-free, so a process forked at any moment can use it.
template <class T>
class KeptScratch {
 public:
  explicit KeptScratch(std::size_t keep_bytes) : keep_bytes_(keep_bytes) {}
  ~KeptScratch() { delete kept_.exchange(nullptr); }
  KeptScratch(const KeptScratch&) = delete;
  KeptScratch& operator=(const KeptScratch&) = delete;

  /// The kept array when it holds at least `count` entries, else a new one.
  Scratch<T> take(std::size_t count) {
    const std::unique_ptr<Kept> kept(kept_.exchange(nullptr));
    if (kept && kept->count >= count) return std::move(kept->array);
    return make_scratch<T>(count);  // a smaller kept array is freed
  }

  /// Gives back an array of `count` entries after use.
  void give(Scratch<T> array, std::size_t count) {
    if (count * sizeof(T) > keep_bytes_) return;
    delete kept_.exchange(new Kept{std::move(array), count});
  }

 private:
  struct Kept {
    Scratch<T> array;
    std::size_t count;
  };
  std::size_t keep_bytes_;
  std::atomic<Kept*> kept_{nullptr};
};

}  // namespace varnel
