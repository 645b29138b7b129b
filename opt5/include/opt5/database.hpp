// The database of optimal chains: one chain per NPN class of five-input
// functions, keyed by the class's canonical representative.
//
// File format: a plain sequence of 15-byte records, no header. A record read
// as a 120-bit little-endian integer X holds twelve 10-bit fields, field k =
// (X >> 10k) & 0x3FF describing gate k: 0 ends the chain; otherwise input A is
// node (C & 0xF) + 1, input B node ((C >> 4) & 0xF) + 1 and the operator
// C >> 8 is 0 AND, 1 OR, 2 XOR, 3 AND-NOT (A AND NOT B). The chain's last gate
// computes the key; the two zero-gate classes (constant false, a single
// variable) are not stored and are added by the loader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "opt5/chain.hpp"
#include "opt5/npn.hpp"

namespace opt5 {

/// Bytes per record, records in the full database and its length in bytes.
inline constexpr std::size_t kRecordBytes = 15;
inline constexpr std::size_t kDatabaseRecords = 616124;
inline constexpr std::size_t kDatabaseBytes = kDatabaseRecords * kRecordBytes;  // 9,241,860

/// Memory for huge_page_allocator: blocks of 2 MiB and more are 2 MiB-aligned
/// and marked for huge pages; released with std::free.
void* allocate_huge(std::size_t bytes);

/// Allocator for the large arrays of the chain map: blocks of 2 MiB and more
/// are aligned to 2 MiB and marked for transparent huge pages, which turns
/// thousands of page faults on the first fill into a handful.
template <class T>
struct huge_page_allocator {
  using value_type = T;
  huge_page_allocator() = default;
  template <class U>
  huge_page_allocator(const huge_page_allocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(allocate_huge(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) noexcept { std::free(p); }
  template <class U>
  friend bool operator==(const huge_page_allocator&, const huge_page_allocator<U>&) noexcept {
    return true;
  }
};

/// Map from a 32-bit key to a chain: open addressing with linear probing,
/// Fibonacci hashing (multiplier 0x9E3779B97F4A7C15), load factor at most 0.5.
/// Slots hold the key and the index of the chain in a dense array. Filled by
/// the loader; afterwards only `find` is used, which never inserts.
class chain_map {
 public:
  chain_map() { rehash(16); }

  /// Makes room for `n` keys without rehashing.
  void reserve(std::size_t n);
  /// The chain stored under `key`, inserting an all-zero chain when absent.
  gatevec_fast& find_or_insert(std::uint32_t key);
  /// The chain stored under `key`, or null when absent.
  const gatevec_fast* find(std::uint32_t key) const noexcept {
    for (std::size_t i = slot_of(key);; i = (i + 1) & mask_) {
      const slot& s = slots_[i];
      if (s.index == kEmpty) return nullptr;
      if (s.key == key) return &chains_[s.index];
    }
  }

  /// Hints that `key` is about to be inserted or looked up.
  void prefetch(std::uint32_t key) const noexcept { __builtin_prefetch(&slots_[slot_of(key)], 1); }

  std::size_t size() const noexcept { return chains_.size(); }
  std::size_t slot_count() const noexcept { return slots_.size(); }
  /// Bytes held by the slots and the chains.
  std::size_t memory_bytes() const noexcept {
    return slots_.capacity() * sizeof(slot) + chains_.capacity() * sizeof(gatevec_fast);
  }
  /// Calls fn(key, chain) for every entry, in no particular order.
  template <class Fn>
  void for_each(Fn&& fn) const {
    for (const slot& s : slots_)
      if (s.index != kEmpty) fn(s.key, chains_[s.index]);
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  struct slot {
    std::uint32_t key;
    std::uint32_t index;  // into chains_, kEmpty for a free slot
  };

  std::size_t slot_of(std::uint32_t key) const noexcept {
    return static_cast<std::size_t>((std::uint64_t{key} * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  void rehash(std::size_t slot_count);

  std::vector<slot, huge_page_allocator<slot>> slots_;
  std::vector<gatevec_fast, huge_page_allocator<gatevec_fast>> chains_;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
};

/// The database behind a handle: the canonisation table and the chain map.
struct wrapper {
  std::unique_ptr<canonisation_table> table;
  chain_map chains;
};

/// Parses the complete records of `bytes` into `map`, each under the key its
/// last gate computes (a later record with the same key replaces the earlier
/// one). Output literal = 2 * length + 10, the last gate uncomplemented.
/// Node references outside the chain read as constant false.
void bytes2gv(std::span<const std::uint8_t> bytes, chain_map& map);

/// Adds the zero-gate chains of constant false (key 0, output 0) and of
/// variable 4 (key 0x0000FFFF, output 2), then parses `bytes`.
void load_chains_from_binary(chain_map& map, std::span<const std::uint8_t> bytes);

/// A new database from `bytes` (any number of records; the bytes are read
/// only during the call), with its canonisation table filled.
std::unique_ptr<wrapper> make_wrapper(std::span<const std::uint8_t> bytes);

/// The chain database built into this program, empty when it was built
/// without one.
std::span<const std::uint8_t> embedded_chains() noexcept;

/// The database of the embedded chains, built on the first call (once, from
/// any thread) and kept for the life of the process. Throws
/// std::runtime_error when the program carries no chains.
const wrapper& embedded_database();

}  // namespace opt5
