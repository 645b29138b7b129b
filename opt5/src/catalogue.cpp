#include "opt5/catalogue.hpp"

#include <algorithm>
#include <bit>
#include <mutex>
#include <utility>

namespace opt5 {

class_catalogue::class_catalogue(const wrapper& db) {
  std::vector<std::pair<std::uint32_t, std::uint8_t>> classes;
  classes.reserve(db.chains.size());
  db.chains.for_each([&](std::uint32_t key, const gatevec_fast& chain) {
    classes.emplace_back(key, chain.length);
  });
  std::sort(classes.begin(), classes.end());
  const std::size_t n = classes.size();
  representatives_.resize(n);
  gates_.resize(n);
  orbit_sizes_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    representatives_[i] = classes[i].first;
    gates_[i] = classes[i].second;
    const unsigned symmetries = symmetry_count(classes[i].first, *db.table);
    orbit_sizes_[i] = symmetries == 0 ? 0u : 2u * 3840u / symmetries;
  }
  // At most two thirds of the slots in use: 8 MiB for the whole catalogue, a
  // lookup mostly one cache line.
  const std::size_t slots = std::bit_ceil(std::max<std::size_t>(n + n / 2, 16));
  slots_.assign(slots, slot{0, kFree});
  mask_ = slots - 1;
  shift_ = 64u - static_cast<unsigned>(std::countr_zero(slots));
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t s = slot_of(representatives_[i]);
    while (slots_[s].value != kFree) s = (s + 1) & mask_;
    slots_[s] = slot{representatives_[i],
                     static_cast<std::uint32_t>(i) | (std::uint32_t{gates_[i]} << kGateShift)};
  }
}

const class_catalogue& embedded_catalogue() {
  static std::once_flag once;
  static const class_catalogue* catalogue = nullptr;
  std::call_once(once, [] { catalogue = new class_catalogue(embedded_database()); });
  return *catalogue;
}

}  // namespace opt5
