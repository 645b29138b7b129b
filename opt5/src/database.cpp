#include "opt5/database.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace opt5 {

void chain_map::rehash(std::size_t slot_count) {
  std::vector<slot> old(slot_count, slot{0, kEmpty});
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

void bytes2gv(std::span<const std::uint8_t> bytes, chain_map& map) {
  // The operator codes of record operators 0..3 (AND, OR, XOR, AND-NOT) are
  // the nibbles of 0x5374 from the low end.
  static constexpr char kOperator[4] = {'&', '|', '+', '\\'};
  const std::size_t records = bytes.size() / kRecordBytes;
  for (std::size_t r = 0; r < records; ++r) {
    const std::uint8_t* p = bytes.data() + r * kRecordBytes;
    std::uint64_t lo, hi = 0;
    std::memcpy(&lo, p, 8);
    std::memcpy(&hi, p + 8, 7);
    const unsigned __int128 x = (static_cast<unsigned __int128>(hi) << 64) | lo;

    gatevec_fast chain{};
    // Nodes 0..5, then one per gate; references beyond read as 0.
    std::uint32_t value[32] = {};
    for (unsigned k = 0; k < 6; ++k) value[k] = kNodeValues[k];
    unsigned length = 0;
    while (length < kMaxGates) {
      const unsigned c = static_cast<unsigned>(x >> (10 * length)) & 0x3FFu;
      if (c == 0) break;
      const unsigned a = (c & 0xFu) + 1, b = ((c >> 4) & 0xFu) + 1, op = c >> 8;
      chain.gates[length] =
          make_gate(a, b, static_cast<std::uint16_t>((0x5374u >> (4 * op)) & 0xFu));
      value[6 + length] = apply_oper8r(value[a], kOperator[op], value[b]);
      ++length;
    }
    chain.length = static_cast<std::uint8_t>(length);
    chain.output = static_cast<std::uint8_t>((5 + length) * 2);
    map.find_or_insert(value[5 + length]) = chain;
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
