#include "row_tally.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "fvalue.hpp"

namespace varnel {

namespace {

constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;

inline std::uint64_t mix(std::uint64_t x) noexcept {
  // A bijection of 64-bit words: equal hashes of rows of one word (or less)
  // mean equal rows.
  x ^= x >> 32;
  x *= 0xd6e8feb86659fd93ull;
  x ^= x >> 32;
  x *= 0xd6e8feb86659fd93ull;
  x ^= x >> 32;
  return x;
}

inline std::uint64_t rotl(std::uint64_t x, int r) noexcept { return (x << r) | (x >> (64 - r)); }

// A hash of a row of `count` words (a power of two): the word itself mixed,
// two words folded, or four independent multiply lanes over the row.
[[gnu::always_inline]] inline std::uint64_t hash_row(const std::uint64_t* w,
                                                     std::uint64_t count) noexcept {
  if (count == 1) return mix(w[0]);
  if (count == 2) return mix(w[0] ^ rotl(mix(w[1] + kMul), 29));
  std::uint64_t h0 = 0x243F6A8885A308D3ull, h1 = 0x13198A2E03707344ull;
  std::uint64_t h2 = 0xA4093822299F31D0ull, h3 = 0x082EFA98EC4E6C89ull;
  for (std::uint64_t i = 0; i < count; i += 4) {
    h0 = (rotl(h0, 23) ^ w[i]) * kMul;
    h1 = (rotl(h1, 23) ^ w[i + 1]) * kMul;
    h2 = (rotl(h2, 23) ^ w[i + 2]) * kMul;
    h3 = (rotl(h3, 23) ^ w[i + 3]) * kMul;
  }
  return mix(h0 ^ rotl(h1, 16) ^ rotl(h2, 32) ^ rotl(h3, 48));
}

// Row weights: 1 each, or read from a list.
struct UnitWeight {
  std::uint64_t operator()(std::uint64_t) const noexcept { return 1; }
};
struct ListedWeight {
  const std::uint64_t* per;
  unsigned shift;
  std::uint64_t operator()(std::uint64_t i) const noexcept { return per[i >> shift]; }
};

// Rows hashed this many at a time, their table slots prefetched first.
constexpr std::uint64_t kBatch = 16;

// Hash tables of wide rows start with room for this many distinct rows.
constexpr std::uint64_t kSlotRows = std::uint64_t{1} << 16;

// A slot's tag: the distinct row's number above the stamp of the tally.
constexpr unsigned kStampBits = 24;
constexpr std::uint64_t kStampMask = (std::uint64_t{1} << kStampBits) - 1;

// Narrow rows are counted as keys (histogram or radix sort) when only the
// counts are wanted and there are at least this many rows (at most 2^31).
constexpr std::uint64_t kKeyMinRows = std::uint64_t{1} << kKeyMinRowBits;
constexpr std::uint64_t kKeyMaxRows = std::uint64_t{1} << 31;

// Sorts keys of `bits` <= 33 bits by stable passes over `digit` <= 11 bits
// each (at most three); the counts of every pass come from one first pass.
void radix_sort(std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& scratch,
                unsigned bits, unsigned digit) {
  scratch.resize(keys.size());
  const std::uint32_t digit_mask = (1u << digit) - 1;
  const unsigned passes = (bits + digit - 1) / digit;
  const std::size_t bins = std::size_t{1} << digit;
  std::uint32_t start[3][2048] = {};
  for (std::uint32_t key : keys) {
    for (unsigned p = 0; p < passes; ++p) ++start[p][(key >> (p * digit)) & digit_mask];
  }
  for (unsigned p = 0; p < passes; ++p) {
    std::uint32_t sum = 0;
    for (std::size_t b = 0; b < bins; ++b) {
      const std::uint32_t c = start[p][b];
      start[p][b] = sum;
      sum += c;
    }
    const unsigned shift = p * digit;
    for (std::uint32_t key : keys) scratch[start[p][(key >> shift) & digit_mask]++] = key;
    keys.swap(scratch);
  }
}

}  // namespace

void RowTallier::run(const RowList& rows, RowWeights weights, RowOrder order) {
  counts.clear();
  first_row.clear();
  // Rows of two words or more are compared with their first occurrence.
  keep_first_ = order == RowOrder::first_seen || rows.col_bits >= 7;
  if (weights.per == nullptr) {
    run_with(rows, UnitWeight{}, order);
  } else {
    run_with(rows, ListedWeight{weights.per, weights.shift}, order);
  }
}

// The one place where the strategy is chosen by the width of the rows.
template <class Weight>
void RowTallier::run_with(const RowList& rows, Weight weight, RowOrder order) {
  const unsigned cb = rows.col_bits;
  if (cb < 6) {
    if (std::is_same_v<Weight, UnitWeight> && order == RowOrder::counts_only && rows.packed &&
        rows.rows >= kKeyMinRows && rows.rows <= kKeyMaxRows) {
      run_keys(rows);
    } else if (cb <= 3) {
      run_tiny(rows, weight);
    } else {
      run_narrow(rows, weight);
    }
    return;
  }
  switch (cb) {
    case 6:
      run_wide<1>(rows, weight);
      return;  // rows of one word
    case 7:
      run_wide<2>(rows, weight);
      return;  // rows of two words
    default:
      run_wide<0>(rows, weight);
      return;
  }
}

namespace {

// Row i of a list of narrow rows, as a key in the low bits.
inline std::uint64_t narrow_key(const RowList& rows, std::uint64_t i, std::uint64_t mask) {
  if (!rows.packed) return rows.data[i] & mask;
  const std::uint64_t x = i << rows.col_bits;
  return (rows.data[x >> 6] >> (x & 63)) & mask;
}

}  // namespace

template <class Weight>
void RowTallier::run_tiny(const RowList& rows, Weight& weight) {
  // At most 256 different rows: a direct table.
  const std::uint64_t mask = low_mask(std::uint64_t{1} << rows.col_bits);
  std::uint32_t id[256] = {};
  for (std::uint64_t i = 0; i < rows.rows; ++i) {
    const std::uint64_t key = narrow_key(rows, i, mask);
    if (id[key] == 0) {
      counts.push_back(0);
      if (keep_first_) first_row.push_back(i);
      id[key] = static_cast<std::uint32_t>(counts.size());
    }
    counts[id[key] - 1] += weight(i);
  }
}

template <class Weight>
void RowTallier::run_narrow(const RowList& rows, Weight& weight) {
  const std::uint64_t mask = low_mask(std::uint64_t{1} << rows.col_bits);
  if (rows.col_bits == 4 && rows.rows >= (1u << 12)) {
    // Rows of 16 bits, many of them: a direct table over all 2^16 rows,
    // whose entries are valid only when stamped with this tally's number.
    if (direct_.empty()) direct_.assign(std::size_t{1} << 16, DirectEntry{0, 0});
    if (++direct_stamp_ == 0) {
      std::fill(direct_.begin(), direct_.end(), DirectEntry{0, 0});
      direct_stamp_ = 1;
    }
    for (std::uint64_t i = 0; i < rows.rows; ++i) {
      DirectEntry& e = direct_[narrow_key(rows, i, mask)];
      if (e.stamp != direct_stamp_) {
        counts.push_back(0);
        if (keep_first_) first_row.push_back(i);
        e.stamp = direct_stamp_;
        e.id = static_cast<std::uint32_t>(counts.size() - 1);
      }
      counts[e.id] += weight(i);
    }
    return;
  }
  // Rows of 16 or 32 bits: the hash table of wide rows, where the mixed
  // key is a bijection of the row, so a hash match is a row match.
  run_hashed(
      rows.rows, weight, [&](std::uint64_t i) { return mix(narrow_key(rows, i, mask)); },
      [](std::uint64_t, std::uint64_t) { return true; });
}

void RowTallier::run_keys(const RowList& rows) {
  // Unit weights and packed rows of 2^m <= 32 bits that fill whole words:
  // each row is a key, and the counts are written without branches on the
  // keys (their pattern is random).
  const unsigned width = 1u << rows.col_bits;
  const std::uint64_t n = rows.rows;
  keys_.resize(n);
  const std::uint64_t key_mask = low_mask(width);
  const unsigned per_word = 64 / width;
  for (std::uint64_t w = 0, r = 0; r < n; ++w) {
    std::uint64_t word = rows.data[w];
    for (unsigned j = 0; j < per_word; ++j, ++r, word >>= width) {
      keys_[r] = static_cast<std::uint32_t>(word & key_mask);
    }
  }
  if (width <= 8 || (width == 16 && n >= (std::uint64_t{1} << 14))) {
    // Few possible keys against the rows: a histogram over all of them.
    histogram_.resize(std::size_t{1} << width, 0);
    for (std::uint32_t key : keys_) ++histogram_[key];
    sorted_.resize(std::max(sorted_.size(), histogram_.size()));
    std::uint64_t forms = 0;
    for (std::uint32_t& c : histogram_) {
      sorted_[forms] = c;
      forms += c != 0;
      c = 0;
    }
    counts.assign(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(forms));
    return;
  }
  radix_sort(keys_, sorted_, width, width == 16 ? 8 : 11);
  // Start of each run of equal keys (in sorted_, free after the sort), then
  // the run lengths.
  sorted_.resize(n + 1);
  sorted_[0] = 0;
  std::uint64_t forms = 1;
  for (std::uint64_t i = 1; i < n; ++i) {
    sorted_[forms] = static_cast<std::uint32_t>(i);
    forms += keys_[i] != keys_[i - 1];
  }
  counts.resize(forms);
  for (std::uint64_t j = 0; j + 1 < forms; ++j) counts[j] = sorted_[j + 1] - sorted_[j];
  counts[forms - 1] = n - sorted_[forms - 1];
}

void RowTallier::prepare_slots(std::uint64_t rows) {
  // Room for eight times the rows expected: probes then rarely meet another
  // row, and the table of a tally of 2^14 rows still fits the core's cache.
  unsigned bits = 4;
  const std::uint64_t expected = std::min(rows, kSlotRows);
  while ((std::uint64_t{1} << bits) < 8 * expected) ++bits;
  // A larger table from an earlier tally is used in part: its slots hold
  // older stamps, so none is in use.
  if (slots_.size() < (std::uint64_t{1} << bits)) {
    slots_.assign(std::uint64_t{1} << bits, Slot{0, 0});
    stamp_ = 0;
  }
  if (++stamp_ > kStampMask) {
    std::fill(slots_.begin(), slots_.end(), Slot{0, 0});
    stamp_ = 1;
  }
  slot_count_ = std::uint64_t{1} << bits;
  slot_mask_ = slot_count_ - 1;
  slot_shift_ = 64 - bits;
}

void RowTallier::grow_slots() {
  slots_scratch_.assign(slot_count_ * 2, Slot{0, 0});
  slots_scratch_.swap(slots_);
  const std::uint64_t old_count = slot_count_;
  slot_count_ *= 2;
  slot_mask_ = slot_count_ - 1;
  --slot_shift_;
  for (std::uint64_t i = 0; i < old_count; ++i) {
    const Slot& s = slots_scratch_[i];
    if ((s.tag & kStampMask) != stamp_) continue;
    std::uint64_t j = s.hash >> slot_shift_;
    while ((slots_[j].tag & kStampMask) == stamp_) j = (j + 1) & slot_mask_;
    slots_[j] = s;
  }
}

// Adds `weight` to the distinct row with hash h for which same(id) holds, or
// appends a new one (first seen as `row`).
template <class Same>
inline void RowTallier::enter(std::uint64_t hash, std::uint64_t weight, std::uint64_t row,
                              Same&& same) {
  for (std::uint64_t j = hash >> slot_shift_;; j = (j + 1) & slot_mask_) {
    Slot& s = slots_[j];
    if ((s.tag & kStampMask) != stamp_) {
      s = Slot{hash, (std::uint64_t{counts.size()} << kStampBits) | stamp_};
      counts.push_back(weight);
      if (keep_first_) first_row.push_back(row);
      return;
    }
    if (s.hash == hash && same(s.tag >> kStampBits)) {
      counts[s.tag >> kStampBits] += weight;
      return;
    }
  }
}

// Hashes the rows a batch at a time, and prefetches the table slots of the
// next batch while the current one is entered: the rows are all in memory,
// so the cost is the table's cache misses. hash_of(i) is the hash of row i,
// same(i, id) whether row i equals distinct row id.
template <class Weight, class HashOf, class Same>
void RowTallier::run_hashed(std::uint64_t count, Weight& weight, HashOf&& hash_of, Same&& same) {
  prepare_slots(count);
  std::uint64_t hashes[2][kBatch];
  auto hash_batch = [&](std::uint64_t begin, std::uint64_t* out) {
    const std::uint64_t end = std::min(count, begin + kBatch);
    for (std::uint64_t i = begin; i < end; ++i) {
      out[i - begin] = hash_of(i);
      __builtin_prefetch(&slots_[out[i - begin] >> slot_shift_]);
    }
  };
  // Two batches ahead of the growth check: the next batch's slots are
  // found before the current one is entered.
  if (4 * kBatch > slot_count_) grow_slots();
  hash_batch(0, hashes[0]);
  unsigned current = 0;
  for (std::uint64_t begin = 0; begin < count; begin += kBatch) {
    const std::uint64_t end = std::min(count, begin + kBatch);
    if (2 * (counts.size() + 2 * kBatch) > slot_count_) grow_slots();  // hashes stay valid
    if (end < count) hash_batch(end, hashes[current ^ 1]);
    for (std::uint64_t i = begin; i < end; ++i) {
      enter(hashes[current][i - begin], weight(i), i,
            [&](std::uint64_t id) { return same(i, id); });
    }
    current ^= 1;
  }
}

template <std::uint64_t Width, class Weight>
void RowTallier::run_wide(const RowList& rows, Weight& weight) {
  const std::uint64_t width = Width != 0 ? Width : std::uint64_t{1} << (rows.col_bits - 6);
  const std::uint64_t* data = rows.data;
  run_hashed(
      rows.rows, weight, [&](std::uint64_t i) { return hash_row(data + i * width, width); },
      [&](std::uint64_t i, std::uint64_t id) {
        // The hash of one word is a bijection.
        if constexpr (Width == 1) return true;
        const std::uint64_t* row = data + i * width;
        return std::equal(row, row + width, data + first_row[id] * width);
      });
}

void RowTallier::start_owned(unsigned col_bits) {
  counts.clear();
  first_row.clear();
  keep_first_ = true;
  owned_.clear();
  owned_bits_ = col_bits;
  prepare_slots(64);
}

void RowTallier::add_owned(const std::uint64_t* row, std::uint64_t weight) {
  const std::uint64_t width = owned_bits_ >= 6 ? std::uint64_t{1} << (owned_bits_ - 6) : 1;
  const std::uint64_t before = counts.size();
  if (2 * (before + 1) > slot_count_) grow_slots();
  enter(hash_row(row, width), weight, before, [&](std::uint64_t id) {
    return width == 1 ||
           std::memcmp(owned_.data() + id * width, row, width * sizeof(std::uint64_t)) == 0;
  });
  if (counts.size() != before) owned_.insert(owned_.end(), row, row + width);
}

std::size_t RowTallier::memory() const noexcept {
  return (slots_.capacity() + slots_scratch_.capacity()) * sizeof(Slot) +
         direct_.capacity() * sizeof(DirectEntry) +
         (keys_.capacity() + sorted_.capacity() + histogram_.capacity()) * sizeof(std::uint32_t) +
         (counts.capacity() + first_row.capacity() + owned_.capacity()) * sizeof(std::uint64_t);
}

}  // namespace varnel
