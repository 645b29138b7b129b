// The chain database embedded in the program by src/chains.S, when the build
// found opt5/chains.bin.
#include "opt5/database.hpp"

#include <mutex>
#include <stdexcept>

#ifdef OPT5_HAVE_CHAINS
extern "C" const unsigned char opt5_chain_data[];
extern "C" const unsigned char opt5_chain_data_end[];
#endif

namespace opt5 {

std::span<const std::uint8_t> embedded_chains() noexcept {
#ifdef OPT5_HAVE_CHAINS
  return {opt5_chain_data, static_cast<std::size_t>(opt5_chain_data_end - opt5_chain_data)};
#else
  return {};
#endif
}

const wrapper& embedded_database() {
  static std::once_flag once;
  static const wrapper* db = nullptr;
  std::call_once(once, [] {
    const auto bytes = embedded_chains();
    if (bytes.empty())
      throw std::runtime_error("the chain database is not built into this program");
    db = make_wrapper(bytes).release();
  });
  return *db;
}

}  // namespace opt5
