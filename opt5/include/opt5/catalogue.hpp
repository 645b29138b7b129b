// The catalogue of the NPN classes of five-input functions: every class's
// representative in increasing order (the class index is the position), its
// minimal gate count and its size, with a hash index from representative to
// class for lookups over many functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "opt5/database.hpp"

namespace opt5 {

class class_catalogue {
 public:
  /// Index value of a word that is not a representative.
  static constexpr std::uint32_t kNoClass = 0xFFFFFFFFu;

  /// The catalogue of every class of the database, sizes counted with its
  /// canonisation table.
  explicit class_catalogue(const wrapper& db);

  std::size_t size() const noexcept { return representatives_.size(); }
  /// Representatives in increasing order.
  const std::vector<std::uint32_t>& representatives() const noexcept { return representatives_; }
  /// Minimal gate count of each class.
  const std::vector<std::uint8_t>& gates() const noexcept { return gates_; }
  /// Number of functions (of all 2^32) in each class.
  const std::vector<std::uint32_t>& orbit_sizes() const noexcept { return orbit_sizes_; }

  /// Class index of representative r, or kNoClass.
  std::uint32_t index_of(std::uint32_t r) const noexcept {
    const std::uint32_t v = find(r);
    return v == kFree ? kNoClass : v & kIndexMask;
  }
  /// Minimal gate count of the class of representative r (r must be one).
  unsigned gates_of(std::uint32_t r) const noexcept {
    return static_cast<unsigned>(find(r) >> kGateShift) & 15u;
  }
  /// Hints that r is about to be looked up.
  void prefetch(std::uint32_t r) const noexcept { __builtin_prefetch(&slots_[slot_of(r)]); }

 private:
  // A slot holds a key and its value: class index in bits 0..23, gate count
  // in bits 24..27; a free slot has value kFree.
  static constexpr std::uint32_t kIndexMask = 0x00FFFFFFu;
  static constexpr unsigned kGateShift = 24;
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
  struct slot {
    std::uint32_t key;
    std::uint32_t value;
  };

  std::size_t slot_of(std::uint32_t key) const noexcept {
    return static_cast<std::size_t>((std::uint64_t{key} * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  /// The value stored under key; all ones when absent.
  std::uint32_t find(std::uint32_t key) const noexcept {
    for (std::size_t i = slot_of(key);; i = (i + 1) & mask_) {
      const slot& s = slots_[i];
      if (s.value == kFree || s.key == key) return s.value;
    }
  }

  std::vector<std::uint32_t> representatives_;
  std::vector<std::uint8_t> gates_;
  std::vector<std::uint32_t> orbit_sizes_;
  std::vector<slot, huge_page_allocator<slot>> slots_;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
};

/// The catalogue of the embedded database, built on the first call (once, from
/// any thread) and kept for the life of the process.
const class_catalogue& embedded_catalogue();

}  // namespace opt5
