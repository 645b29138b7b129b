// The C entry points on the handle: the address of a heap cell that holds the
// address of the database.
#include "opt5/opt5.h"

#include <memory>
#include <span>

#include "opt5/database.hpp"
#include "opt5/lookup.hpp"

namespace {

const opt5::wrapper& db(void* handle) { return **static_cast<opt5::wrapper**>(handle); }

}  // namespace

extern "C" void* create_wrapper(const unsigned char* bytes) {
  std::unique_ptr<opt5::wrapper> w =
      opt5::make_wrapper(std::span<const std::uint8_t>(bytes, opt5::kDatabaseBytes));
  auto cell = std::make_unique<opt5::wrapper*>(w.get());
  w.release();
  return cell.release();
}

extern "C" uint32_t num_gates(void* handle, uint32_t f) { return opt5::num_gates(db(handle), f); }

extern "C" uint32_t npn_representant(void* handle, uint32_t f) {
  return opt5::npn_representant(db(handle), f);
}
