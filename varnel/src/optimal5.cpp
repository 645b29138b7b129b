#include "optimal5.hpp"

#include <mutex>

#include "error.hpp"
#include "opt5/database.hpp"
#include "opt5/lookup.hpp"

namespace varnel {

namespace {

/// The process-wide database, created once on first use and never freed.
const opt5::wrapper& database() {
  static std::once_flag once;
  static const opt5::wrapper* db = nullptr;
  std::call_once(once, [] {
    const auto bytes = opt5::embedded_chains();
    if (bytes.empty()) panic("the chain database is not built into this module");
    db = opt5::make_wrapper(bytes).release();
  });
  return *db;
}

}  // namespace

bool has_chain_database() noexcept { return !opt5::embedded_chains().empty(); }

std::uint32_t pack_library_word(const FValue& f) {
  auto w = static_cast<std::uint32_t>(f.words()[0]);
  // Reverse the 32 bits: entry i (bit i) to bit 31 - i.
  w = ((w >> 1) & 0x55555555u) | ((w & 0x55555555u) << 1);
  w = ((w >> 2) & 0x33333333u) | ((w & 0x33333333u) << 2);
  w = ((w >> 4) & 0x0F0F0F0Fu) | ((w & 0x0F0F0F0Fu) << 4);
  w = ((w >> 8) & 0x00FF00FFu) | ((w & 0x00FF00FFu) << 8);
  return (w >> 16) | (w << 16);
}

FValue unpack_library_word(std::uint32_t w) {
  FValue f = FValue::zeros(32);
  f.mutable_words()[0] = w;
  return f;
}

std::optional<std::uint32_t> minimal_gates(const FValue& f) {
  const opt5::wrapper& db = database();
  if (f.size() != 32) return std::nullopt;
  return opt5::num_gates(db, pack_library_word(f));
}

std::optional<std::uint32_t> npn_representant(const FValue& f) {
  const opt5::wrapper& db = database();
  if (f.size() != 32) return std::nullopt;
  return opt5::npn_representant(db, pack_library_word(f));
}

}  // namespace varnel
