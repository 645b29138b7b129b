#include "opt5/database.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace opt5 {

void* allocate_huge(std::size_t bytes) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  void* p = nullptr;
  if (bytes >= kHuge) {
    const std::size_t rounded = (bytes + kHuge - 1) & ~(kHuge - 1);
    if (posix_memalign(&p, kHuge, rounded) != 0) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE);  // a hint; failure is harmless
  } else {
    p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
  }
  return p;
}

void chain_map::rehash(std::size_t slot_count) {
  std::vector<slot, huge_page_allocator<slot>> old(slot_count, slot{0, kEmpty});
  old.swap(slots_);
  mask_ = slot_count - 1;
  shift_ = 64u - static_cast<unsigned>(std::countr_zero(slot_count));
  for (const slot& s : old) {
    if (s.index == kEmpty) continue;
    std::size_t i = slot_of(s.key);
    while (slots_[i].index != kEmpty) i = (i + 1) & mask_;
    slots_[i] = s;
  }
}

void chain_map::reserve(std::size_t n) {
  // At most half of the slots in use.
  const std::size_t want = std::bit_ceil(std::max<std::size_t>(2 * n, 16));
  if (want > slots_.size()) rehash(want);
  chains_.reserve(n);
}

gatevec_fast& chain_map::find_or_insert(std::uint32_t key) {
  for (std::size_t i = slot_of(key);; i = (i + 1) & mask_) {
    slot& s = slots_[i];
    if (s.index != kEmpty) {
      if (s.key == key) return chains_[s.index];
      continue;
    }
    if (2 * (chains_.size() + 1) > slots_.size()) {
      rehash(2 * slots_.size());
      return find_or_insert(key);
    }
    chains_.push_back(gatevec_fast{});
    s = slot{key, static_cast<std::uint32_t>(chains_.size() - 1)};
    return chains_.back();
  }
}

namespace {

struct parsed_record {
  std::uint32_t key;
  gatevec_fast chain;
};

/// One record: gate words, length, output literal, and the key its last gate
/// computes. Each operator is evaluated by its code (bits 0..2 of the gate
/// word) with masks, which gives apply_oper8r's value for its character
/// without a branch.
inline parsed_record parse_record(const std::uint8_t* p) {
  std::uint64_t lo, hi = 0;
  std::memcpy(&lo, p, 8);
  std::memcpy(&hi, p + 8, 7);
  unsigned __int128 x = (static_cast<unsigned __int128>(hi) << 64) | lo;

  parsed_record out{};
  // Nodes 0..5, then one per gate (a record names nodes up to 16); a
  // reference to a gate not yet computed reads as 0.
  static constexpr std::uint32_t kStart[18] = {kNodeValues[0], kNodeValues[1], kNodeValues[2],
                                               kNodeValues[3], kNodeValues[4], kNodeValues[5]};
  std::uint32_t value[18];
  std::memcpy(value, kStart, sizeof value);
  unsigned length = 0;
  for (; length < kMaxGates; ++length, x >>= 10) {
    const unsigned c = static_cast<unsigned>(x) & 0x3FFu;
    if (c == 0) break;
    const unsigned a = (c & 0xFu) + 1, b = ((c >> 4) & 0xFu) + 1;
    // Record operators 0..3 (AND, OR, XOR, AND-NOT) have the codes 4, 7, 3, 5:
    // the nibbles of 0x5374 from the low end.
    const unsigned code = (0x5374u >> (4 * (c >> 8))) & 0xFu;
    out.chain.gates[length] = make_gate(a, b, static_cast<std::uint16_t>(code));
    const std::uint32_t va = value[a], vb = value[b];
    value[6 + length] = (va & (0u - (code & 1u))) ^ (vb & (0u - ((code >> 1) & 1u))) ^
                        (va & vb & (0u - (code >> 2)));
  }
  out.chain.length = static_cast<std::uint8_t>(length);
  out.chain.output = static_cast<std::uint8_t>((5 + length) * 2);
  out.key = value[5 + length];
  return out;
}

}  // namespace

void bytes2gv(std::span<const std::uint8_t> bytes, chain_map& map) {
  // Records are parsed in batches and the home slots of a batch prefetched
  // before it is inserted: the slots are spread over many megabytes, and the
  // insertions are otherwise one cache miss after another.
  constexpr std::size_t kBatch = 32;
  parsed_record batch[kBatch];
  const std::size_t records = bytes.size() / kRecordBytes;
  for (std::size_t r = 0; r < records; r += kBatch) {
    const std::size_t n = std::min(kBatch, records - r);
    for (std::size_t i = 0; i < n; ++i) {
      batch[i] = parse_record(bytes.data() + (r + i) * kRecordBytes);
      map.prefetch(batch[i].key);
    }
    for (std::size_t i = 0; i < n; ++i) map.find_or_insert(batch[i].key) = batch[i].chain;
  }
}

void load_chains_from_binary(chain_map& map, std::span<const std::uint8_t> bytes) {
  map.reserve(bytes.size() / kRecordBytes + 2);
  map.find_or_insert(0x00000000u) = gatevec_fast{};  // constant false: node 0
  gatevec_fast variable{};
  variable.output = 2;  // node 1, variable 4
  map.find_or_insert(0x0000FFFFu) = variable;
  bytes2gv(bytes, map);
}

std::unique_ptr<wrapper> make_wrapper(std::span<const std::uint8_t> bytes) {
  auto w = std::make_unique<wrapper>();
  load_chains_from_binary(w->chains, bytes);
  w->table = std::make_unique<canonisation_table>();
  prepare_table(*w->table);
  return w;
}

}  // namespace opt5
